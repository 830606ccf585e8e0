#pragma once

struct Settings;
class SettingsDialog;
class QWidget;

// How the main window edits the settings: the "Option" dialog for real, a
// script in tests.
class SettingsEditor {
  public:
    virtual ~SettingsEditor() = default;
    // Runs the editor centred over `over`; true (with settings updated) on OK.
    virtual bool Run(Settings& settings, QWidget* over) = 0;
    // The "Activate" box as the user left it; unchecked until the first run.
    virtual bool ActivateChecked() const = 0;
};

// The "Option" dialog behind that interface.
class DialogSettingsEditor : public SettingsEditor {
  public:
    explicit DialogSettingsEditor(SettingsDialog& dialog) : dialog_(dialog) {}
    bool Run(Settings& settings, QWidget* over) override;
    bool ActivateChecked() const override;

  private:
    SettingsDialog& dialog_;
};
