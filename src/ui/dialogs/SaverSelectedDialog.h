#pragma once

#include "ui/dialogs/ChoiceDialog.h"

// "Saver Selected": what to do with the saver double-clicked in a view.
class SaverSelectedDialog : public ChoiceDialog {
    Q_OBJECT
  public:
    enum Code { kCancel = 0, kDelete = 1, kCopyTo = 2, kExport = 3, kSaveBmp = 4 };
    explicit SaverSelectedDialog(QWidget* parent);
};
