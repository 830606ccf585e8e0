#pragma once

#include "tools/hexedit/HexOptions.h"
#include "tools/hexedit/SearchState.h"
#include "tools/hexedit/qt/HexPrinter.h"
#include "tools/hexedit/qt/MiniEditorMenus.h"

#include <QDialog>
#include <QImage>
#include <QString>
#include <array>
#include <memory>

class HexView;
class Prompter;
class QLabel;
class QPrinter;
class QStatusBar;

// "Mini HexEditor": menus and a status bar around the hex grid. The main
// window hands a saver over as a work file: it clears SaveRequested, calls
// LoadFile, sets the caption and runs the window modally (exec()); when
// SaveRequested is set afterwards the user saved during the visit and the
// work file goes back onto the card. The window is made once and reused:
// the search, the print layout and the printer survive from one visit to
// the next. Every message, input box and file dialog goes through prompter.
class MiniEditorWindow : public QDialog {
    Q_OBJECT
  public:
    explicit MiniEditorWindow(Prompter& prompter, QWidget* parent = nullptr);
    ~MiniEditorWindow() override;

    // Loads a file into the grid (the grid works on its own copy and
    // remembers the name). False, and nothing changed, when it can't be read.
    bool LoadFile(const QString& path);
    bool SaveRequested() const { return saveRequested_; }
    void SetSaveRequested(bool requested) { saveRequested_ = requested; }
    // The program's first plain command-line argument: on the window's first
    // activation in a run, loaded in place of whatever was loaded if it
    // names an existing file.
    void SetStartupArgument(const QString& path) { startupArgument_ = path; }

    // The close query: true when the window may close.
    bool CloseQuery();
    // "&Save" without its SaveRequested: saves to the grid's file, or asks
    // for a name; true after a successful save.
    bool Save();

    HexView* Grid() const { return grid_; }
    const MiniEditorMenus& Menus() const { return menus_; }
    QStatusBar* StatusBar() const { return statusBar_; }
    // Text of a status bar panel, 0 to 5.
    QString PanelText(int panel) const;
    // The first page as "Print preview" shows it, for a page size in points.
    QImage PreviewImage(const QSizeF& pageSize) const;
    // Title printed on every page.
    QString PrintTitle() const;

  public slots:
    void reject() override;

  protected:
    bool event(QEvent* event) override;

  private:
    void ConnectFileMenu();
    void ConnectEditMenu();
    void ConnectViewMenu();
    void UpdateStatusBar();
    void UpdateActions();
    void UpdateViewChecks();
    using OptionChange = void (*)(HexOptions&, int);
    void SetOption(OptionChange change, int value);

    void SaveClicked();
    void SaveAsAnyFile();
    void SaveAsHexText();
    void ShowPrintPreview();
    void SetUpPrinter();
    void PrintAll();
    void Cut();
    void Copy();
    void Paste();
    void PasteText();
    void GotoPosition();
    void Find();
    void FindNext();
    QString AskSaveName();
    void ReportSearch(bool found);

    Prompter& prompter_;
    MiniEditorMenus menus_;
    HexView* grid_ = nullptr;
    QStatusBar* statusBar_ = nullptr;
    std::array<QLabel*, 6> panels_{};
    std::unique_ptr<HexPrinter> printer_;
    std::unique_ptr<QPrinter> paper_;
    SearchState search_;
    int printLayout_ = 0; // the printed numbers: 0 hex, 1 decimal, 2 octal
    bool saveRequested_ = false;
    bool firstActivation_ = true;
    QString startupArgument_;
};
