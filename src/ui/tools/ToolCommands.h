#pragma once

#include "card/CardPlace.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class CardVolume;
class CodeWindow;
class LcdColourDialog;
class LogoImport;
class CardSession;
class CommandContext;
class MiniEditorWindow;

// The main window's tool commands and their windows: "Edit..." opens the
// selected saver in the hex editor, "DisAsm." in the code window, and the
// three BMP items turn a picture into the caption logo of a card.
//
// The tool windows never touch a card. The saver goes out to the work file
// "~ico._" in the start-up folder, the window edits that file modally, and
// when the user saved there it goes back over the saver's own blocks. The
// auto-refresh tick stays stopped for the whole command.
class ToolCommands : public QObject {
    Q_OBJECT
  public:
    // Creates the hex editor, the code window and the colour dialog (in that
    // order, once, reused for every visit) and connects the commands.
    // startupArgument: the program's first plain command-line argument, which
    // the hex editor opens on its first activation if it names a file.
    ToolCommands(CommandContext& ui, const QString& startupArgument);
    ~ToolCommands() override;

    MiniEditorWindow& HexEditor() { return *hexEditor_; }
    CodeWindow& Code() { return *codeWindow_; }
    LcdColourDialog& Colours() { return *colourDialog_; }
    // "~ico._" in the start-up folder.
    QString WorkFile() const;

  public slots:
    // "DisAsm.": the selected saver in the code window.
    void OpenInCodeWindow();
    // "Edit...": the selected saver in the hex editor.
    void OpenInHexEditor();
    // "Import BMP picture" (slots) and "Import Caption BMP" (image file) into
    // a view's card; only while it is loaded.
    void ImportCaptionBmp(CardPlace view);

  private:
    enum class Tool { Code, HexEditor };
    void Exchange(Tool tool);
    bool ExportToWorkFile(Tool tool, CardVolume& volume, CardPlace view, int entry,
                          const QString& name);
    // Shows the tool window modally on the work file; true when the user
    // saved there.
    bool RunCodeWindow(const QString& name);
    bool RunHexEditor(const QString& name);
    void WriteBack(CardVolume& volume, CardPlace view, int entry, const QString& name);
    // Places the logo built in the work file on a view's card: through
    // import when the card has no saver of its name, else in place of that
    // one once the user says yes. True when the card took it.
    bool PlaceLogo(CardPlace view, const std::function<bool()>& import);
    CardSession& Session();

    CommandContext& ui_;
    MiniEditorWindow* hexEditor_ = nullptr;
    CodeWindow* codeWindow_ = nullptr;
    LcdColourDialog* colourDialog_ = nullptr;
    std::unique_ptr<LogoImport> logoImport_;
};
