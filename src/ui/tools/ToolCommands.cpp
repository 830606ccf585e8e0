#include "ui/tools/ToolCommands.h"

#include "card/CardFeedback.h"
#include "card/CardSession.h"
#include "card/CardWriteBack.h"
#include "card/DciFile.h"
#include "card/ReplaceSaver.h"
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
#include "ui/main/CommandContext.h"
#include "ui/main/LinkCommandRunner.h"
#include "ui/widgets/DetailPanel.h"

#include <QFileInfo>
#include <QPushButton>

namespace {

QString SlotText(CardPlace slot) {
    return slot == CardPlace::Slot1 ? "slot 1" : "slot 2";
}

QString NoCardText(CardPlace slot) {
    return slot == CardPlace::Slot1 ? " no card in slot 1 " : " no card in slot 2 ";
}

QString KeptText(const QString& workFile) {
    return " The edited data is kept in " + workFile + ".";
}

// The auto-refresh tick would re-read a slot in the middle of the command,
// or between the export and the write-back: stopped until the command ends.
// The tool windows run without link work, so the window goes on painting;
// the card work around them runs as requests of its own.
CardRequest HeldAcross(std::function<void(CardJob&)> work) {
    return {.holdTick = true, .linkWork = false, .work = std::move(work)};
}

} // namespace

ToolCommands::ToolCommands(CommandContext& ui, const QString& startupArgument)
    : QObject(&ui.Window()), ui_(ui) {
    setObjectName("ToolCommands");
    Prompter& prompts = ui.Prompts();
    QWidget* window = &ui.Window();
    hexEditor_ = new MiniEditorWindow(prompts, window);
    hexEditor_->SetStartupArgument(startupArgument);
    codeWindow_ = new CodeWindow(prompts, window);
    colourDialog_ = new LcdColourDialog(prompts, window);
    logoImport_ = std::make_unique<LogoImport>(prompts, *colourDialog_);
    logoImport_->SetMainWindow(window);
    logoImport_->SetStartDir(QString::fromStdString(ui.Session().StartDir()));

    QPushButton* edit = ui.Detail().EditButton();
    if (edit->toolTip().isEmpty())
        edit->setToolTip("Edit Selected Saver");
    connect(edit, &QPushButton::clicked, this, &ToolCommands::OpenInHexEditor);
    connect(ui.Detail().DisasmButton(), &QPushButton::clicked, this,
            &ToolCommands::OpenInCodeWindow);
}

ToolCommands::~ToolCommands() = default;

CardSession& ToolCommands::Session() {
    return ui_.Session();
}

QString ToolCommands::WorkFile() const {
    return QString::fromStdString(ui_.Session().StartDir() + kWorkFileName);
}

void ToolCommands::OpenInCodeWindow() {
    Exchange(Tool::Code);
}

void ToolCommands::OpenInHexEditor() {
    Exchange(Tool::HexEditor);
}

void ToolCommands::Exchange(Tool tool) {
    CardSession& session = Session();
    CardPlace view = CardPlace::Image;
    if (session.SelectedName().empty() || !session.PlaceOf(session.SelectedVolume(), view))
        return;
    ui_.Runner().Run(HeldAcross([this, tool, view, &session](CardJob&) {
        // Kept here: the selection may change while the tool window is open.
        CardVolume& volume = *session.SelectedVolume();
        const int entry = session.SelectedEntry();
        const QString caption = QString::fromStdString(SaverText(session.SelectedName().c_str()));
        bool present = true;
        if (IsSlot(view))
            ui_.Runner().Run({.work = [&](CardJob&) { present = session.CardPresent(view); }});
        if (!present) {
            session.ClearSelection();
            ui_.Prompts().Info(NoCardText(view));
            session.SetLoaded(view, false);
            return;
        }
        if (!ExportToWorkFile(tool, volume, view, entry, caption))
            return;
        const bool save = tool == Tool::Code ? RunCodeWindow(caption) : RunHexEditor(caption);
        if (save)
            WriteBack(volume, view, entry, caption);
    }));
}

