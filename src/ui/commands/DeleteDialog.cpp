#include "ui/commands/DeleteDialog.h"

DeleteDialog::DeleteDialog(QWidget* parent) : ChoiceDialog("Delete ", "DELETE SAVER", parent) {
    setObjectName("DeleteDialog");
    AddButton("Yes", kYes, QString(), "YesButton");
    AddButton("No", kNo, QString(), "NoButton");
    setFixedSize(330, 170);
}
