#include "ui/dialogs/SettingsEditor.h"

#include "qtbase/Centre.h"
#include "ui/dialogs/SettingsDialog.h"

bool DialogSettingsEditor::Run(Settings& settings, QWidget* over) {
    if (over != nullptr) {
        dialog_.adjustSize();
        dialog_.move(CentredOver(over->frameGeometry(), dialog_.frameSize()));
    }
    return dialog_.Run(settings);
}

bool DialogSettingsEditor::ActivateChecked() const {
    return dialog_.ActivateChecked();
}
