#include "ui/commands/DcmCommands.h"

#include "card/CardImage.h"
#include "card/CardImageOrder.h"
#include "card/ScratchFile.h"
#include "card/SideFiles.h"
#include "link/LinkPort.h"
#include "ui/commands/AutoRefreshHold.h"
#include "ui/commands/CommandFiles.h"
#include "ui/main/CardMenus.h"
#include "ui/main/MainWindow.h"
#include "ui/widgets/CardView.h"

#include <QAction>
#include <QLabel>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr int kFile = MainWindow::kFile;

} // namespace

DcmCommands::DcmCommands(MainWindow& window, QObject* parent) : QObject(parent), window_(window) {}

FileDialogSetup DcmCommands::OpenDialog(const QString& title) {
    FileDialogSetup setup;
    setup.title = title;
    setup.filter = "1M SAVER  File Format |*.DCM|Card dumps|*.bin;*.vmu|Single SAVER file "
                   "format|*.DCI|Binary File Format|*.BIN|ALL File Format|*.*";
    setup.fileName = "*.DCM";
    return setup;
}

FileDialogSetup DcmCommands::SaveDialog(const QString& title) {
    FileDialogSetup setup;
    setup.title = title;
    // A name ending in .bin or .vmu gets a raw card dump, as emulators keep them.
    setup.filter = "DCM file format|*.DCM|Card dumps|*.bin;*.vmu|ALL format|*.*";
    setup.fileName = "*.DCM";
    setup.defaultExt = "*.DCM";
    setup.confirmOverwrite = true;
    return setup;
}

QString DcmCommands::UploadQuestion(int index, const QString& path, int savers) {
    const QString slot = index == MainWindow::kSlot1 ? "slot 1" : "slot 2";
    const QString count = savers == 1 ? "its saver" : "its " + QString::number(savers) + " savers";
    return "Upload " + path + " to the card in " + slot +
           " ? The whole card is replaced: " + count + " will be lost.";
}

QString DcmCommands::NotSupportedText(const QString& path) {
    return "FILE : " + path + " IS NOT SUPPORTED !!!! ";
}

bool DcmCommands::CheckImageFile(const QString& path) {
    // A file that is not there ends the command without a word.
    if (!FileExists(path))
        return false;
    const std::string local = LocalPath(path);
    std::error_code ec;
    const bool regular = fs::is_regular_file(local, ec);
    const auto size = regular ? fs::file_size(local, ec) : 0;
    if (ec) {
        window_.Prompts().Warning(FileUnreadableText(path) + " " +
                                  QString::fromStdString(ec.message()));
        return false;
    }
    if (!regular || size != static_cast<uintmax_t>(kImageBytes)) {
        window_.Prompts().Info(NotSupportedText(path));
        return false;
    }
    if (!Readable(path)) {
        window_.Prompts().Warning(FileUnreadableText(path));
        return false;
    }
    return true;
}

void DcmCommands::Open() {
    if (window_.LinkBusy())
        return;
    const QString path = window_.Prompts().OpenFile(OpenDialog("Open DCM File"));
    if (!path.isEmpty())
        OpenFile(path);
}

bool DcmCommands::OpenFile(const QString& path) {
    if (window_.LinkBusy() || !CheckImageFile(path))
        return false;
    ShowImage(path);
    return window_.Loaded(kFile);
}

void DcmCommands::ShowImage(const QString& path) {
    MainWindow::LinkWork work(window_);
    CardVolume& image = window_.Volume(kFile);
    image.CloseImage();
    if (!image.OpenImage(LocalPath(path))) {
        image.CloseImage();
        window_.SetLoaded(kFile, false);
        window_.View(kFile).Empty();
        window_.ClearSelection();
        window_.Menus().file.closeDcm->setEnabled(false);
        window_.Prompts().Warning(FileUnreadableText(path));
        ShowImageTitle();
        return;
    }
    window_.RefreshFile();
    window_.Menus().file.closeDcm->setEnabled(true);
    ShowImageTitle();
}

void DcmCommands::ShowImageTitle() {
    const CardVolume& image = window_.Volume(kFile);
    if (!image.ImageOpen) {
        window_.setWindowTitle(MainWindow::kTitle);
        return;
    }
    const QString order = image.ImageNatural ? "raw dump" : "DCM";
    // The application's name follows the title.
    window_.setWindowTitle(
        QString::fromStdString(fs::path(image.ImageName).filename().string()) + " (" +
        (image.ImageOrderGuessed ? order + ", assumed from its name" : order) + ")");
}

void DcmCommands::New() {
    if (window_.LinkBusy())
        return;
    const QString path = window_.Prompts().SaveFile(SaveDialog("New DCM File"));
    if (path.isEmpty())
        return;
    ScratchFile scratch(LocalPath(path));
    if (!scratch.Ready()) {
        window_.Prompts().Warning(FileNotWrittenText(path, scratch.Error()));
        return;
    }
    // The template's own problems are told by the engine, naming the file
    // chosen rather than the scratch file.
    ScratchNamingUi ui(window_.Ui(), scratch);
    if (!CreateImageFromTemplate(window_.StartDir(), scratch.Path(), &ui))
        return;
    if (!scratch.Commit()) {
        window_.Prompts().Warning(FileNotWrittenText(path, scratch.Error()));
        return;
    }
    ShowImage(path);
}

