#include "ui/commands/DciCommands.h"

#include "card/CardSession.h"
#include "card/CardWriteBack.h"
#include "card/DciFile.h"
#include "card/ReplaceSaver.h"
#include "card/SaverFiles.h"
#include "card/SaverText.h"
#include "card/ScratchFile.h"
#include "card/TransferEngine.h"
#include "card/VmsVmi.h"
#include "link/LinkPort.h"
#include "ui/commands/CommandFiles.h"
#include "ui/main/CommandUi.h"
#include "ui/main/LinkCommandRunner.h"

#include <ctime>

DciCommands::DciCommands(CommandUi& ui, QObject* parent) : QObject(parent), ui_(ui) {}

CardSession& DciCommands::Session() {
    return ui_.Session();
}

FileDialogSetup DciCommands::ExportDialog() {
    FileDialogSetup setup;
    setup.title = "Export";
    setup.filter = "DCI file format|*.DCI|binary file format|*.BIN|ALL format|*.*|VMS + VMI "
                   "pair|*.VMS";
    setup.fileName = ".DCI";
    setup.defaultExt = "*.DCI";
    // The command asks itself.
    setup.confirmOverwrite = false;
    return setup;
}

FileDialogSetup DciCommands::ImportDialog() {
    FileDialogSetup setup;
    setup.title = "Import DCI file";
    setup.filter = "DCI file format|*.DCI|binary file format|*.BIN|ALL format |*.*|VMS + VMI "
                   "pair|*.VMS;*.VMI";
    setup.fileName = "*.DCI";
    return setup;
}

QString DciCommands::NotLoadedText(CardPlace view) {
    return view == CardPlace::Image   ? "Please load a DCM file First."
           : view == CardPlace::Slot1 ? "CARD REFRESH FIRST."
                                      : "Card refresh first.";
}

void DciCommands::Export(CardPlace view, int entry) {
    if (Session().LinkBusy())
        return;
    const QString path = ui_.Prompts().SaveFile(ExportDialog());
    if (path.isEmpty())
        return;
    if (IsOpenImage(Session(), path)) {
        ui_.Prompts().Info(FileInUseText(path));
        return;
    }
    if (IsVmsPath(LocalPath(path)) || IsVmiPath(LocalPath(path))) {
        ExportPair(view, entry, path);
        return;
    }
    if (FileExists(path) && !ui_.Prompts().Confirm(OverwriteFileQuestion(path)))
        return;
    ui_.Runner().RunLinkCommand({}, [this, view, entry, &path] {
        ScratchFile scratch(LocalPath(path));
        if (!scratch.Ready()) {
            ui_.Prompts().Warning(FileNotWrittenText(path, scratch.Error()));
            return;
        }
        CardVolume& volume = Session().Volume(view);
        if (!ExportDci(scratch.Path(), entry, volume)) {
            // A half-written saver is no saver: the file stays as it was.
            ui_.Prompts().Warning(LinkFailedOn(volume)
                                      ? "File " + path +
                                            " was not written: the saver could not be read whole."
                                      : FileNotWrittenText(path, std::string()));
            return;
        }
        if (!scratch.Commit())
            ui_.Prompts().Warning(FileNotWrittenText(path, scratch.Error()));
    });
}

void DciCommands::ExportPair(CardPlace view, int entry, const QString& path) {
    // Either name of the pair chooses both files.
    QString vms = path;
    if (IsVmiPath(LocalPath(path)))
        vms = path.left(path.size() - 4) + (path.endsWith(".vmi") ? ".vms" : ".VMS");
    const QString vmi = QString::fromStdString(VmiPathFor(LocalPath(vms)));
    std::string resource;
    std::string error;
    if (!ResourceNameOf(LocalPath(vms), resource, error)) {
        ui_.Prompts().Info(FileNotWrittenText(vms, error));
        return;
    }
    for (const QString& file : {vms, vmi}) {
        if (IsOpenImage(Session(), file)) {
            ui_.Prompts().Info(FileInUseText(file));
            return;
        }
        if (FileExists(file) && !ui_.Prompts().Confirm(OverwriteFileQuestion(file)))
            return;
    }
    ui_.Runner().RunLinkCommand({}, [&] {
        ScratchFile vmsScratch(LocalPath(vms));
        ScratchFile vmiScratch(LocalPath(vmi));
        if (!vmsScratch.Ready() || !vmiScratch.Ready()) {
            ui_.Prompts().Warning(
                FileNotWrittenText(vmsScratch.Ready() ? vmi : vms,
                                   vmsScratch.Ready() ? vmiScratch.Error() : vmsScratch.Error()));
            return;
        }
        CardVolume& volume = Session().Volume(view);
        // Neither file takes its name unless both were written whole.
        if (!ExportVmsVmi(vmsScratch.Path(), vmiScratch.Path(), resource, entry, volume, error)) {
            ui_.Prompts().Warning(LinkFailedOn(volume)
                                      ? "File " + vms +
                                            " was not written: the saver could not be read whole."
                                      : FileNotWrittenText(vms, error));
            return;
        }
        if (!vmsScratch.Commit())
            ui_.Prompts().Warning(FileNotWrittenText(vms, vmsScratch.Error()));
        else if (!vmiScratch.Commit())
            ui_.Prompts().Warning(FileNotWrittenText(vmi, vmiScratch.Error()));
    });
}

