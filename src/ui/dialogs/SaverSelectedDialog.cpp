#include "ui/dialogs/SaverSelectedDialog.h"

SaverSelectedDialog::SaverSelectedDialog(QWidget* parent)
    : ChoiceDialog("Saver Selected", "SAVER  SELECTED", parent) {
    setObjectName("SaverSelectedDialog");
    AddButton("Copy to", kCopyTo, "Copy selected saver to another slot, or file - window",
              "CopyToButton");
    AddButton("Delete", kDelete, QString(), "DeleteButton");
    AddButton("Save BMP to", kSaveBmp, "Save the saver icon as a Bitmap file", "SaveBmpButton");
    AddButton("Export", kExport, "Save saver as a DCI file", "ExportButton");
    AddButton("Cancel", kCancel, QString(), "CancelButton");
    SetDesignedSize(QSize(470, 170));
}
