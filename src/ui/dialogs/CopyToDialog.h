#pragma once

#include "ui/dialogs/ChoiceDialog.h"

class QPushButton;

// "Copy To": the two other views a saver can be copied to. The callers set
// the two target captions and which of them are open before each showing.
class CopyToDialog : public ChoiceDialog {
    Q_OBJECT
  public:
    enum Code { kCancel = 0, kFirst = 1, kSecond = 2 };
    explicit CopyToDialog(QWidget* parent);

    QPushButton* FirstTarget() const { return first_; }
    QPushButton* SecondTarget() const { return second_; }
    void SetTargets(const QString& first, bool firstOpen, const QString& second, bool secondOpen);

  private:
    QPushButton* first_ = nullptr;
    QPushButton* second_ = nullptr;
};
