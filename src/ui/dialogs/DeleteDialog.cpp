#include "ui/dialogs/DeleteDialog.h"

DeleteDialog::DeleteDialog(QWidget* parent) : ChoiceDialog("Delete ", "DELETE SAVER", parent) {
    setObjectName("DeleteDialog");
    // The system menu only: the question is answered with a button.
    setWindowFlag(Qt::WindowCloseButtonHint, false);
    AddButton("Yes", kYes, QString(), "YesButton");
    AddButton("No", kNo, QString(), "NoButton");
    SetDesignedSize(QSize(330, 170));
}
