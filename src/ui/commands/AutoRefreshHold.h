#pragma once

#include "ui/main/AutoRefresh.h"
#include "ui/main/MainWindow.h"

// Keeps the auto-refresh tick stopped while a command acts on a slot, so
// that no tick re-reads the card between a question and the work it asks
// about; started again afterwards when the setting is on.
class AutoRefreshHold {
  public:
    AutoRefreshHold(MainWindow& window, bool hold) : window_(hold ? &window : nullptr) {
        if (window_ != nullptr)
            window_->AutoRefresher().Stop();
    }
    ~AutoRefreshHold() {
        if (window_ != nullptr)
            window_->AutoRefresher().Rearm();
    }
    AutoRefreshHold(const AutoRefreshHold&) = delete;
    AutoRefreshHold& operator=(const AutoRefreshHold&) = delete;

  private:
    MainWindow* window_;
};
