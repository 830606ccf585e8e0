#pragma once

#include "card/SpeedSearch.h"
#include "settings/Settings.h"

#include <QDialog>
#include <QString>

#include <functional>

class QAction;
class QCheckBox;
class QContextMenuEvent;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QSlider;

// The "Option" dialog: port, drag-and-drop mode, link speed, auto refresh and
// transfer verification. It works on a copy of the settings; the caller saves
// "RUD2.cfg" and hands the port and delays to the link after an OK.
//
// The speed bar is the long delay count; moving it derives the short count
// (a sixteenth) and the longest count (one and a half times). Two expert
// tools hide behind the context menu: Ctrl+Alt+E opens an editor for the raw
// counts, Ctrl+Alt+T shows the counts the bar derived. "Find speed", after
// the designed controls, asks the link box for the fastest counts it reads
// the card right at and puts them on the bar, where OK keeps them and EXIT
// drops them as any move of the bar.
class SettingsDialog : public QDialog {
    Q_OBJECT
  public:
    explicit SettingsDialog(QWidget* parent = nullptr);
    // Loads a working copy of settings into the controls, centres over `over`
    // (the parent when null) and runs modally. OK copies the working copy
    // back into settings and returns true; EXIT and the close box return
    // false and leave settings alone.
    bool Run(Settings& settings, QWidget* over = nullptr);
    // The "Activate" box as the user last left it; unchecked until the
    // dialog has been run once.
    bool ActivateChecked() const;
    // The values the controls stand for now.
    const Settings& WorkingCopy() const { return working_; }
    // What "Find speed" runs, with the working copy: the search on the
    // link. Without one the button is off.
    using SpeedFinder = std::function<SpeedResult(const Settings&)>;
    void SetSpeedFinder(SpeedFinder finder);

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    void BuildControls();
    QWidget* BuildPortGroup();
    QWidget* BuildDragDropGroup();
    QWidget* BuildSpeedArea();
    QWidget* BuildDelayEditor();
    QWidget* BuildAutoRefreshGroup();
    void BuildContextMenu();
    void ConnectControls();

    // Fills every control from the working copy. With deriveFromBar, a bar
    // that moves to the long count derives the other two counts from it.
    void LoadControls(bool deriveFromBar);
    void ShowCustomPort(uint16_t port);
    void ShowScale();
    void ShowSpeedMark();

    // Change handlers.
    void DelayBarChanged(int value);
    void BaseEditChanged();
    void ShortDelayEditChanged();
    void LongDelayEditChanged();
    void LongestDelayEditChanged();
    void BarMaxEditChanged();
    // Puts the replacement into an edit whose text is not a hexadecimal
    // number that reads back the same; the value of the text either way.
    int32_t ValidatedValue(QLineEdit* edit, const QString& replacement);

    void AcceptClicked();
    void ExitClicked();
    void ShowDelayEditor();
    void DelayEditorDone();
    void ToggleTestLabels();
    void FindSpeedClicked();

    Settings working_;

    QRadioButton* lpt1Radio_ = nullptr;
    QRadioButton* lpt2Radio_ = nullptr;
    QRadioButton* customPortRadio_ = nullptr;
    QLineEdit* baseEdit_ = nullptr;
    QRadioButton* copyRadio_ = nullptr;
    QRadioButton* moveRadio_ = nullptr;
    QSlider* delayBar_ = nullptr;
    QLabel* scaleMiddleLabel_ = nullptr;
    QLabel* scaleEndLabel_ = nullptr;
    QLabel* speedMarkLabel_ = nullptr;
    QLabel* shortCountLabel_ = nullptr;
    QLabel* longCountLabel_ = nullptr;
    QLabel* longestCountLabel_ = nullptr;
    QCheckBox* verifyBox_ = nullptr;
    QCheckBox* pairsBox_ = nullptr;
    QCheckBox* historyBox_ = nullptr;
    QCheckBox* autoRefreshBox_ = nullptr;
    QFrame* delayEditor_ = nullptr;
    QLineEdit* shortDelayEdit_ = nullptr;
    QLineEdit* longDelayEdit_ = nullptr;
    QLineEdit* longestDelayEdit_ = nullptr;
    QLineEdit* barMaxEdit_ = nullptr;
    QPushButton* findSpeedButton_ = nullptr;
    QLabel* speedResultLabel_ = nullptr;
    SpeedFinder speedFinder_;
    QPushButton* okButton_ = nullptr;
    QPushButton* exitButton_ = nullptr;
    QMenu* contextMenu_ = nullptr;
    QAction* editDelayTimeAction_ = nullptr;
    QAction* toggleTestAction_ = nullptr;
};
