#include "ui/tools/ToolCommands.h"

#include "card/CardWriteBack.h"
#include "card/SaverOnCard.h"
#include "card/SaverText.h"
#include "card/TransferEngine.h"
#include "link/LinkPort.h"
#include "qtbase/Prompter.h"
#include "tools/disasm/qt/CodeWindow.h"
#include "tools/hexedit/qt/HexView.h"
#include "tools/hexedit/qt/MiniEditorWindow.h"
#include "tools/icon/qt/LcdColourDialog.h"
#include "tools/icon/qt/LogoImport.h"
#include "ui/main/AutoRefresh.h"
#include "ui/main/CardMenus.h"
#include "ui/main/MainWindow.h"
#include "ui/widgets/DetailPanel.h"

#include <QAction>
#include <QFileInfo>
#include <QPushButton>
#include <optional>

namespace {

// The auto-refresh tick would re-read a slot in the middle of the command,
// or between the export and the write-back: stopped until the command ends.
class AutoRefreshHeld {
  public:
    explicit AutoRefreshHeld(MainWindow& window) : window_(window) {
        window_.AutoRefresher().Stop();
    }
    ~AutoRefreshHeld() { window_.AutoRefresher().Rearm(); }
    AutoRefreshHeld(const AutoRefreshHeld&) = delete;
    AutoRefreshHeld& operator=(const AutoRefreshHeld&) = delete;

  private:
    MainWindow& window_;
};

QString SlotText(int index) {
    return index == MainWindow::kSlot1 ? "slot 1" : "slot 2";
}

QString NoCardText(int index) {
    return index == MainWindow::kSlot1 ? " no card in slot 1 " : " no card in slot 2 ";
}

QString KeptText(const QString& workFile) {
    return " The edited data is kept in " + workFile + ".";
}

} // namespace

ToolCommands::ToolCommands(MainWindow& window, const QString& startupArgument)
    : QObject(&window), window_(window) {
    setObjectName("ToolCommands");
    Prompter& prompts = window.Prompts();
    hexEditor_ = new MiniEditorWindow(prompts, &window);
    hexEditor_->SetStartupArgument(startupArgument);
    codeWindow_ = new CodeWindow(prompts, &window);
    colourDialog_ = new LcdColourDialog(prompts, &window);
    logoImport_ = std::make_unique<LogoImport>(prompts, *colourDialog_);
    logoImport_->SetMainWindow(&window);
    logoImport_->SetStartDir(QString::fromStdString(window.StartDir()));
    logoImport_->SetWaitWindow([this] { window_.ShowWaitWindow(); },
                               [this] { window_.HideWaitWindow(); });

    QPushButton* edit = window.Detail().EditButton();
    if (edit->toolTip().isEmpty())
        edit->setToolTip("Edit Selected Saver");
    connect(edit, &QPushButton::clicked, this, &ToolCommands::OpenInHexEditor);
    connect(window.Detail().DisasmButton(), &QPushButton::clicked, this,
            &ToolCommands::OpenInCodeWindow);
    CardMenus& menus = window.Menus();
    connect(menus.slot1.importBmp, &QAction::triggered, this,
            [this] { ImportCaptionBmp(MainWindow::kSlot1); });
    connect(menus.slot2.importBmp, &QAction::triggered, this,
            [this] { ImportCaptionBmp(MainWindow::kSlot2); });
    connect(menus.file.importBmp, &QAction::triggered, this,
            [this] { ImportCaptionBmp(MainWindow::kFile); });
}

ToolCommands::~ToolCommands() = default;

QString ToolCommands::WorkFile() const {
    return QString::fromStdString(window_.StartDir() + kWorkFileName);
}

int ToolCommands::IndexOf(const CardVolume* volume) {
    for (int i = 0; i < 3; ++i)
        if (volume == &window_.Volume(i))
            return i;
    return -1;
}

void ToolCommands::OpenInCodeWindow() {
    Exchange(Tool::Code);
}

void ToolCommands::OpenInHexEditor() {
    Exchange(Tool::HexEditor);
}

void ToolCommands::Exchange(Tool tool) {
    if (window_.LinkBusy() || window_.SelectedName.empty())
        return;
    const int index = IndexOf(window_.SelectedVolume);
    if (index < 0)
        return;
    AutoRefreshHeld held(window_);
    // Kept here: the selection may change while the tool window is open.
    CardVolume& volume = *window_.SelectedVolume;
    const int entry = window_.SelectedEntry;
    const QString caption = QString::fromStdString(SaverText(window_.SelectedName.c_str()));

    if (index != MainWindow::kFile) {
        MainWindow::LinkWork work(window_);
        if (!window_.CardPresent(index)) {
            window_.SelectedName.clear();
            window_.Prompts().Info(NoCardText(index));
            window_.SetLoaded(index, false);
            return;
        }
    }
    if (!ExportToWorkFile(tool, volume, index, entry, caption))
        return;
    const bool save = tool == Tool::Code ? RunCodeWindow(caption) : RunHexEditor(caption);
    if (save)
        WriteBack(volume, index, entry, caption);
}

