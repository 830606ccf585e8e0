#pragma once

#include <QString>
#include <functional>

class CardVolume;
class LcdColourDialog;
class Prompter;
class QWidget;

// "Import BMP picture" / "Import Caption BMP": turns a 32 x 32, 8-bit BMP into
// the caption-logo saver "ICONDATA_VMS" on a card. Asks for the file, checks
// its size and depth, lets the user choose the LCD colours and the name in
// the colour dialog, writes the saver as the single-saver file "~ico._" in the
// start-up folder and places it on the target card.
class LogoImport {
  public:
    LogoImport(Prompter& prompter, LcdColourDialog& dialog);

    // The colour dialog is centred over this window (none: left where it is).
    void SetMainWindow(QWidget* mainWindow) { mainWindow_ = mainWindow; }
    // Folder of "~ico._" and "~ico2.bmp".
    void SetStartDir(const QString& startDir) { startDir_ = startDir; }
    // Shown from the accepted file until the import is over.
    void SetWaitWindow(std::function<void()> show, std::function<void()> hide) {
        showWait_ = std::move(show);
        hideWait_ = std::move(hide);
    }
    // Runs the import once the logo is built: around calls import() and
    // returns what it returned, or returns false without calling it to stop
    // with nothing written. A slot's card may have been swapped while the
    // dialogs were open, so the caller reads it again first; it holds the
    // link for the card work here.
    using ImportAround = std::function<bool(const std::function<bool()>& import)>;
    void SetImportAround(ImportAround around) { importAround_ = std::move(around); }

    // Runs the import into target. True when the saver was placed on the card
    // (ImportDci returned true): the caller then refreshes the target's view.
    // False when the user cancelled the file dialog, the picture was refused
    // with its warning, "~ico._" could not be written, or the card refused it
    // (it has told the user why through its own messages).
    bool Run(CardVolume& target);

    // "~ico._" in the start-up folder.
    QString WorkFile() const;

  private:
    Prompter& prompter_;
    LcdColourDialog& dialog_;
    QWidget* mainWindow_ = nullptr;
    QString startDir_;
    std::function<void()> showWait_;
    std::function<void()> hideWait_;
    ImportAround importAround_;
};