QString DciCommands::LoneVmsQuestion(const QString& path) {
    return "No VMI file beside " + path +
           ". Import it as a game (Yes) or as a data saver (No) ? It is named after the file "
           "and dated today.";
}

bool DciCommands::PrepareFile(const QString& path, PreparedSaverFile& prepared) {
    VmsBuild build;
    build.now = std::time(nullptr);
    if (IsLoneVms(LocalPath(path))) {
        const Prompter::Answer answer = ui_.Prompts().YesNoCancel(LoneVmsQuestion(path));
        if (answer == Prompter::Answer::Cancel)
            return false;
        build.loneAsGame = answer == Prompter::Answer::Yes;
    }
    std::string error;
    if (!prepared.Prepare(LocalPath(path), build, error)) {
        ui_.Prompts().Info(QString::fromStdString(error));
        return false;
    }
    return true;
}

void DciCommands::Import(CardPlace view) {
    if (Session().LinkBusy())
        return;
    if (!Session().Loaded(view)) {
        ui_.Prompts().Info(NotLoadedText(view));
        return;
    }
    const QString path = ui_.Prompts().OpenFile(ImportDialog());
    if (!path.isEmpty())
        ImportFile(view, path);
}

void DciCommands::ImportFile(CardPlace view, const QString& path) {
    if (Session().LinkBusy())
        return;
    if (!Session().Loaded(view)) {
        ui_.Prompts().Info(NotLoadedText(view));
        return;
    }
    if (!FileExists(path)) {
        ui_.Prompts().Info("File " + path + " not found.");
        return;
    }
    // Reading a FIFO or a device would wait for ever.
    if (!RegularFile(path)) {
        ui_.Prompts().Info(NotRegularText(path));
        return;
    }
    // A VMS + VMI pair is placed as the single-saver file it makes, so that
    // every question and refusal of an import applies to it; what the VMI
    // held that was gone past is told on the status line.
    if (IsVmsPath(LocalPath(path)) || IsVmiPath(LocalPath(path))) {
        PreparedSaverFile prepared;
        if (!PrepareFile(path, prepared))
            return;
        ImportFile(view, QString::fromStdString(prepared.DciPath()));
        if (!prepared.Advice().empty())
            ui_.SetStatus(QString::fromStdString(prepared.Advice()));
        return;
    }
    LinkCommand command;
    command.holdAutoRefresh = IsSlot(view);
    command.wait = true;
    ui_.Runner().RunLinkCommand(command, [this, view, &path] {
        const std::string name = ReadDciName(LocalPath(path));
        if (IsSlot(view)) {
            // The card may have changed since it was read.
            ui_.Refresh(view);
            if (Session().Link().LinkFailed || !Session().Loaded(view))
                return;
        }
        int found = -1;
        const QString shown = QString::fromStdString(SaverText(name));
        if (!name.empty() && FindSaverByName(Session().Volume(view), name, found)) {
            if (ui_.Prompts().Confirm("Saver " + shown + " Exisit overwrite it ?"))
                ReplaceByImport(view, path, found);
            else if (ui_.Prompts().Confirm("Saver " + shown + " Exisit Append it ?"))
                ImportBeside(view, path);
        } else {
            ImportBeside(view, path);
        }
    });
}

void DciCommands::ReplaceByImport(CardPlace view, const QString& path, int oldEntry) {
    CardVolume& volume = Session().Volume(view);
    // The old saver goes only in the write-back that adds the new one, so an
    // import that is refused or fails keeps it.
    SaverResult result;
    ui_.Runner().JoinWaiting(
        [&] { result = ReplaceSaverByImport(LocalPath(path), volume, oldEntry); });
    ui_.EngineUi().SetProgress(0, 1);
    switch (result.outcome) {
    case SaverOutcome::Done:
    case SaverOutcome::GameBlocksTaken:
        ui_.Refresh(view);
        return;
    case SaverOutcome::NoSpace:
    case SaverOutcome::DirectoryFull:
        ui_.Prompts().Info(kNotEnoughSpaceText);
        return;
    default:
        if (!LinkFailedOn(volume))
            ui_.Prompts().Info(QString::fromStdString(result.reason));
        if (!result.Refused() || volume.Listing().Copy().changed)
            ui_.Refresh(view);
        return;
    }
}

void DciCommands::ImportBeside(CardPlace view, const QString& path) {
    if (ImportDci(LocalPath(path), Session().Volume(view)) ||
        Session().Volume(view).Listing().Copy().changed)
        ui_.Refresh(view);
    ui_.EngineUi().SetProgress(0, 1);
}
