#pragma once

#include <QString>
#include <optional>

class QWidget;

// One file dialog as the windows describe it: the filter in the designed
// "Description|*.EXT|..." form, the initial file name, the default extension
// ("*.DCM" or "DCM") and whether the dialog itself asks before replacing a
// file. The Qt dialog matches each extension in upper and lower case, since
// card files come from other systems.
struct FileDialogSetup {
    QString title;
    QString filter;
    QString fileName;
    QString defaultExt;
    bool confirmOverwrite = false;
    QString directory; // empty: the current folder
    // A folder is chosen instead of a file (OpenFile); the filter is unused.
    bool folder = false;
    // When set, receives the description of the filter entry the user
    // chose ("DCM file format"), as the designed filter spells it.
    QString* chosenFilter = nullptr;
};

// Every message box, input box and file dialog of the program goes through
// one of these, so that the windows never call QMessageBox or QFileDialog
// themselves and tests answer them by script. Texts are shown exactly as
// given, blanks included.
class Prompter {
  public:
    enum class Answer { Yes, No, Cancel };

    virtual ~Prompter() = default;
    // Information box, OK button.
    virtual void Info(const QString& text) = 0;
    // Warning box, OK button.
    virtual void Warning(const QString& text) = 0;
    // Error box, OK button, the platform's default caption (hex editor).
    virtual void Error(const QString& text) = 0;
    // Confirmation with Yes and No; true only for Yes.
    virtual bool Confirm(const QString& text) = 0;
    // Yes, No and Cancel (the hex editor's close query).
    virtual Answer YesNoCancel(const QString& text) = 0;
    // Input box; nothing when cancelled.
    virtual std::optional<QString> Input(const QString& title, const QString& prompt,
                                         const QString& initial) = 0;
    // File dialogs; an empty text when cancelled.
    virtual QString OpenFile(const FileDialogSetup& setup) = 0;
    virtual QString SaveFile(const FileDialogSetup& setup) = 0;
};

// "DCI file format|*.DCI|ALL format|*.*" as a Qt filter list with both cases
// of every extension: "DCI file format (*.DCI *.dci);;ALL format (*)".
QString QtFilterFromDesigned(const QString& designed);

// The real dialogs, parented to a window.
class QtPrompter : public Prompter {
  public:
    explicit QtPrompter(QWidget* parent) : parent_(parent) {}

    void Info(const QString& text) override;
    void Warning(const QString& text) override;
    void Error(const QString& text) override;
    bool Confirm(const QString& text) override;
    Answer YesNoCancel(const QString& text) override;
    std::optional<QString> Input(const QString& title, const QString& prompt,
                                 const QString& initial) override;
    QString OpenFile(const FileDialogSetup& setup) override;
    QString SaveFile(const FileDialogSetup& setup) override;

  private:
    QWidget* parent_;
};
