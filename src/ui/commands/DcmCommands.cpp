#include "ui/commands/DcmCommands.h"

#include "card/CardImage.h"
#include "card/CardImageOrder.h"
#include "card/CardSession.h"
#include "card/ScratchFile.h"
#include "card/SideFiles.h"
#include "link/LinkPort.h"
#include "ui/commands/CommandFiles.h"
#include "ui/main/CardMenus.h"
#include "ui/main/CommandContext.h"
#include "ui/main/LinkCommandRunner.h"
#include "ui/widgets/CardView.h"

#include <QAction>
#include <QLabel>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

DcmCommands::DcmCommands(CommandContext& ui, QObject* parent) : QObject(parent), ui_(ui) {}

CardSession& DcmCommands::Session() {
    return ui_.Session();
}

FileDialogSetup DcmCommands::OpenDialog(const QString& title) {
    FileDialogSetup setup;
    setup.title = title;
    setup.filter = "1M SAVER  File Format |*.DCM|Single SAVER file format|*.DCI|Binary File "
                   "Format|*.BIN|ALL File Format|*.*|" +
                   QString(kDumpFilter);
    setup.fileName = "*.DCM";
    return setup;
}

FileDialogSetup DcmCommands::SaveDialog(const QString& title) {
    FileDialogSetup setup;
    setup.title = title;
    // A raw card dump, as emulators keep them, only through its own entry
    // (or a ".vmu" name): "BIN file format" is card order, as DCM is.
    setup.filter =
        "DCM file format|*.DCM|BIN file format|*.BIN|ALL format|*.*|" + QString(kDumpFilter);
    setup.fileName = "*.DCM";
    setup.defaultExt = "*.DCM";
    setup.confirmOverwrite = true;
    return setup;
}

QString DcmCommands::UploadQuestion(CardPlace slot, const QString& path, int savers) {
    const QString name = slot == CardPlace::Slot1 ? "slot 1" : "slot 2";
    const QString count = savers == 1 ? "its saver" : "its " + QString::number(savers) + " savers";
    return "Upload " + path + " to the card in " + name +
           " ? The whole card is replaced: " + count + " will be lost.";
}

QString DcmCommands::NotSupportedText(const QString& path) {
    return "FILE : " + path + " IS NOT SUPPORTED !!!! ";
}

bool DcmCommands::CheckImageFile(const QString& path) {
    // A file that is not there ends the command without a word.
    if (!FileExists(path))
        return false;
    std::string reason;
    const ImageFileCheck check = ::CheckImageFile(LocalPath(path), &reason);
    if (check == ImageFileCheck::StatFailed) {
        ui_.Prompts().Warning(FileUnreadableText(path) + " " + QString::fromStdString(reason));
        return false;
    }
    if (check != ImageFileCheck::Fits) {
        ui_.Prompts().Info(NotSupportedText(path));
        return false;
    }
    if (!Readable(path)) {
        ui_.Prompts().Warning(FileUnreadableText(path));
        return false;
    }
    return true;
}

void DcmCommands::Open() {
    QString path;
    CardRequest request{.wait = true};
    request.ask = [&] {
        path = ui_.Prompts().OpenFile(OpenDialog("Open DCM File"));
        return !path.isEmpty() && CheckImageFile(path);
    };
    request.work = [&](CardJob&) { ShowImage(path); };
    ui_.Runner().Run(request);
}

bool DcmCommands::OpenFile(const QString& path) {
    CardRequest request{.wait = true};
    request.ask = [&] { return CheckImageFile(path); };
    request.work = [&](CardJob&) { ShowImage(path); };
    return ui_.Runner().Run(request) == RunOutcome::Done && Session().Loaded(CardPlace::Image);
}

void DcmCommands::ShowImage(const QString& path) {
    CardVolume& image = Session().Volume(CardPlace::Image);
    image.CloseImage();
    if (!image.OpenImage(LocalPath(path))) {
        image.CloseImage();
        Session().SetLoaded(CardPlace::Image, false);
        ui_.ViewOf(CardPlace::Image).Empty();
        ui_.ClearSelection();
        ui_.Menus().Item(CardPlace::Image, CommandId::CloseDcm)->setEnabled(false);
        ui_.Prompts().Warning(FileUnreadableText(path));
        ShowImageName();
        return;
    }
    ui_.Refresh(CardPlace::Image);
    ui_.Menus().Item(CardPlace::Image, CommandId::CloseDcm)->setEnabled(true);
    ShowImageName();
}

void DcmCommands::ShowImageName() {
    const CardVolume& image = Session().Volume(CardPlace::Image);
    QLabel* header = ui_.ViewOf(CardPlace::Image).Header();
    if (!image.ImageOpen()) {
        header->setToolTip(QString());
        header->setAccessibleDescription(QString());
        return;
    }
    const QString order = image.Store().ImageNatural() ? "raw dump" : "DCM";
    const QString text =
        QString::fromStdString(fs::path(image.ImageName()).filename().string()) + " (" +
        (image.Store().ImageOrderUnsure()    ? order + ", assumed from its name: read only"
         : image.Store().ImageOrderGuessed() ? order + ", assumed from its name"
                                             : order) +
        ")";
    header->setToolTip(text);
    header->setAccessibleDescription(text);
}

void DcmCommands::New() {
    QString path;
    CardRequest request{.wait = true};
    request.ask = [&] {
        path = ui_.Prompts().SaveFile(SaveDialog("New DCM File"));
        return !path.isEmpty();
    };
    request.work = [&](CardJob&) {
        if (CreateImage(path))
            ShowImage(path);
    };
    ui_.Runner().Run(request);
}

