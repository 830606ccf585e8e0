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

QString TransferCommands::DeleteQuestion(View view) {
    return view == View::Slot1   ? "Are you sure to delete Slot 1 selected saver?"
           : view == View::Slot2 ? "Are you sure to delete Slot 2 selected saver?"
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

bool TransferCommands::CopyTarget(View view, int code, View& target) {
    if (code == CopyToDialog::kFirst) {
        target = view == View::Slot1 ? View::Slot2 : View::Slot1;
        return true;
    }
    if (code == CopyToDialog::kSecond) {
        target = view == View::File ? View::Slot2 : View::File;
        return true;
    }
    return false;
}

void TransferCommands::Activate(View view) {
    // The file view is never read by the auto-refresh tick. The choice
    // windows are open for the length of the request; what they choose runs
    // as a request of its own.
    CardRequest request{.holdTick = IsSlot(view), .linkWork = false};
    const QList<int> positions = ui_.ViewOf(view).List()->SelectedPositions();
    // Slot 1 acts on exactly one saver; the others on the first of several.
    const bool one = view == View::Slot1 ? positions.size() == 1 : !positions.isEmpty();
    request.work = [&](CardJob&) {
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
    };
    ui_.Runner().Run(request);
}

void TransferCommands::FillDialogs(View view, int entry) {
    CardSession& session = Session();
    const SaverEntry& e = session.Volume(view).Entries[entry];
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
    const bool slot1 = session.Loaded(View::Slot1);
    const bool slot2 = session.Loaded(View::Slot2);
    const bool file = session.Loaded(View::File);
    if (view == View::Slot1)
        copyTo_->SetTargets("SLOT 2", slot2, "FILE", file);
    else if (view == View::Slot2)
        copyTo_->SetTargets("SLOT 1", slot1, "FILE", file);
    else
        copyTo_->SetTargets("SLOT 1", slot1, "SLOT 2", slot2);
}

void TransferCommands::DeleteFromDialog(View view, int entry) {
    CardRequest request{.wait = true};
    request.ask = [this] { return delete_->Ask() == DeleteDialog::kYes; };
    request.work = [this, view, entry](CardJob&) {
        DeleteSaver(Session().Volume(view), entry, [this, view] { ui_.Refresh(view); });
    };
    ui_.Runner().Run(request);
}

void TransferCommands::CopyFromDialog(View view, int entry) {
    View target = View::File;
    CardRequest request{.wait = true};
    request.ask = [&] {
        return CopyTarget(view, copyTo_->Ask(), target) && Session().Loaded(target);
    };
    request.work = [&](CardJob& job) {
        // The image may have been changed by another program since it was read.
        if (target == View::File)
            ui_.Refresh(View::File);
        // Copy to copies whatever the drag mode says.
        if (Session().Loaded(target)) {
            const CopyOutcome outcome = CopyWithNameCheck(view, entry, target);
            if (outcome.attempted)
                job.Refresh(target);
            if (Session().Volume(view).Listed.changed)
                job.Refresh(view);
        }
    };
    ui_.Runner().Run(request);
}

TransferCommands::CopyOutcome TransferCommands::CopyWithNameCheck(View source, int entry,
                                                                  View target) {
    CopyOutcome outcome;
    CardVolume& from = Session().Volume(source);
    CardVolume& to = Session().Volume(target);
    const std::string name = from.Entries[entry].Name;
    int old = -1;
    const bool replaces = FindSaverByName(to, name, old);
    if (replaces && !ui_.Prompts().Confirm("Saver " + Text(name) + " Exisit overwrite it ?"))
        return outcome;
    outcome.attempted = true;
    // The old saver goes in the same write-back that adds the copy, so a
    // copy that is refused or fails keeps it.
    const SaverResult result = ReplaceSaverByCopy(
        from, entry, to, old, [this](const std::string& text) { ui_.SetStatus(Text(text)); });
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

void TransferCommands::DeleteSelected(View view) {
    if (!Session().Loaded(view))
        return;
    CardListWidget* list = ui_.ViewOf(view).List();
    if (list->SelectedPositions().isEmpty())
        return;
    CardRequest request{.holdTick = IsSlot(view), .wait = true};
    request.ask = [this, view] { return ui_.Prompts().Confirm(DeleteQuestion(view)); };
    request.work = [this, view, list](CardJob&) {
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
            if (entry >= 0)
                DeleteSaver(volume, entry);
            // Another card: none of the selected savers is on it.
            if (volume.Listed.changed)
                break;
            Deselect(view, positions.first());
        }
        ui_.Refresh(view);
    };
    ui_.Runner().Run(request);
}

void TransferCommands::DropSavers(View source, View target) {
    CardSession& session = Session();
    if (source == target || !session.Loaded(source) || !session.Loaded(target))
        return;
    CardRequest request{.wait = true};
    request.work = [this, source, target, &session](CardJob& job) {
        if (target == View::File) {
            ui_.Refresh(View::File);
            if (!session.Loaded(View::File))
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
                    "Saver " + Text(session.Volume(source).Entries[entry].Name) +
                    " was not moved: the directory of its card is damaged, so it could not be "
                    "deleted there. Nothing was copied; \"Check card...\" tells more.");
                break;
            }
            if (entry >= 0) {
                ui_.ShowSelectedSaver(source);
                ui_.RepaintNow();
                // A move gives up the source only when the copy took place.
                const CopyOutcome outcome = CopyWithNameCheck(source, entry, target);
                if (outcome.done && move)
                    DeleteSaver(session.Volume(source), entry);
                changed = outcome.changed || session.Volume(source).Listed.changed;
            }
            if (changed)
                break;
            Deselect(source, positions.first());
        }
        if (move || changed)
            job.Refresh(source);
        job.Refresh(target);
    };
    ui_.Runner().Run(request);
}

void TransferCommands::Deselect(View view, int position) {
    CardListWidget* list = ui_.ViewOf(view).List();
    list->selectionModel()->select(list->model()->index(position, 0),
                                   QItemSelectionModel::Deselect);
}

void TransferCommands::SavePicture(View view) {
    const QList<int> positions = ui_.ViewOf(view).List()->SelectedPositions();
    if (positions.isEmpty())
        return;
    const int entry = ui_.ViewOf(view).DirectoryIndexAt(positions.first());
    if (entry < 0)
        return;
    QString path;
    CardRequest request;
    request.ask = [&] {
        path = ui_.Prompts().SaveFile(PictureDialog(pictureName_));
        if (path.isEmpty())
            return false;
        pictureName_ = path;
        if (IsOpenImage(Session(), path)) {
            ui_.Prompts().Info(FileInUseText(path));
            return false;
        }
        return true;
    };
    request.work = [&](CardJob& job) {
        ScratchFile scratch(LocalPath(path));
        if (!scratch.Ready() || !WritePicture(view, entry, scratch.Path()) || !scratch.Commit())
            job.Warn(FileNotWrittenText(path, scratch.Error()));
    };
    ui_.Runner().Run(request);
}

bool TransferCommands::WritePicture(View view, int entry, const std::string& path) {
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
