#pragma once

#include "ui/dialogs/ChoiceDialog.h"

// "Delete ": the question before a saver is deleted from the dialog.
class DeleteDialog : public ChoiceDialog {
    Q_OBJECT
  public:
    enum Code { kNo = 0, kYes = 1 };
    explicit DeleteDialog(QWidget* parent);
};
