#include "ui/commands/DciCommands.h"

#include "card/CardWriteBack.h"
#include "card/DciFile.h"
#include "card/ReplaceSaver.h"
#include "card/SaverText.h"
#include "card/ScratchFile.h"
#include "card/TransferEngine.h"
#include "card/VmsVmi.h"
#include "link/LinkPort.h"
#include "ui/commands/AutoRefreshHold.h"
#include "ui/commands/CommandFiles.h"
#include "ui/main/MainWindow.h"

#include <ctime>

DciCommands::DciCommands(MainWindow& window, QObject* parent) : QObject(parent), window_(window) {}

FileDialogSetup DciCommands::ExportDialog() {
    FileDialogSetup setup;
    setup.title = "Export";
    setup.filter = "DCI file format|*.DCI|VMS + VMI pair|*.VMS|binary file format|*.BIN|ALL "
                   "format|*.*";
    setup.fileName = ".DCI";
    setup.defaultExt = "*.DCI";
    // The command asks itself.
    setup.confirmOverwrite = false;
    return setup;
}

FileDialogSetup DciCommands::ImportDialog() {
    FileDialogSetup setup;
    setup.title = "Import DCI file";
    setup.filter = "DCI file format|*.DCI|VMS + VMI pair|*.VMS;*.VMI|binary file format|*.BIN|ALL "
                   "format |*.*";
    setup.fileName = "*.DCI";
    return setup;
}

QString DciCommands::NotLoadedText(int index) {
    return index == MainWindow::kFile    ? "Please load a DCM file First."
           : index == MainWindow::kSlot1 ? "CARD REFRESH FIRST."
                                         : "Card refresh first.";
}

void DciCommands::Export(int index, int entry) {
    if (window_.LinkBusy() || index < 0 || index > 2)
        return;
    const QString path = window_.Prompts().SaveFile(ExportDialog());
    if (path.isEmpty())
        return;
    if (IsOpenImage(window_, path)) {
        window_.Prompts().Info(FileInUseText(path));
        return;
    }
    if (IsVmsPath(LocalPath(path)) || IsVmiPath(LocalPath(path))) {
        ExportPair(index, entry, path);
        return;
    }
    if (FileExists(path) && !window_.Prompts().Confirm(OverwriteFileQuestion(path)))
        return;
    MainWindow::LinkWork work(window_);
    ScratchFile scratch(LocalPath(path));
    if (!scratch.Ready()) {
        window_.Prompts().Warning(FileNotWrittenText(path, scratch.Error()));
        return;
    }
    CardVolume& volume = window_.Volume(index);
    if (!ExportDci(scratch.Path(), entry, volume)) {
        // A half-written saver is no saver: the file stays as it was.
        window_.Prompts().Warning(LinkFailedOn(volume)
                                      ? "File " + path +
                                            " was not written: the saver could not be read whole."
                                      : FileNotWrittenText(path, std::string()));
        return;
    }
    if (!scratch.Commit())
        window_.Prompts().Warning(FileNotWrittenText(path, scratch.Error()));
}

void DciCommands::ExportPair(int index, int entry, const QString& path) {
    // Either name of the pair chooses both files.
    QString vms = path;
    if (IsVmiPath(LocalPath(path)))
        vms = path.left(path.size() - 4) + (path.endsWith(".vmi") ? ".vms" : ".VMS");
    const QString vmi = QString::fromStdString(VmiPathFor(LocalPath(vms)));
    std::string resource;
    std::string error;
    if (!ResourceNameOf(LocalPath(vms), resource, error)) {
        window_.Prompts().Info(FileNotWrittenText(vms, error));
        return;
    }
    for (const QString& file : {vms, vmi}) {
        if (IsOpenImage(window_, file)) {
            window_.Prompts().Info(FileInUseText(file));
            return;
        }
        if (FileExists(file) && !window_.Prompts().Confirm(OverwriteFileQuestion(file)))
            return;
    }
    MainWindow::LinkWork work(window_);
    ScratchFile vmsScratch(LocalPath(vms));
    ScratchFile vmiScratch(LocalPath(vmi));
    if (!vmsScratch.Ready() || !vmiScratch.Ready()) {
        window_.Prompts().Warning(
            FileNotWrittenText(vmsScratch.Ready() ? vmi : vms,
                               vmsScratch.Ready() ? vmiScratch.Error() : vmsScratch.Error()));
        return;
    }
    CardVolume& volume = window_.Volume(index);
    // Neither file takes its name unless both were written whole.
    if (!ExportVmsVmi(vmsScratch.Path(), vmiScratch.Path(), resource, entry, volume, error)) {
        window_.Prompts().Warning(LinkFailedOn(volume)
                                      ? "File " + vms +
                                            " was not written: the saver could not be read whole."
                                      : FileNotWrittenText(vms, error));
        return;
    }
    if (!vmsScratch.Commit())
        window_.Prompts().Warning(FileNotWrittenText(vms, vmsScratch.Error()));
    else if (!vmiScratch.Commit())
        window_.Prompts().Warning(FileNotWrittenText(vmi, vmiScratch.Error()));
}

