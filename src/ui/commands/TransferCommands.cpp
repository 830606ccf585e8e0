#include "ui/commands/TransferCommands.h"

#include "base/SafeFile.h"
#include "card/CardSession.h"
#include "card/CardWriteBack.h"
#include "card/ChangeRecorder.h"
#include "card/ReplaceSaver.h"
#include "card/SaverText.h"
#include "card/ScratchFile.h"
#include "card/SideFiles.h"
#include "card/TransferEngine.h"
#include "ui/commands/CommandFiles.h"
#include "ui/commands/DciCommands.h"
#include "ui/dialogs/CopyToDialog.h"
#include "ui/dialogs/DeleteDialog.h"
#include "ui/dialogs/SaverSelectedDialog.h"
#include "ui/main/CommandUi.h"
#include "ui/main/LinkCommandRunner.h"
#include "ui/widgets/CardListWidget.h"
#include "ui/widgets/CardView.h"

#include <QImage>
#include <QItemSelectionModel>
#include <QPixmap>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>

namespace {

// Saver names and texts are bytes, shown as everywhere else.
QString Text(const std::string& bytes) {
    return QString::fromStdString(SaverText(bytes));
}

QImage Comparable(const QImage& image) {
    return image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

TransferCommands::TransferCommands(CommandUi& ui, DciCommands& dci, QObject* parent)
    : QObject(parent), ui_(ui), dci_(dci) {
    saverSelected_ = new SaverSelectedDialog(&ui.Window());
    delete_ = new DeleteDialog(&ui.Window());
    copyTo_ = new CopyToDialog(&ui.Window());
}

CardSession& TransferCommands::Session() {
    return ui_.Session();
}

QString TransferCommands::DeleteQuestion(CardPlace view) {
    return view == CardPlace::Slot1   ? "Are you sure to delete Slot 1 selected saver?"
           : view == CardPlace::Slot2 ? "Are you sure to delete Slot 2 selected saver?"
                                      : "Are you sure to delete selected saver in Opened File?";
}

FileDialogSetup TransferCommands::PictureDialog(const QString& fileName) {
    FileDialogSetup setup;
    setup.title = "Save BMP to";
    setup.filter = "Bitmaps (*.bmp)|*.bmp";
    setup.fileName = fileName;
    setup.defaultExt = "*.BMP";
    setup.confirmOverwrite = true;
    return setup;
}

bool TransferCommands::CopyTarget(CardPlace view, int code, CardPlace& target) {
    if (code == CopyToDialog::kFirst) {
        target = view == CardPlace::Slot1 ? CardPlace::Slot2 : CardPlace::Slot1;
        return true;
    }
    if (code == CopyToDialog::kSecond) {
        target = view == CardPlace::Image ? CardPlace::Slot2 : CardPlace::Image;
        return true;
    }
    return false;
}

void TransferCommands::Activate(CardPlace view) {
    // The file view is never read by the auto-refresh tick.
    LinkCommand command;
    command.linkWork = false;
    command.holdAutoRefresh = IsSlot(view);
    const QList<int> positions = ui_.ViewOf(view).List()->SelectedPositions();
    // Slot 1 acts on exactly one saver; the others on the first of several.
    const bool one = view == CardPlace::Slot1 ? positions.size() == 1 : !positions.isEmpty();
    ui_.Runner().RunLinkCommand(command, [&] {
        if (!one)
            return;
        const int entry = ui_.ViewOf(view).DirectoryIndexAt(positions.first());
        if (entry < 0)
            return;
        FillDialogs(view, entry);
        switch (saverSelected_->Ask()) {
        case SaverSelectedDialog::kDelete:
            DeleteFromDialog(view, entry);
            break;
        case SaverSelectedDialog::kCopyTo:
            CopyFromDialog(view, entry);
            break;
        case SaverSelectedDialog::kExport:
            dci_.Export(view, entry);
            break;
        case SaverSelectedDialog::kSaveBmp:
            SavePicture(view);
            break;
        default:
            break;
        }
    });
}

void TransferCommands::FillDialogs(CardPlace view, int entry) {
    CardSession& session = Session();
    const SaverEntry& e = session.Volume(view).Entries()[entry];
    const QPixmap picture = ui_.ViewOf(view).CurrentPicture(entry);
    // The texts first: a window may grow for them before it is centred.
    const QString stamp = Text(e.Date) + "   " + Text(e.Time);
    saverSelected_->SetLines(Text(e.Description), Text(e.Name) + "   " + stamp);
    // Japanese descriptions read as Shift-JIS; nothing more when the text is
    // plain ASCII and the designed line says it all.
    const QString decoded = QString::fromStdString(e.DescriptionText);
    saverSelected_->SetDecodedLine(decoded == Text(e.Description).trimmed() ? QString() : decoded);
    delete_->SetLines(Text(e.Name), stamp);
    copyTo_->SetLines(Text(e.Name), stamp);
    for (ChoiceDialog* d :
         {static_cast<ChoiceDialog*>(saverSelected_), static_cast<ChoiceDialog*>(delete_),
          static_cast<ChoiceDialog*>(copyTo_)}) {
        d->SetPicture(picture);
        ui_.CentreOver(d);
    }
    const bool slot1 = session.Loaded(CardPlace::Slot1);
    const bool slot2 = session.Loaded(CardPlace::Slot2);
    const bool file = session.Loaded(CardPlace::Image);
    if (view == CardPlace::Slot1)
        copyTo_->SetTargets("SLOT 2", slot2, "FILE", file);
    else if (view == CardPlace::Slot2)
        copyTo_->SetTargets("SLOT 1", slot1, "FILE", file);
    else
        copyTo_->SetTargets("SLOT 1", slot1, "SLOT 2", slot2);
}

void TransferCommands::DeleteFromDialog(CardPlace view, int entry) {
    if (delete_->Ask() != DeleteDialog::kYes)
        return;
    ui_.Runner().JoinWaiting([this, view, entry] {
        DeleteSaver(Session().Volume(view), entry, [this, view] { ui_.Refresh(view); });
    });
}

void TransferCommands::CopyFromDialog(CardPlace view, int entry) {
    CardPlace target = CardPlace::Image;
    if (!CopyTarget(view, copyTo_->Ask(), target) || !Session().Loaded(target))
        return;
    ui_.Runner().JoinWaiting([this, view, entry, target] {
        // The image may have been changed by another program since it was read.
        if (target == CardPlace::Image)
            ui_.Refresh(CardPlace::Image);
        // Copy to copies whatever the drag mode says.
        if (Session().Loaded(target)) {
            const CopyOutcome outcome = CopyWithNameCheck(view, entry, target);
            if (outcome.attempted)
                ui_.Refresh(target);
            if (Session().Volume(view).Listing().Copy().changed)
                ui_.Refresh(view);
        }
    });
}

TransferCommands::CopyOutcome TransferCommands::CopyWithNameCheck(CardPlace source, int entry,
                                                                  CardPlace target) {
    CopyOutcome outcome;
    CardVolume& from = Session().Volume(source);
    CardVolume& to = Session().Volume(target);
    const std::string name = from.Entries()[entry].Name;
    int old = -1;
    const bool replaces = FindSaverByName(to, name, old);
    if (replaces && !ui_.Prompts().Confirm("Saver " + Text(name) + " Exisit overwrite it ?"))
        return outcome;
    outcome.attempted = true;
    // The old saver goes in the same write-back that adds the copy, so a
    // copy that is refused or fails keeps it.
    SaverResult result;
    const auto copy = [&] {
        result = ReplaceSaverByCopy(from, entry, to, old,
                                    [this](const std::string& text) { ui_.SetStatus(Text(text)); });
    };
    if (replaces)
        ui_.Runner().JoinWaiting(copy);
    else
        ui_.Runner().Join(copy);
    ui_.EngineUi().SetProgress(0, 1);
    outcome.done = result.Done();
    outcome.changed = result.outcome == SaverOutcome::CardChanged;
    // No room and a game's blocks taken are refused without a word, as
    // ever: the target simply does not show the saver. Link failures have
    // been told by the block store.
    const bool silent = result.outcome == SaverOutcome::NoSpace ||
                        result.outcome == SaverOutcome::GameBlocksTaken || LinkFailedOn(from) ||
                        LinkFailedOn(to);
    if (!outcome.done && !silent)
        ui_.Prompts().Info(Text(result.reason));
    return outcome;
}

void TransferCommands::DeleteSelected(CardPlace view) {
    if (!Session().Loaded(view))
        return;
    CardListWidget* list = ui_.ViewOf(view).List();
    if (list->SelectedPositions().isEmpty())
        return;
    LinkCommand command;
    command.linkWork = false;
    command.holdAutoRefresh = IsSlot(view);
    ui_.Runner().RunLinkCommand(command, [this, view, list] {
        if (!ui_.Prompts().Confirm(DeleteQuestion(view)))
            return;
        ui_.Runner().Join([this, view, list] {
            CardVolume& volume = Session().Volume(view);
            const qsizetype count = list->SelectedPositions().size();
            // One change for the history, so that one undo brings them all back.
            std::optional<ChangeScope> change;
            if (count > 1)
                change.emplace(volume, "delete " + std::to_string(count) + " savers");
            for (qsizetype k = 0; k < count; ++k) {
                const QList<int> positions = list->SelectedPositions();
                if (positions.isEmpty())
                    break;
                const int entry = ui_.ViewOf(view).DirectoryIndexAt(positions.first());
                ui_.Runner().JoinWaiting([&] {
                    if (entry >= 0)
                        DeleteSaver(volume, entry);
                });
                // Another card: none of the selected savers is on it.
                if (volume.Listing().Copy().changed)
                    break;
                Deselect(view, positions.first());
            }
            ui_.Refresh(view);
        });
    });
}

void TransferCommands::DropSavers(CardPlace source, CardPlace target) {
    CardSession& session = Session();
    if (source == target || !session.Loaded(source) || !session.Loaded(target))
        return;
    ui_.Runner().RunLinkCommand({}, [this, source, target, &session] {
        if (target == CardPlace::Image) {
            ui_.Refresh(CardPlace::Image);
            if (!session.Loaded(CardPlace::Image))
                return;
        }
        const bool move = session.Config().DragMode == 1;
        bool changed = false;
        CardListWidget* list = ui_.ViewOf(source).List();
        const qsizetype count = list->SelectedPositions().size();
        for (qsizetype k = 0; k < count; ++k) {
            const QList<int> positions = list->SelectedPositions();
            if (positions.isEmpty())
                break;
            const int entry = ui_.ViewOf(source).DirectoryIndexAt(positions.first());
            // A move that could copy but not delete would leave the saver on
            // both cards: refused before anything is copied.
            if (entry >= 0 && move && !SaverDeletable(session.Volume(source), entry)) {
                ui_.Prompts().Warning(
                    "Saver " + Text(session.Volume(source).Entries()[entry].Name) +
                    " was not moved: the directory of its card is damaged, so it could not be "
                    "deleted there. Nothing was copied; \"Check card...\" tells more.");
                break;
            }
            if (entry >= 0) {
                ui_.ShowSelectedSaver(source);
                ui_.Runner().JoinWaiting([&] {
                    ui_.RepaintNow();
                    // A move gives up the source only when the copy took place.
                    const CopyOutcome outcome = CopyWithNameCheck(source, entry, target);
                    if (outcome.done && move)
                        DeleteSaver(session.Volume(source), entry);
                    changed = outcome.changed || session.Volume(source).Listing().Copy().changed;
                });
            }
            if (changed)
                break;
            Deselect(source, positions.first());
        }
        if (move || changed)
            ui_.Refresh(source);
        ui_.Refresh(target);
    });
}

void TransferCommands::Deselect(CardPlace view, int position) {
    CardListWidget* list = ui_.ViewOf(view).List();
    list->selectionModel()->select(list->model()->index(position, 0),
                                   QItemSelectionModel::Deselect);
}

void TransferCommands::SavePicture(CardPlace view) {
    const QList<int> positions = ui_.ViewOf(view).List()->SelectedPositions();
    if (positions.isEmpty())
        return;
    const int entry = ui_.ViewOf(view).DirectoryIndexAt(positions.first());
    if (entry < 0)
        return;
    const QString path = ui_.Prompts().SaveFile(PictureDialog(pictureName_));
    if (path.isEmpty())
        return;
    pictureName_ = path;
    if (IsOpenImage(Session(), path)) {
        ui_.Prompts().Info(FileInUseText(path));
        return;
    }
    ui_.Runner().Join([this, view, entry, &path] {
        ScratchFile scratch(LocalPath(path));
        if (!scratch.Ready() || !WritePicture(view, entry, scratch.Path()) || !scratch.Commit())
            ui_.Prompts().Warning(FileNotWrittenText(path, scratch.Error()));
    });
}

bool TransferCommands::WritePicture(CardPlace view, int entry, const std::string& path) {
    // A saver without icons shows the picture for savers without icons;
    // its header holds no frame to extract.
    const std::string noIcon = SideFilePath(Session().StartDir(), kNoIconFileName);
    const CardView& shown = ui_.ViewOf(view);
    const QImage picture = shown.CurrentPicture(entry).toImage();
    std::vector<uint8_t> noIconBytes;
    QImage none;
    if (ReadWholeFile(noIcon, false, 16 << 20, noIconBytes))
        none.loadFromData(noIconBytes.data(), static_cast<int>(noIconBytes.size()), "BMP");
    if (!none.isNull() && !picture.isNull() && Comparable(picture) == Comparable(none))
        return WriteWholeFile(path, noIconBytes.data(), noIconBytes.size());
    // The frame the view shows now, as the picture in the dialogs.
    return Session().Volume(view).ExtractIcon(
        static_cast<uint8_t>(entry), static_cast<uint16_t>(shown.CurrentFrame(entry)), path);
}