bool ToolCommands::ExportToWorkFile(Tool tool, CardVolume& volume, int index, int entry,
                                    const QString& name) {
    MainWindow::LinkWork work(window_);
    window_.ShowWaitWindow();
    // The card in a slot may have been swapped since it was read: its blocks
    // would then be another saver's.
    if (index != MainWindow::kFile && !SaverStillOnCard(volume, entry)) {
        window_.HideWaitWindow();
        if (!LinkFailedOn(volume))
            window_.Prompts().Info("The card in " + SlotText(index) +
                                   " has changed since it was read. Please refresh it first.");
        return false;
    }
    // Only this export's own link failure counts: a failure left over from
    // earlier link work says nothing about it (and nothing at all about a
    // saver of the card image, which never goes over the link).
    window_.Link().LinkFailed = false;
    const bool exported = ExportSaverToWorkFile(window_.StartDir() + kWorkFileName, entry, volume);
    window_.HideWaitWindow();
    const bool linkFailed = LinkFailedOn(volume);
    // The block store has told of a link failure already. The hex editor goes
    // on after one while auto refresh is on, but only with the whole saver.
    if (linkFailed && (tool == Tool::Code || window_.Config().AutoRefresh == 0))
        return false;
    if (!exported) {
        if (!linkFailed)
            window_.Prompts().Warning("Saver " + name.trimmed() + " could not be copied to " +
                                      WorkFile() + ".");
        return false;
    }
    return true;
}

bool ToolCommands::RunCodeWindow(const QString& name) {
    codeWindow_->ClearSaveRequested();
    window_.CentreOver(codeWindow_);
    codeWindow_->setWindowTitle("File :" + name);
    // It has shown its own warning when the file can't be read.
    if (!codeWindow_->LoadListing(WorkFile()))
        return false;
    codeWindow_->exec();
    return codeWindow_->SaveRequested();
}

bool ToolCommands::RunHexEditor(const QString& name) {
    window_.CentreOver(hexEditor_);
    hexEditor_->SetSaveRequested(false);
    // A saver's length is its blocks: deleting, inserting or appending bytes
    // would leave data the card cannot take back.
    HexOptions options = hexEditor_->Grid()->Options();
    options.NoSizeChange = true;
    hexEditor_->Grid()->SetOptions(options);
    // Opening the window on the last visit's data would show another saver.
    if (!hexEditor_->LoadFile(WorkFile())) {
        window_.Prompts().Warning("Cannot read " + WorkFile() + ".");
        return false;
    }
    hexEditor_->setWindowTitle("File :" + name);
    hexEditor_->exec();
    return hexEditor_->SaveRequested();
}

void ToolCommands::WriteBack(CardVolume& volume, int index, int entry, const QString& name) {
    MainWindow::LinkWork work(window_);
    const QString saver = "Saver " + name.trimmed();
    // Bytes added or removed would shift or drop part of the saver.
    const qint64 expected =
        static_cast<qint64>(volume.Entries[entry].SizeBlocks) * CardVolume::kBlockSize;
    const qint64 edited = QFileInfo(WorkFile()).size();
    if (edited != expected) {
        window_.Prompts().Warning(saver + " was not written back: the edited data holds " +
                                  QString::number(edited) + " bytes, the saver " +
                                  QString::number(expected) + "." + KeptText(WorkFile()));
        return;
    }
    window_.ShowWaitWindow();
    if (index != MainWindow::kFile) {
        QString why;
        if (!window_.CardPresent(index)) {
            window_.SetLoaded(index, false);
            why = "there is no card in " + SlotText(index) + ".";
        } else if (!SaverStillOnCard(volume, entry)) {
            why = "the card in " + SlotText(index) + " has changed since it was read.";
        }
        if (!why.isEmpty()) {
            window_.HideWaitWindow();
            window_.Prompts().Warning(saver + " was not written back: " + why +
                                      KeptText(WorkFile()));
            if (volume.Listed.changed)
                window_.Refresh(index);
            return;
        }
    } else if (!SaverStillOnCard(volume, entry)) {
        // Another program may have changed the image since it was read.
        window_.HideWaitWindow();
        window_.Prompts().Warning(saver + " was not written back: the card image has changed " +
                                  "since it was read, or another program is using it." +
                                  KeptText(WorkFile()));
        if (volume.Listed.changed)
            window_.Refresh(index);
        return;
    }
    const bool written = ImportWorkFileToSaver(window_.StartDir() + kWorkFileName, entry, volume);
    window_.HideWaitWindow();
    if (!written)
        window_.Prompts().Warning(saver + " could not be written back to the card." +
                                  KeptText(WorkFile()));
}

void ToolCommands::ImportCaptionBmp(int index) {
    if (window_.LinkBusy() || index < 0 || index > 2 || !window_.Loaded(index))
        return;
    AutoRefreshHeld held(window_);
    // The dialogs run without it, so the window goes on painting; the card
    // work after them runs inside it.
    std::optional<MainWindow::LinkWork> work;
    logoImport_->SetBeforeImport([this, index, &work] {
        work.emplace(window_);
        return index == MainWindow::kFile || ReadSlotAgain(index);
    });
    const bool imported = logoImport_->Run(window_.Volume(index));
    logoImport_->SetBeforeImport(nullptr);
    if (imported || window_.Volume(index).Listed.changed)
        window_.Refresh(index);
}

bool ToolCommands::ReadSlotAgain(int index) {
    // The logo goes in beside the savers the card holds now, not those it
    // held when it was last read.
    window_.Refresh(index);
    if (window_.Link().LinkFailed || !window_.Loaded(index))
        return false;
    window_.ShowWaitWindow();
    return true;
}

ToolCommands* AttachToolCommands(MainWindow& window, const QString& startupArgument) {
    return new ToolCommands(window, startupArgument);
}
