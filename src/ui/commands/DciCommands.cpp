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
#include "ui/main/CommandContext.h"
#include "ui/main/LinkCommandRunner.h"

#include <ctime>

DciCommands::DciCommands(CommandContext& ui, QObject* parent) : QObject(parent), ui_(ui) {}

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
    QString path;
    ExportPairNames pair;
    CardRequest request;
    request.ask = [&] {
        path = ui_.Prompts().SaveFile(ExportDialog());
        if (path.isEmpty())
            return false;
        if (IsOpenImage(Session(), path)) {
            ui_.Prompts().Info(FileInUseText(path));
            return false;
        }
        if (IsVmsPath(LocalPath(path)) || IsVmiPath(LocalPath(path)))
            return AskPair(path, pair);
        return !FileExists(path) || ui_.Prompts().Confirm(OverwriteFileQuestion(path));
    };
    request.work = [&](CardJob& job) {
        if (pair.vms.isEmpty())
            WriteDci(view, entry, path, job);
        else
            WritePair(view, entry, pair, job);
    };
    ui_.Runner().Run(request);
}

void DciCommands::WriteDci(CardPlace view, int entry, const QString& path, CardJob& job) {
    ScratchFile scratch(LocalPath(path));
    if (!scratch.Ready()) {
        job.Warn(FileNotWrittenText(path, scratch.Error()));
        return;
    }
    CardVolume& volume = Session().Volume(view);
    if (!ExportDci(scratch.Path(), entry, volume)) {
        // A half-written saver is no saver: the file stays as it was.
        job.Warn(LinkFailedOn(volume)
                     ? "File " + path + " was not written: the saver could not be read whole."
                     : FileNotWrittenText(path, std::string()));
        return;
    }
    if (!scratch.Commit())
        job.Warn(FileNotWrittenText(path, scratch.Error()));
}

bool DciCommands::AskPair(const QString& path, ExportPairNames& pair) {
    // Either name of the pair chooses both files.
    pair.vms = path;
    if (IsVmiPath(LocalPath(path)))
        pair.vms = path.left(path.size() - 4) + (path.endsWith(".vmi") ? ".vms" : ".VMS");
    pair.vmi = QString::fromStdString(VmiPathFor(LocalPath(pair.vms)));
    std::string error;
    if (!ResourceNameOf(LocalPath(pair.vms), pair.resource, error)) {
        ui_.Prompts().Info(FileNotWrittenText(pair.vms, error));
        return false;
    }
    for (const QString& file : {pair.vms, pair.vmi}) {
        if (IsOpenImage(Session(), file)) {
            ui_.Prompts().Info(FileInUseText(file));
            return false;
        }
        if (FileExists(file) && !ui_.Prompts().Confirm(OverwriteFileQuestion(file)))
            return false;
    }
    return true;
}

void DciCommands::WritePair(CardPlace view, int entry, const ExportPairNames& pair, CardJob& job) {
    const QString& vms = pair.vms;
    const QString& vmi = pair.vmi;
    ScratchFile vmsScratch(LocalPath(vms));
    ScratchFile vmiScratch(LocalPath(vmi));
    if (!vmsScratch.Ready() || !vmiScratch.Ready()) {
        job.Warn(FileNotWrittenText(vmsScratch.Ready() ? vmi : vms,
                                    vmsScratch.Ready() ? vmiScratch.Error() : vmsScratch.Error()));
        return;
    }
    CardVolume& volume = Session().Volume(view);
    std::string error;
    // Neither file takes its name unless both were written whole.
    if (!ExportVmsVmi(vmsScratch.Path(), vmiScratch.Path(), pair.resource, entry, volume, error)) {
        job.Warn(LinkFailedOn(volume)
                     ? "File " + vms + " was not written: the saver could not be read whole."
                     : FileNotWrittenText(vms, error));
        return;
    }
    if (!vmsScratch.Commit())
        job.Warn(FileNotWrittenText(vms, vmsScratch.Error()));
    else if (!vmiScratch.Commit())
        job.Warn(FileNotWrittenText(vmi, vmiScratch.Error()));
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
    ImportChosen(view, [&](QString& path) {
        path = ui_.Prompts().OpenFile(ImportDialog());
        return !path.isEmpty();
    });
}

void DciCommands::ImportFile(CardPlace view, const QString& path) {
    ImportChosen(view, [&](QString& chosen) {
        chosen = path;
        return true;
    });
}

bool DciCommands::ReadyToImport(const QString& path, PreparedSaverFile& prepared, QString& dci) {
    if (!FileExists(path)) {
        ui_.Prompts().Info("File " + path + " not found.");
        return false;
    }
    // Reading a FIFO or a device would wait for ever.
    if (!RegularFile(path)) {
        ui_.Prompts().Info(NotRegularText(path));
        return false;
    }
    dci = path;
    // A VMS + VMI pair is placed as the single-saver file it makes, so that
    // every question and refusal of an import applies to it.
    if (IsVmsPath(LocalPath(path)) || IsVmiPath(LocalPath(path))) {
        if (!PrepareFile(path, prepared))
            return false;
        dci = QString::fromStdString(prepared.DciPath());
    }
    return true;
}

void DciCommands::ImportChosen(CardPlace view, const std::function<bool(QString&)>& choose) {
    QString path;
    QString dci;
    PreparedSaverFile prepared;
    CardRequest request{.holdTick = IsSlot(view), .wait = true};
    request.ask = [&] {
        if (!Session().Loaded(view)) {
            ui_.Prompts().Info(NotLoadedText(view));
            return false;
        }
        return choose(path) && ReadyToImport(path, prepared, dci);
    };
    request.work = [&](CardJob& job) {
        const std::string name = ReadDciName(LocalPath(dci));
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
                ReplaceByImport(view, dci, found, job);
            else if (ui_.Prompts().Confirm("Saver " + shown + " Exisit Append it ?"))
                ImportBeside(view, dci, job);
        } else {
            ImportBeside(view, dci, job);
        }
    };
    const RunOutcome outcome = ui_.Runner().Run(request);
    // What the VMI held that was gone past is told on the status line.
    if (outcome == RunOutcome::Done && !prepared.Advice().empty())
        ui_.SetStatus(QString::fromStdString(prepared.Advice()));
}

void DciCommands::ReplaceByImport(CardPlace view, const QString& path, int oldEntry, CardJob& job) {
    CardVolume& volume = Session().Volume(view);
    // The old saver goes only in the write-back that adds the new one, so an
    // import that is refused or fails keeps it.
    const SaverResult result = ReplaceSaverByImport(LocalPath(path), volume, oldEntry);
    ui_.Feedback().SetProgress(0, 1);
    switch (result.outcome) {
    case SaverOutcome::Done:
    case SaverOutcome::GameBlocksTaken:
        job.Refresh(view);
        return;
    case SaverOutcome::NoSpace:
    case SaverOutcome::DirectoryFull:
        job.Inform(kNotEnoughSpaceText);
        return;
    default:
        if (!LinkFailedOn(volume))
            job.Inform(QString::fromStdString(result.reason));
        if (!result.Refused() || volume.Listing().Copy().changed)
            job.Refresh(view);
        return;
    }
}

void DciCommands::ImportBeside(CardPlace view, const QString& path, CardJob& job) {
    if (ImportDci(LocalPath(path), Session().Volume(view)) ||
        Session().Volume(view).Listing().Copy().changed)
        job.Refresh(view);
    ui_.Feedback().SetProgress(0, 1);
}
