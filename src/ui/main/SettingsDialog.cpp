#include "ui/main/SettingsDialog.h"

SettingsDialog::SettingsDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("Option");
}

bool SettingsDialog::Run(Settings& settings) {
    activateChecked_ = settings.AutoRefresh == 1;
    return exec() == QDialog::Accepted;
}
