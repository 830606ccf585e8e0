#include "ui/dialogs/CopyToDialog.h"

#include <QPushButton>

CopyToDialog::CopyToDialog(QWidget* parent) : ChoiceDialog("Copy To", "COPY TO", parent) {
    setObjectName("CopyToDialog");
    first_ = AddButton("Slot 1", kFirst, "Copy Selected Saver to Slot 1", "FirstTargetButton");
    second_ =
        AddButton("File", kSecond, "Copy Selected Saver to File - Window", "SecondTargetButton");
    AddButton("Cancel", kCancel, QString(), "CancelButton");
    SetDesignedSize(QSize(330, 170));
}

void CopyToDialog::SetTargets(const QString& first, bool firstOpen, const QString& second,
                              bool secondOpen) {
    first_->setText(first);
    first_->setAccessibleName(first);
    first_->setEnabled(firstOpen);
    second_->setText(second);
    second_->setAccessibleName(second);
    second_->setEnabled(secondOpen);
}
