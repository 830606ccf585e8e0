#pragma once

#include "settings/Settings.h"

#include <QDialog>

// The "Option" dialog: port, drag-and-drop mode, link speed, auto refresh.
// (First cut: the full dialog follows.)
class SettingsDialog : public QDialog {
    Q_OBJECT
  public:
    explicit SettingsDialog(QWidget* parent = nullptr);
    // Loads a working copy of settings into the controls and runs modally.
    // OK copies the working copy back into settings and returns true; EXIT
    // and the close box return false and leave settings alone.
    bool Run(Settings& settings);
    // The "Activate" box as the user last left it; unchecked until the
    // dialog has been run once.
    bool ActivateChecked() const { return activateChecked_; }

  private:
    bool activateChecked_ = false;
};
