#pragma once

#include "ui/main/WaitShow.h"

class QWidget;
class WaitWindow;

// The program's wait window, centred over the main window.
class WaitWindowShow : public WaitShow {
  public:
    WaitWindowShow(WaitWindow& wait, QWidget& over) : wait_(wait), over_(over) {}

    void Show() override;
    void Hide() override;
    bool Up() const override;
    void RunUntilItCloses() override;

  private:
    WaitWindow& wait_;
    QWidget& over_;
};