bool DciCommands::BuildFromPair(const QString& path, const TempSaverFile& dci) {
    VmsPair pair;
    std::string error;
    if (dci.Path().empty() || !FindVmsPair(LocalPath(path), pair, error)) {
        window_.Prompts().Info(error.empty() ? FileUnreadableText(path)
                                             : QString::fromStdString(error));
        return false;
    }
    if (pair.Lone() &&
        !window_.Prompts().Confirm("No VMI file beside " + path +
                                   ". Import it as a data saver named after the file, dated "
                                   "today ?"))
        return false;
    if (!BuildDciFromVms(pair, dci.Path(), std::time(nullptr), error)) {
        window_.Prompts().Info(QString::fromStdString(error));
        return false;
    }
    return true;
}

void DciCommands::Import(int index) {
    if (window_.LinkBusy() || index < 0 || index > 2)
        return;
    if (!window_.Loaded(index)) {
        window_.Prompts().Info(NotLoadedText(index));
        return;
    }
    const QString path = window_.Prompts().OpenFile(ImportDialog());
    if (!path.isEmpty())
        ImportFile(index, path);
}

void DciCommands::ImportFile(int index, const QString& path) {
    if (window_.LinkBusy() || index < 0 || index > 2)
        return;
    if (!window_.Loaded(index)) {
        window_.Prompts().Info(NotLoadedText(index));
        return;
    }
    if (!FileExists(path)) {
        window_.Prompts().Info("File " + path + " not found.");
        return;
    }
    // Reading a FIFO or a device would wait for ever.
    if (!RegularFile(path)) {
        window_.Prompts().Info(NotRegularText(path));
        return;
    }
    // A VMS + VMI pair is placed as the single-saver file it makes, so that
    // every question and refusal of an import applies to it.
    const TempSaverFile built;
    if (IsVmsPath(LocalPath(path)) || IsVmiPath(LocalPath(path))) {
        if (!BuildFromPair(path, built))
            return;
        ImportFile(index, QString::fromStdString(built.Path()));
        return;
    }
    MainWindow::LinkWork work(window_);
    AutoRefreshHold hold(window_, index != MainWindow::kFile);
    window_.ShowWaitWindow();
    const std::string name = ReadDciName(LocalPath(path));
    if (index != MainWindow::kFile) {
        // The card may have changed since it was read.
        window_.Refresh(index);
        if (window_.Link().LinkFailed || !window_.Loaded(index)) {
            window_.HideWaitWindow();
            return;
        }
    }
    int found = -1;
    const QString shown = QString::fromStdString(SaverText(name));
    if (!name.empty() && FindSaverByName(window_.Volume(index), name, found)) {
        if (window_.Prompts().Confirm("Saver " + shown + " Exisit overwrite it ?"))
            ReplaceByImport(index, path, found);
        else if (window_.Prompts().Confirm("Saver " + shown + " Exisit Append it ?"))
            ImportBeside(index, path);
    } else {
        ImportBeside(index, path);
    }
    window_.HideWaitWindow();
}

void DciCommands::ReplaceByImport(int index, const QString& path, int oldEntry) {
    window_.ShowWaitWindow();
    CardVolume& volume = window_.Volume(index);
    // The old saver goes only in the write-back that adds the new one, so an
    // import that is refused or fails keeps it.
    const SaverResult result = ReplaceSaverByImport(LocalPath(path), volume, oldEntry);
    window_.Ui().SetProgress(0, 1);
    switch (result.outcome) {
    case SaverOutcome::Done:
    case SaverOutcome::GameBlocksTaken:
        window_.Refresh(index);
        return;
    case SaverOutcome::NoSpace:
    case SaverOutcome::DirectoryFull:
        window_.Prompts().Info(kNotEnoughSpaceText);
        return;
    default:
        if (!LinkFailedOn(volume))
            window_.Prompts().Info(QString::fromStdString(result.reason));
        if (!result.Refused() || volume.Listed.changed)
            window_.Refresh(index);
        return;
    }
}

void DciCommands::ImportBeside(int index, const QString& path) {
    if (ImportDci(LocalPath(path), window_.Volume(index)) || window_.Volume(index).Listed.changed)
        window_.Refresh(index);
    window_.Ui().SetProgress(0, 1);
}