void DcmCommands::Close() {
    CardVolume& image = window_.Volume(kFile);
    if (window_.LinkBusy() || (!window_.Loaded(kFile) && !image.ImageOpen))
        return;
    image.CloseImage();
    window_.SetLoaded(kFile, false);
    window_.View(kFile).Empty();
    window_.View(kFile).SizePanel()->setText("");
    window_.Menus().file.closeDcm->setEnabled(false);
    window_.ClearSelection();
    ShowImageTitle();
}

void DcmCommands::SaveAs(int index) {
    if (window_.LinkBusy() || index < 0 || index > 2 || !window_.Loaded(index))
        return;
    const QString path = window_.Prompts().SaveFile(SaveDialog("Save as DCM file"));
    if (path.isEmpty())
        return;
    // Writing over the open image would pull the file view's card from
    // under it, and saving the image onto itself would destroy it.
    if (IsOpenImage(window_, path)) {
        window_.Prompts().Info(FileInUseText(path));
        return;
    }
    if (FileExists(path) && !window_.Prompts().Confirm(OverwriteFileQuestion(path)))
        return;
    if (index == kFile)
        SaveImageAs(path);
    else
        SaveSlotAs(index, path);
}

void DcmCommands::SaveImageAs(const QString& path) {
    const CardVolume& image = window_.Volume(kFile);
    ScratchFile scratch(LocalPath(path));
    std::error_code ec;
    // Every block written to the image is flushed at once, so the file
    // holds the card as the view shows it; the view goes on with the image.
    // The new file's name chooses its order: a raw dump or a DCM.
    std::string error;
    if (scratch.Ready() &&
        !ConvertImageFile(image.ImageName, scratch.Path(),
                          NameSaysNatural(LocalPath(path)) ? ImageOrder::Natural : ImageOrder::Card,
                          error))
        ec = std::make_error_code(std::errc::io_error);
    if (!scratch.Ready() || ec || !scratch.Commit()) {
        const std::string reason =
            !scratch.Ready() || !scratch.Error().empty() ? scratch.Error() : error;
        window_.Prompts().Warning(FileNotWrittenText(path, reason));
    }
}

void DcmCommands::SaveSlotAs(int index, const QString& path) {
    MainWindow::LinkWork work(window_);
    AutoRefreshHold hold(window_, true);
    window_.Refresh(index);
    // The refresh has told why it could not read the card.
    if (!window_.Loaded(index) || window_.Link().LinkFailed)
        return;
    ScratchFile scratch(LocalPath(path));
    if (!scratch.Ready()) {
        window_.Prompts().Warning(FileNotWrittenText(path, scratch.Error()));
        return;
    }
    window_.ShowWaitWindow();
    const bool saved =
        SaveCardImage(scratch.Path(), window_.Volume(index),
                      NameSaysNatural(LocalPath(path)) ? ImageOrder::Natural : ImageOrder::Card);
    window_.HideWaitWindow();
    window_.Ui().SetProgress(0, 255);
    if (!saved) {
        window_.Prompts().Warning(window_.Link().LinkFailed
                                      ? "File " + path +
                                            " was not written: the card could not be read whole."
                                      : FileNotWrittenText(path, std::string()));
        return;
    }
    if (!scratch.Commit())
        window_.Prompts().Warning(FileNotWrittenText(path, scratch.Error()));
}

void DcmCommands::Upload(int index) {
    if (window_.LinkBusy() || (index != MainWindow::kSlot1 && index != MainWindow::kSlot2) ||
        !window_.Loaded(index))
        return;
    const QString path = window_.Prompts().OpenFile(OpenDialog("Upload DCM file"));
    if (path.isEmpty() || !CheckImageFile(path))
        return;
    // The whole card is replaced: its savers go unless the user says so.
    const int savers = window_.Volume(index).ListedCount;
    if (savers > 0 && !window_.Prompts().Confirm(UploadQuestion(index, path, savers)))
        return;
    MainWindow::LinkWork work(window_);
    AutoRefreshHold hold(window_, true);
    window_.ShowWaitWindow();
    const bool written = UploadCardImage(LocalPath(path), window_.Volume(index));
    window_.HideWaitWindow();
    window_.Ui().SetProgress(0, 255);
    // Slot 1's view is dropped after a failed upload; slot 2 is read again
    // either way. Either slot counts as loaded only when that reading went
    // through: a listing of the card as it was before would have copies
    // write its old table over the new card.
    if (index == MainWindow::kSlot1) {
        // A card that was not the listed one got nothing: it is shown now.
        if (written || window_.Volume(index).Listed.changed)
            window_.RefreshSlot1();
        else
            window_.SetLoaded(MainWindow::kSlot1, false);
    } else {
        window_.RefreshSlot2();
    }
}
