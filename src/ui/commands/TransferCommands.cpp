#include "ui/commands/TransferCommands.h"

#include "base/SafeFile.h"
#include "card/CardSession.h"
#include "card/CardWriteBack.h"
#include "card/ReplaceSaver.h"
#include "card/SaverBatch.h"
#include "card/SaverText.h"
#include "card/ScratchFile.h"
#include "card/SideFiles.h"
#include "card/TransferEngine.h"
#include "ui/commands/CommandFiles.h"
#include "ui/commands/DciCommands.h"
#include "ui/dialogs/CopyToDialog.h"
#include "ui/dialogs/DeleteDialog.h"
#include "ui/dialogs/SaverSelectedDialog.h"
#include "ui/main/CommandContext.h"
#include "ui/main/LinkCommandRunner.h"
#include "ui/widgets/CardListWidget.h"
#include "ui/widgets/CardView.h"

#include <QImage>
#include <QItemSelectionModel>
#include <QPixmap>
#include <filesystem>
#include <functional>
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

// The window's side of a transfer: a name clash is asked ("Yes" replaces the
// saver, "No" leaves this one), and a copy that did not take place is told,
// except for lack of room and a game's blocks taken, which go without a word
// as ever (the target simply does not show the saver), and link failures,
// which the block store has told.
class WindowTransfer : public TransferPolicy {
  public:
    WindowTransfer(CommandContext& ui, const CardVolume& from, const CardVolume& to)
        : ui_(ui), from_(from), to_(to) {}

    NameClash AnswerNameClash(const CardVolume& source, int entry, const CardVolume&,
                              int) override {
        return ui_.Prompts().Confirm("Saver " + Text(source.Entries()[entry].Name) +
                                     " Exisit overwrite it ?")
                   ? NameClash::Overwrite
                   : NameClash::Skip;
    }
    void BeforeSaver(int index, int) override {
        if (beforeSaver)
            beforeSaver(index);
    }
    void AfterSaver(const SaverStep& step) override {
        if (step.sourceLocked) {
            ui_.Prompts().Warning(
                "Saver " + Text(from_.Entries()[step.entry].Name) +
                " was not moved: the directory of its card is damaged, so it could not be "
                "deleted there. Nothing was copied; \"Check card...\" tells more.");
            return;
        }
        if (step.attempted) {
            ui_.Feedback().SetProgress(0, 1);
            const SaverOutcome outcome = step.copy.outcome;
            const bool silent = outcome == SaverOutcome::NoSpace ||
                                outcome == SaverOutcome::GameBlocksTaken || LinkFailedOn(from_) ||
                                LinkFailedOn(to_);
            if (!step.copy.Done() && !silent)
                ui_.Prompts().Info(Text(step.copy.reason));
        }
        // The rest of a drop onto a card that is not the one listed is left
        // selected.
        if (afterSaver && step.copy.outcome != SaverOutcome::CardChanged &&
            !from_.Listing().Copy().changed)
            afterSaver(step.index);
    }
    void ShowStatus(const std::string& text) override { ui_.SetStatus(Text(text)); }

    // For a drop: the saver shown before it goes, its item deselected after.
    std::function<void(int index)> beforeSaver;
    std::function<void(int index)> afterSaver;

  private:
    CommandContext& ui_;
    const CardVolume& from_;
    const CardVolume& to_;
};

} // namespace

TransferCommands::TransferCommands(CommandContext& ui, DciCommands& dci, QObject* parent)
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
    // The file view is never read by the auto-refresh tick. The choice
    // windows are open for the length of the request; what they choose runs
    // as a request of its own.
    CardRequest request{.holdTick = IsSlot(view), .linkWork = false};
    const QList<int> positions = ui_.ViewOf(view).List()->SelectedPositions();
    // Slot 1 acts on exactly one saver; the others on the first of several.
    const bool one = view == CardPlace::Slot1 ? positions.size() == 1 : !positions.isEmpty();
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
    CardRequest request{.wait = true};
    request.ask = [this] { return delete_->Ask() == DeleteDialog::kYes; };
    request.work = [this, view, entry](CardJob&) {
        DeleteSaver(Session().Volume(view), entry, [this, view] { ui_.Refresh(view); });
    };
    ui_.Runner().Run(request);
}

void TransferCommands::CopyFromDialog(CardPlace view, int entry) {
    CardPlace target = CardPlace::Image;
    CardRequest request{.wait = true};
    request.ask = [&] {
        return CopyTarget(view, copyTo_->Ask(), target) && Session().Loaded(target);
    };
    request.work = [&](CardJob& job) {
        // The image may have been changed by another program since it was read.
        if (target == CardPlace::Image)
            ui_.Refresh(CardPlace::Image);
        // Copy to copies whatever the drag mode says.
        if (Session().Loaded(target)) {
            CardVolume& from = Session().Volume(view);
            CardVolume& to = Session().Volume(target);
            WindowTransfer policy(ui_, from, to);
            const int entries[] = {entry};
            if (CopySavers(from, entries, to, TransferMode::Copy, policy).attempted > 0)
                job.Refresh(target);
            if (from.Listing().Copy().changed)
                job.Refresh(view);
        }
    };
    ui_.Runner().Run(request);
}

std::vector<int> TransferCommands::SelectedSavers(CardPlace view, QList<int>& positions) {
    std::vector<int> entries;
    QList<int> kept;
    for (const int position : ui_.ViewOf(view).List()->SelectedPositions()) {
        const int entry = ui_.ViewOf(view).DirectoryIndexAt(position);
        if (entry < 0)
            continue;
        entries.push_back(entry);
        kept << position;
    }
    positions = kept;
    return entries;
}

void TransferCommands::DeleteSelected(CardPlace view) {
    if (!Session().Loaded(view))
        return;
    if (ui_.ViewOf(view).List()->SelectedPositions().isEmpty())
        return;
    CardRequest request{.holdTick = IsSlot(view), .wait = true};
    request.ask = [this, view] { return ui_.Prompts().Confirm(DeleteQuestion(view)); };
    request.work = [this, view](CardJob& job) {
        QList<int> positions;
        const std::vector<int> entries = SelectedSavers(view, positions);
        // One change, so that one undo brings them all back.
        DeleteSavers(Session().Volume(view), entries);
        job.Refresh(view);
    };
    ui_.Runner().Run(request);
}

void TransferCommands::DropSavers(CardPlace source, CardPlace target) {
    CardSession& session = Session();
    if (source == target || !session.Loaded(source) || !session.Loaded(target))
        return;
    CardRequest request{.wait = true};
    request.work = [this, source, target, &session](CardJob& job) {
        if (target == CardPlace::Image) {
            ui_.Refresh(CardPlace::Image);
            if (!session.Loaded(CardPlace::Image))
                return;
        }
        const bool move = session.Config().DragMode == 1;
        // The savers selected as the drop begins, in list order.
        QList<int> positions;
        const std::vector<int> entries = SelectedSavers(source, positions);
        CardVolume& from = session.Volume(source);
        WindowTransfer policy(ui_, from, session.Volume(target));
        policy.beforeSaver = [this, source](int) {
            ui_.ShowSelectedSaver(source);
            ui_.RepaintNow();
        };
        policy.afterSaver = [this, source, &positions](int index) {
            Deselect(source, positions[index]);
        };
        const TransferSummary summary =
            CopySavers(from, entries, session.Volume(target),
                       move ? TransferMode::Move : TransferMode::Copy, policy);
        const bool changed = summary.cardChanged;
        if (move || changed)
            job.Refresh(source);
        job.Refresh(target);
    };
    ui_.Runner().Run(request);
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