bool ToolCommands::ExportToWorkFile(Tool tool, CardVolume& volume, CardPlace view, int entry,
                                    const QString& name) {
    CardRequest request{.wait = true};
    // The card in a slot may have been swapped since it was read: its blocks
    // would then be another saver's. Its root, table and the saver's entry
    // tell; the write-back checks the whole listing again.
    if (IsSlot(view))
        request.sameCard = [&volume, entry] {
            return SaverStillOnCard(volume, entry, SaverCheck::Entry);
        };
    bool exported = false;
    request.work = [&](CardJob&) {
        // Only this export's own link failure counts: a failure left over
        // from earlier link work says nothing about it (and nothing at all
        // about a saver of the card image, which never goes over the link).
        Session().Link().LinkFailed = false;
        exported = ExportSaverToWorkFile(Session().StartDir() + kWorkFileName, entry, volume);
    };
    const RunOutcome outcome = ui_.Runner().Run(request);
    if (outcome == RunOutcome::NotSameCard) {
        if (!LinkFailedOn(volume))
            ui_.Prompts().Info("The card in " + SlotText(view) +
                               " has changed since it was read. Please refresh it first.");
        return false;
    }
    const bool linkFailed = LinkFailedOn(volume);
    // The block store has told of a link failure already. The hex editor goes
    // on after one while auto refresh is on, but only with the whole saver.
    if (linkFailed && (tool == Tool::Code || Session().Config().AutoRefresh == 0))
        return false;
    if (!exported) {
        if (!linkFailed)
            ui_.Prompts().Warning("Saver " + name.trimmed() + " could not be copied to " +
                                  WorkFile() + ".");
        return false;
    }
    return true;
}

bool ToolCommands::RunCodeWindow(const QString& name) {
    codeWindow_->ClearSaveRequested();
    ui_.CentreOver(codeWindow_);
    codeWindow_->setWindowTitle("File :" + name);
    // It has shown its own warning when the file can't be read.
    if (!codeWindow_->LoadListing(WorkFile()))
        return false;
    codeWindow_->exec();
    return codeWindow_->SaveRequested();
}

bool ToolCommands::RunHexEditor(const QString& name) {
    ui_.CentreOver(hexEditor_);
    hexEditor_->SetSaveRequested(false);
    // A saver's length is its blocks: deleting, inserting or appending bytes
    // would leave data the card cannot take back.
    HexOptions options = hexEditor_->Grid()->Options();
    options.NoSizeChange = true;
    hexEditor_->Grid()->SetOptions(options);
    // Opening the window on the last visit's data would show another saver.
    if (!hexEditor_->LoadFile(WorkFile())) {
        ui_.Prompts().Warning("Cannot read " + WorkFile() + ".");
        return false;
    }
    hexEditor_->setWindowTitle("File :" + name);
    hexEditor_->exec();
    return hexEditor_->SaveRequested();
}

