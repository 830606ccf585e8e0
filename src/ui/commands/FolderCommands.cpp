#include "ui/commands/FolderCommands.h"

#include "card/CardFeedback.h"
#include "card/CardSession.h"
#include "card/SaverFiles.h"
#include "card/SaverText.h"
#include "link/LinkPort.h"
#include "ui/commands/CommandFiles.h"
#include "ui/commands/DciCommands.h"
#include "ui/main/CommandContext.h"
#include "ui/main/LinkCommandRunner.h"
#include "ui/widgets/CardView.h"

#include <QStringList>
#include <ctime>

namespace {

QString Shown(const std::string& name) {
    return QString::fromStdString(SaverText(name));
}

} // namespace

FolderCommands::FolderCommands(CommandContext& ui, QObject* parent) : QObject(parent), ui_(ui) {
    setObjectName("FolderCommands");
}

CardSession& FolderCommands::Session() {
    return ui_.Session();
}

FileDialogSetup FolderCommands::FolderDialog(const QString& title) {
    FileDialogSetup setup;
    setup.title = title;
    setup.folder = true;
    return setup;
}

QString FolderCommands::ReplaceQuestion(const QString& folder,
                                        const std::vector<std::string>& files) {
    const QString first = QString::fromStdString(files.front());
    return files.size() == 1 ? " File " + first + " Exisit overwrite it ?"
                             : QString::number(files.size()) + " files of these savers exist in " +
                                   folder + " already (" + first + " first). Overwrite them ?";
}

void FolderCommands::ShowStep(const char* doing, int index, int count) {
    ui_.SetStatus(QString("      %1 %2 of %3").arg(doing).arg(index + 1).arg(count));
    ui_.Feedback().SetProgress(index, count);
    ui_.RepaintNow();
}

void FolderCommands::ShowSummary(const std::vector<SaverFileReport>& reports, bool importing) {
    QStringList lines;
    for (const std::string& line : SaverFileSummary(
             reports, importing, [](const std::string& name) { return SaverText(name); }))
        lines << QString::fromStdString(line);
    ui_.Prompts().Info(lines.join('\n'));
}

void FolderCommands::ExportAll(CardPlace view) {
    QString folder;
    const SaverFileFormat format =
        Session().Config().SaverFilesAsPairs != 0 ? SaverFileFormat::VmsPair : SaverFileFormat::Dci;
    std::vector<SaverFileReport> reports;
    bool ran = false;
    CardRequest request{.holdTick = IsSlot(view), .wait = true};
    request.ask = [&] {
        if (!Session().Loaded(view))
            return false;
        folder = ui_.Prompts().OpenFile(FolderDialog("Export all savers"));
        return !folder.isEmpty();
    };
    request.work = [&](CardJob&) {
        if (IsSlot(view)) {
            // The card may have changed since it was read.
            ui_.Refresh(view);
            if (Session().Link().LinkFailed || !Session().Loaded(view))
                return;
        }
        CardVolume& volume = Session().Volume(view);
        const std::vector<std::string> existing =
            ExistingSaverFiles(SaverFileNames(volume, format), LocalPath(folder), format);
        if (!existing.empty() && !ui_.Prompts().Confirm(ReplaceQuestion(folder, existing)))
            return;
        SaverFileSteps steps;
        steps.progress = [this](int index, int count, const std::string&) {
            ShowStep("Exporting", index, count);
        };
        steps.linkBroke = [this, view] { return IsSlot(view) && Session().Link().LinkFailed; };
        reports = ExportSaverFiles(volume, LocalPath(folder), format, true, steps);
        ui_.Feedback().SetProgress(0, 1);
        ran = true;
    };
    ui_.Runner().Run(request);
    if (ran)
        ShowSummary(reports, false);
}

void FolderCommands::ImportFolder(CardPlace view) {
    ImportChosen(view, [&](QString& folder) {
        folder = ui_.Prompts().OpenFile(FolderDialog("Import folder"));
        return !folder.isEmpty();
    });
}

void FolderCommands::ImportFolderPath(CardPlace view, const QString& folder) {
    ImportChosen(view, [&](QString& chosen) {
        chosen = folder;
        return true;
    });
}

void FolderCommands::ImportChosen(CardPlace view, const std::function<bool(QString&)>& choose) {
    QString folder;
    std::vector<std::string> files;
    CardRequest request{.holdTick = IsSlot(view), .wait = true};
    request.ask = [&] {
        if (!Session().Loaded(view)) {
            ui_.Prompts().Info(DciCommands::NotLoadedText(view));
            return false;
        }
        if (!choose(folder))
            return false;
        std::string error;
        if (!SaveFilesIn(LocalPath(folder), files, error)) {
            ui_.Prompts().Info(QString::fromStdString(error));
            return false;
        }
        if (files.empty()) {
            ui_.Prompts().Info("No saver files (DCI, VMS, VMI) in " + folder + ".");
            return false;
        }
        return true;
    };
    std::vector<SaverFileReport> reports;
    request.work = [&](CardJob& job) {
        if (IsSlot(view)) {
            ui_.Refresh(view);
            if (Session().Link().LinkFailed || !Session().Loaded(view))
                return;
        }
        reports =
            ImportSaverFiles(files, Session().Volume(view), Questions(view), std::time(nullptr));
        ui_.Feedback().SetProgress(0, 1);
        job.Refresh(view);
    };
    ui_.Runner().Run(request);
    if (!reports.empty())
        ShowSummary(reports, true);
}

SaverFileQuestions FolderCommands::Questions(CardPlace view) {
    SaverFileQuestions questions;
    questions.loneVms = [this](const std::string& vms) {
        switch (
            ui_.Prompts().YesNoCancel(DciCommands::LoneVmsQuestion(QString::fromStdString(vms)))) {
        case Prompter::Answer::Yes:
            return LoneVmsChoice::Game;
        case Prompter::Answer::No:
            return LoneVmsChoice::Data;
        default:
            return LoneVmsChoice::Skip;
        }
    };
    // The questions of a single import, in their words.
    questions.sameName = [this](const std::string& name) {
        if (ui_.Prompts().Confirm("Saver " + Shown(name) + " Exisit overwrite it ?"))
            return SameNameChoice::Replace;
        if (ui_.Prompts().Confirm("Saver " + Shown(name) + " Exisit Append it ?"))
            return SameNameChoice::Append;
        return SameNameChoice::Refuse;
    };
    questions.progress = [this](int index, int count, const std::string&) {
        ShowStep("Importing", index, count);
    };
    questions.linkBroke = [this, view] { return IsSlot(view) && Session().Link().LinkFailed; };
    return questions;
}
