#include "ui/commands/TransferCommands.h"

#include "card/CardWriteBack.h"
#include "card/ChangeRecorder.h"
#include "card/ReplaceSaver.h"
#include "card/SaverText.h"
#include "card/ScratchFile.h"
#include "card/SideFiles.h"
#include "card/TransferEngine.h"
#include "ui/commands/AutoRefreshHold.h"
#include "ui/commands/CommandFiles.h"
#include "ui/commands/DciCommands.h"
#include "ui/dialogs/CopyToDialog.h"
#include "ui/dialogs/DeleteDialog.h"
#include "ui/dialogs/SaverSelectedDialog.h"
#include "ui/main/MainWindow.h"
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

constexpr int kSlot1 = MainWindow::kSlot1;
constexpr int kSlot2 = MainWindow::kSlot2;
constexpr int kFile = MainWindow::kFile;

// Saver names and texts are bytes, shown as everywhere else.
QString Text(const std::string& bytes) {
    return QString::fromStdString(SaverText(bytes));
}

QImage Comparable(const QImage& image) {
    return image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

TransferCommands::TransferCommands(MainWindow& window, DciCommands& dci, QObject* parent)
    : QObject(parent), window_(window), dci_(dci) {
    saverSelected_ = new SaverSelectedDialog(&window);
    delete_ = new DeleteDialog(&window);
    copyTo_ = new CopyToDialog(&window);
}

QString TransferCommands::DeleteQuestion(int index) {
    return index == kSlot1   ? "Are you sure to delete Slot 1 selected saver?"
           : index == kSlot2 ? "Are you sure to delete Slot 2 selected saver?"
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

int TransferCommands::CopyTarget(int index, int code) {
    if (code == CopyToDialog::kFirst)
        return index == kSlot1 ? kSlot2 : kSlot1;
    if (code == CopyToDialog::kSecond)
        return index == kFile ? kSlot2 : kFile;
    return -1;
}

void TransferCommands::Activate(int index) {
    if (window_.LinkBusy() || index < 0 || index > 2)
        return;
    const QList<int> positions = window_.View(index).List()->SelectedPositions();
    // Slot 1 acts on exactly one saver; the others on the first of several.
    const bool one = index == kSlot1 ? positions.size() == 1 : !positions.isEmpty();
    // The file view is never read by the auto-refresh tick.
    AutoRefreshHold hold(window_, index != kFile);
    if (!one)
        return;
    const int entry = window_.View(index).DirectoryIndexAt(positions.first());
    if (entry < 0)
        return;
    FillDialogs(index, entry);
    switch (saverSelected_->Ask()) {
    case SaverSelectedDialog::kDelete:
        DeleteFromDialog(index, entry);
        break;
    case SaverSelectedDialog::kCopyTo:
        CopyFromDialog(index, entry);
        break;
    case SaverSelectedDialog::kExport:
        dci_.Export(index, entry);
        break;
    case SaverSelectedDialog::kSaveBmp:
        SavePicture(index);
        break;
    default:
        break;
    }
}

void TransferCommands::FillDialogs(int index, int entry) {
    const SaverEntry& e = window_.Volume(index).Entries[entry];
    const QPixmap picture = window_.View(index).CurrentPicture(entry);
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
        window_.CentreOver(d);
    }
    if (index == kSlot1)
        copyTo_->SetTargets("SLOT 2", window_.Loaded(kSlot2), "FILE", window_.Loaded(kFile));
    else if (index == kSlot2)
        copyTo_->SetTargets("SLOT 1", window_.Loaded(kSlot1), "FILE", window_.Loaded(kFile));
    else
        copyTo_->SetTargets("SLOT 1", window_.Loaded(kSlot1), "SLOT 2", window_.Loaded(kSlot2));
}

void TransferCommands::DeleteFromDialog(int index, int entry) {
    if (delete_->Ask() != DeleteDialog::kYes)
        return;
    MainWindow::LinkWork work(window_);
    window_.ShowWaitWindow();
    DeleteSaver(window_.Volume(index), entry, [this, index] { window_.Refresh(index); });
    window_.HideWaitWindow();
}

void TransferCommands::CopyFromDialog(int index, int entry) {
    const int target = CopyTarget(index, copyTo_->Ask());
    if (target < 0 || !window_.Loaded(target))
        return;
    MainWindow::LinkWork work(window_);
    window_.ShowWaitWindow();
    // The image may have been changed by another program since it was read.
    if (target == kFile)
        window_.RefreshFile();
    // Copy to copies whatever the drag mode says.
    if (window_.Loaded(target)) {
        const CopyOutcome outcome = CopyWithNameCheck(index, entry, target);
        if (outcome.attempted)
            window_.Refresh(target);
        if (window_.Volume(index).Listed.changed)
            window_.Refresh(index);
    }
    window_.HideWaitWindow();
}

TransferCommands::CopyOutcome TransferCommands::CopyWithNameCheck(int source, int entry,
                                                                  int target) {
    CopyOutcome outcome;
    CardVolume& from = window_.Volume(source);
    CardVolume& to = window_.Volume(target);
    const std::string name = from.Entries[entry].Name;
    int old = -1;
    if (FindSaverByName(to, name, old)) {
        if (!window_.Prompts().Confirm("Saver " + Text(name) + " Exisit overwrite it ?"))
            return outcome;
        window_.ShowWaitWindow();
    }
    outcome.attempted = true;
    // The old saver goes in the same write-back that adds the copy, so a
    // copy that is refused or fails keeps it.
    const SaverResult result = ReplaceSaverByCopy(
        from, entry, to, old, [this](const std::string& text) { window_.SetStatus(Text(text)); });
    window_.Ui().SetProgress(0, 1);
    outcome.done = result.Done();
    outcome.changed = result.outcome == SaverOutcome::CardChanged;
    // No room and a game's blocks taken are refused without a word, as
    // ever: the target simply does not show the saver. Link failures have
    // been told by the block store.
    const bool silent = result.outcome == SaverOutcome::NoSpace ||
                        result.outcome == SaverOutcome::GameBlocksTaken || LinkFailedOn(from) ||
                        LinkFailedOn(to);
    if (!outcome.done && !silent)
        window_.Prompts().Info(Text(result.reason));
    return outcome;
}

void TransferCommands::DeleteSelected(int index) {
    if (window_.LinkBusy() || index < 0 || index > 2 || !window_.Loaded(index))
        return;
    CardListWidget* list = window_.View(index).List();
    if (list->SelectedPositions().isEmpty())
        return;
    AutoRefreshHold hold(window_, index != kFile);
    if (!window_.Prompts().Confirm(DeleteQuestion(index)))
        return;
    MainWindow::LinkWork work(window_);
    const qsizetype count = list->SelectedPositions().size();
    // One change for the history, so that one undo brings them all back.
    std::optional<ChangeScope> change;
    if (count > 1)
        change.emplace(window_.Volume(index), "delete " + std::to_string(count) + " savers");
    for (qsizetype k = 0; k < count; ++k) {
        const QList<int> positions = list->SelectedPositions();
        if (positions.isEmpty())
            break;
        const int entry = window_.View(index).DirectoryIndexAt(positions.first());
        window_.ShowWaitWindow();
        if (entry >= 0)
            DeleteSaver(window_.Volume(index), entry);
        window_.HideWaitWindow();
        // Another card: none of the selected savers is on it.
        if (window_.Volume(index).Listed.changed)
            break;
        Deselect(index, positions.first());
    }
    window_.Refresh(index);
}

void TransferCommands::DropSavers(int source, int target) {
    if (window_.LinkBusy() || source < 0 || source > 2 || target < 0 || target > 2 ||
        source == target || !window_.Loaded(source) || !window_.Loaded(target))
        return;
    MainWindow::LinkWork work(window_);
    if (target == kFile) {
        window_.RefreshFile();
        if (!window_.Loaded(kFile))
            return;
    }
    const bool move = window_.Config().DragMode == 1;
    bool changed = false;
    CardListWidget* list = window_.View(source).List();
    const qsizetype count = list->SelectedPositions().size();
    for (qsizetype k = 0; k < count; ++k) {
        const QList<int> positions = list->SelectedPositions();
        if (positions.isEmpty())
            break;
        const int entry = window_.View(source).DirectoryIndexAt(positions.first());
        // A move that could copy but not delete would leave the saver on
        // both cards: refused before anything is copied.
        if (entry >= 0 && move && !SaverDeletable(window_.Volume(source), entry)) {
            window_.Prompts().Warning(
                "Saver " + Text(window_.Volume(source).Entries[entry].Name) +
                " was not moved: the directory of its card is damaged, so it could not be "
                "deleted there. Nothing was copied; \"Check card...\" tells more.");
            break;
        }
        if (entry >= 0) {
            window_.ShowSelectedSaver(source);
            window_.ShowWaitWindow();
            window_.RepaintNow();
            // A move gives up the source only when the copy took place.
            const CopyOutcome outcome = CopyWithNameCheck(source, entry, target);
            if (outcome.done && move)
                DeleteSaver(window_.Volume(source), entry);
            changed = outcome.changed || window_.Volume(source).Listed.changed;
        }
        if (changed)
            break;
        Deselect(source, positions.first());
    }
    if (move || changed)
        window_.Refresh(source);
    window_.Refresh(target);
    window_.HideWaitWindow();
}

void TransferCommands::Deselect(int index, int position) {
    CardListWidget* list = window_.View(index).List();
    list->selectionModel()->select(list->model()->index(position, 0),
                                   QItemSelectionModel::Deselect);
}

void TransferCommands::SavePicture(int index) {
    const QList<int> positions = window_.View(index).List()->SelectedPositions();
    if (positions.isEmpty())
        return;
    const int entry = window_.View(index).DirectoryIndexAt(positions.first());
    if (entry < 0)
        return;
    const QString path = window_.Prompts().SaveFile(PictureDialog(pictureName_));
    if (path.isEmpty())
        return;
    pictureName_ = path;
    if (IsOpenImage(window_, path)) {
        window_.Prompts().Info(FileInUseText(path));
        return;
    }
    MainWindow::LinkWork work(window_);
    ScratchFile scratch(LocalPath(path));
    if (!scratch.Ready() || !WritePicture(index, entry, scratch.Path()) || !scratch.Commit())
        window_.Prompts().Warning(FileNotWrittenText(path, scratch.Error()));
}

bool TransferCommands::WritePicture(int index, int entry, const std::string& path) {
    // A saver without icons shows the picture for savers without icons;
    // its header holds no frame to extract.
    const std::string noIcon = SideFilePath(window_.StartDir(), kNoIconFileName);
    const QImage shown = window_.View(index).CurrentPicture(entry).toImage();
    const QImage none(QString::fromStdString(noIcon));
    if (!none.isNull() && !shown.isNull() && Comparable(shown) == Comparable(none)) {
        std::error_code ec;
        std::filesystem::copy_file(noIcon, path, std::filesystem::copy_options::overwrite_existing,
                                   ec);
        return !ec;
    }
    // The frame the view shows now, as the picture in the dialogs.
    CardVolume& volume = window_.Volume(index);
    const SaverEntry& e = volume.Entries[entry];
    const uint16_t frame = e.CurrentFrame < e.ShownFrames() ? e.CurrentFrame : 0;
    return volume.ExtractIcon(static_cast<uint8_t>(entry), frame, path);
}