void ToolCommands::WriteBack(CardVolume& volume, CardPlace view, int entry, const QString& name) {
    CardSession& session = Session();
    const QString saver = "Saver " + name.trimmed();
    // Bytes added or removed would shift or drop part of the saver.
    const qint64 expected =
        static_cast<qint64>(volume.Entries()[entry].SizeBlocks) * CardVolume::kBlockSize;
    const qint64 edited = QFileInfo(WorkFile()).size();
    if (edited != expected) {
        ui_.Prompts().Warning(saver + " was not written back: the edited data holds " +
                              QString::number(edited) + " bytes, the saver " +
                              QString::number(expected) + "." + KeptText(WorkFile()));
        return;
    }
    QString why;
    const auto sameCard = [&] {
        if (!IsSlot(view)) {
            // Another program may have changed the image since it was read.
            if (!SaverStillOnCard(volume, entry))
                why = "the card image has changed since it was read, or another program "
                      "is using it.";
        } else if (!session.CardPresent(view)) {
            session.SetLoaded(view, false);
            why = "there is no card in " + SlotText(view) + ".";
        } else if (!SaverStillOnCard(volume, entry)) {
            why = "the card in " + SlotText(view) + " has changed since it was read.";
        }
        if (why.isEmpty() && !WriteBackTouchesOnlySaver(volume, entry))
            why = "the card's directory or table is damaged, so its blocks may be another "
                  "saver's. Please check the card first (\"Check card...\").";
        return why.isEmpty();
    };
    bool written = false;
    const RunOutcome outcome = ui_.Runner().Run(
        {.wait = true, .sameCard = sameCard, .work = [&](CardJob&) {
             written = ImportWorkFileToSaver(session.StartDir() + kWorkFileName, entry, volume);
         }});
    if (outcome == RunOutcome::NotSameCard) {
        ui_.Prompts().Warning(saver + " was not written back: " + why + KeptText(WorkFile()));
        if (volume.Listing().Copy().changed)
            ui_.Runner().Run({.wait = true, .work = [view](CardJob& job) { job.Refresh(view); }});
        return;
    }
    if (!written)
        ui_.Prompts().Warning(saver + " could not be written back to the card." +
                              KeptText(WorkFile()));
}

void ToolCommands::ImportCaptionBmp(CardPlace view) {
    CardSession& session = Session();
    if (!session.Loaded(view))
        return;
    ui_.Runner().Run(HeldAcross([this, view, &session](CardJob& visit) {
        // The wait window stands from the accepted picture until the logo
        // is placed.
        logoImport_->SetWaitWindow([&visit] { visit.WaitWindowUp(true); },
                                   [&visit] { visit.WaitWindowUp(false); });
        // The dialogs run without link work, so the window goes on painting;
        // the card work after them is a request of its own.
        logoImport_->SetImportAround([this, view, &session](const std::function<bool()>& import) {
            bool imported = false;
            CardRequest request{.wait = true};
            request.work = [&](CardJob&) {
                if (!IsSlot(view)) {
                    imported = PlaceLogo(view, import);
                    return;
                }
                // The logo goes in beside the savers the card holds now, not
                // those it held when it was last read.
                ui_.Refresh(view);
                if (session.Link().LinkFailed || !session.Loaded(view))
                    return;
                imported = PlaceLogo(view, import);
            };
            ui_.Runner().Run(request);
            return imported;
        });
        const bool imported = logoImport_->Run(session.Volume(view));
        logoImport_->SetImportAround(nullptr);
        logoImport_->SetWaitWindow(nullptr, nullptr);
        if (imported || session.Volume(view).Listing().Copy().changed)
            visit.Refresh(view);
    }));
}

bool ToolCommands::PlaceLogo(CardPlace view, const std::function<bool()>& import) {
    CardVolume& volume = Session().Volume(view);
    const std::string workFile = Session().StartDir() + kWorkFileName;
    const std::string name = ReadDciName(workFile);
    int old = -1;
    if (name.empty() || !FindSaverByName(volume, name, old))
        return import();
    // A card shows one caption logo: a second one of the same name would
    // only hide the new picture behind the old.
    if (!ui_.Prompts().Confirm("Saver " + QString::fromStdString(SaverText(name)) +
                               " Exisit overwrite it ?"))
        return false;
    // The old logo goes in the write-back that adds the new one.
    const SaverResult result = ReplaceSaverByImport(workFile, volume, old);
    ui_.Feedback().SetProgress(0, 1);
    if (result.outcome == SaverOutcome::NoSpace || result.outcome == SaverOutcome::DirectoryFull)
        ui_.Prompts().Info(kNotEnoughSpaceText);
    else if (!result.Done() && !LinkFailedOn(volume))
        ui_.Prompts().Info(QString::fromStdString(result.reason));
    return result.Done();
}