bool DcmCommands::CreateImage(const QString& path) {
    ScratchFile scratch(LocalPath(path));
    if (!scratch.Ready()) {
        ui_.Prompts().Warning(FileNotWrittenText(path, scratch.Error()));
        return false;
    }
    // The template's own problems are told by the engine, naming the file
    // chosen rather than the scratch file.
    ScratchNamingFeedback naming(ui_.Feedback(), scratch);
    if (!CreateImageFromTemplate(Session().StartDir(), scratch.Path(), &naming))
        return false;
    if (!scratch.Commit()) {
        ui_.Prompts().Warning(FileNotWrittenText(path, scratch.Error()));
        return false;
    }
    return true;
}

void DcmCommands::Close() {
    CardVolume& image = Session().Volume(CardPlace::Image);
    CardRequest request{.linkWork = false};
    request.ask = [&] { return Session().Loaded(CardPlace::Image) || image.ImageOpen(); };
    request.work = [&](CardJob&) {
        image.CloseImage();
        Session().SetLoaded(CardPlace::Image, false);
        ui_.ViewOf(CardPlace::Image).Empty();
        ui_.ViewOf(CardPlace::Image).SizePanel()->setText("");
        ui_.Menus().Item(CardPlace::Image, CommandId::CloseDcm)->setEnabled(false);
        ui_.ClearSelection();
        ShowImageName();
    };
    ui_.Runner().Run(request);
}

void DcmCommands::SaveAs(CardPlace view) {
    QString path;
    ImageOrder order = ImageOrder::Card;
    // The image file is copied as it stands, without link work.
    const bool slot = IsSlot(view);
    CardRequest request{.holdTick = slot, .linkWork = slot, .wait = slot};
    request.ask = [&] {
        if (!Session().Loaded(view))
            return false;
        FileDialogSetup setup = SaveDialog("Save as DCM file");
        QString chosen;
        setup.chosenFilter = &chosen;
        path = ui_.Prompts().SaveFile(setup);
        if (path.isEmpty())
            return false;
        order = OrderForWriting(LocalPath(path), chosen == kDumpDescription);
        // Writing over the open image would pull the file view's card from
        // under it, and saving the image onto itself would destroy it.
        if (IsOpenImage(Session(), path)) {
            ui_.Prompts().Info(FileInUseText(path));
            return false;
        }
        return !FileExists(path) || ui_.Prompts().Confirm(OverwriteFileQuestion(path));
    };
    request.work = [&](CardJob& job) {
        if (slot)
            SaveSlotAs(view, path, order, job);
        else
            SaveImageAs(path, order);
    };
    ui_.Runner().Run(request);
}

void DcmCommands::SaveImageAs(const QString& path, ImageOrder order) {
    const CardVolume& image = Session().Volume(CardPlace::Image);
    ScratchFile scratch(LocalPath(path));
    std::error_code ec;
    // Every block written to the image is flushed at once, so the file
    // holds the card as the view shows it; the view goes on with the image.
    std::string error;
    if (scratch.Ready() && !ConvertImageFile(image.ImageName(), scratch.Path(), order, error))
        ec = std::make_error_code(std::errc::io_error);
    if (!scratch.Ready() || ec || !scratch.Commit()) {
        const std::string reason =
            !scratch.Ready() || !scratch.Error().empty() ? scratch.Error() : error;
        ui_.Prompts().Warning(FileNotWrittenText(path, reason));
    }
}

void DcmCommands::SaveSlotAs(CardPlace slot, const QString& path, ImageOrder order, CardJob& job) {
    ui_.Refresh(slot);
    // The refresh has told why it could not read the card.
    if (!Session().Loaded(slot) || Session().Link().LinkFailed)
        return;
    ScratchFile scratch(LocalPath(path));
    if (!scratch.Ready()) {
        job.Warn(FileNotWrittenText(path, scratch.Error()));
        return;
    }
    const bool saved = SaveCardImage(scratch.Path(), Session().Volume(slot), order);
    ui_.Feedback().SetProgress(0, 255);
    if (!saved) {
        job.Warn(Session().Link().LinkFailed
                     ? "File " + path + " was not written: the card could not be read whole."
                     : FileNotWrittenText(path, std::string()));
        return;
    }
    if (!scratch.Commit())
        job.Warn(FileNotWrittenText(path, scratch.Error()));
}

void DcmCommands::Upload(CardPlace slot) {
    QString path;
    CardRequest request{.holdTick = true, .wait = true};
    request.ask = [&] {
        if (!IsSlot(slot) || !Session().Loaded(slot))
            return false;
        path = ui_.Prompts().OpenFile(OpenDialog("Upload DCM file"));
        if (path.isEmpty() || !CheckImageFile(path))
            return false;
        // The whole card is replaced: its savers go unless the user says so.
        const int savers = Session().Volume(slot).ListedCount();
        return savers == 0 || ui_.Prompts().Confirm(UploadQuestion(slot, path, savers));
    };
    request.work = [&](CardJob& job) {
        const bool written = UploadCardImage(LocalPath(path), Session().Volume(slot));
        ui_.Feedback().SetProgress(0, 255);
        // Slot 1's view is dropped after a failed upload; slot 2 is read again
        // either way. Either slot counts as loaded only when that reading went
        // through: a listing of the card as it was before would have copies
        // write its old table over the new card. A card that was not the
        // listed one got nothing: it is shown now.
        if (slot == CardPlace::Slot2 || written || Session().Volume(slot).Listing().Copy().changed)
            job.Refresh(slot);
        else
            Session().SetLoaded(CardPlace::Slot1, false);
    };
    ui_.Runner().Run(request);
}
