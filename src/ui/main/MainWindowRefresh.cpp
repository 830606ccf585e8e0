// Re-reading the cards into their views, formatting, and the settings.
#include "card/ApplySettings.h"
#include "card/CardJournal.h"
#include "link/LinkPort.h"
#include "qtbase/Prompter.h"
#include "settings/ConfigFile.h"
#include "ui/dialogs/SettingsEditor.h"
#include "ui/main/AutoRefresh.h"
#include "ui/main/CardMenus.h"
#include "ui/main/MainWindow.h"
#include "ui/widgets/CardView.h"
#include "ui/widgets/PagePanel.h"

#include <QAction>
#include <QToolButton>

namespace {

constexpr const char* kSlot1LinkError = " link error 1, please check Connection speed in Setup, DC "
                                        "power and cable connection. ";
constexpr const char* kSlot2LinkError = " link error , please check Connection speed in Setup, DC "
                                        "power and cable connection. ";
constexpr const char* kFormatLarge =
    "Delete all saver? (Over 200 blocks is ONLY for Velmor memory card)";

QString FormatQuestion(int index, int userBlocks) {
    if (userBlocks == 200)
        return index == MainWindow::kSlot2 ? "Delete all saver? " : "Delete all saver?";
    if (index == MainWindow::kSlot1 && userBlocks == 240)
        return "elete all saver? (Over 200 blocks is ONLY for Velmor memory card)?";
    return kFormatLarge;
}

} // namespace

void MainWindow::ReadPageInfo() {
    LinkWork work(*this);
    uint16_t page = 0;
    // Without the page the card is on there is nothing sure to put back, so
    // the card's pages are left alone.
    if (link_->GetPage(page)) {
        CurrentPage = 255;
        link_->SetPage(255);
        uint16_t highest = 0;
        if (link_->GetPage(highest))
            HighestPage = highest;
        link_->SetPage(page);
        CurrentPage = page;
    }
    pagePanel_->ShowSet16M();
}

void MainWindow::RefreshSlot1Command() {
    LinkWork work(*this);
    autoRefresh_->Stop();
    ReadPageInfo();
    RefreshSlot1();
    autoRefresh_->Rearm();
}

void MainWindow::RefreshSlot2Command() {
    LinkWork work(*this);
    autoRefresh_->Stop();
    ReadPageInfo();
    RefreshSlot2();
    autoRefresh_->Rearm();
}

void MainWindow::Refresh(int index) {
    if (index == kSlot1)
        RefreshSlot1();
    else if (index == kSlot2)
        RefreshSlot2();
    else
        RefreshFile();
}

void MainWindow::RefreshSlot1() {
    LinkWork work(*this);
    ClearSelection();
    ShowDeviceLayout();
    uint16_t page = 0;
    if (link_->GetPage(page)) {
        pagePanel_->ShowPage(page);
        ShownPage = static_cast<int16_t>(page);
        CurrentPage = page;
    }
    if (link_->LinkFailed) {
        prompter_->Info(kSlot1LinkError);
        SetStatus("No Device");
        loaded_[kSlot1] = false;
        return;
    }
    if (!CardPresent(0)) {
        prompter_->Info(" no card in slot 1 ");
        loaded_[kSlot1] = false;
        return;
    }
    RefreshListing(kSlot1);
}

void MainWindow::RefreshSlot2() {
    LinkWork work(*this);
    ClearSelection();
    ShowDeviceLayout();
    if (link_->LinkFailed) {
        prompter_->Info(kSlot2LinkError);
        SetStatus("No Device");
        loaded_[kSlot2] = false;
        return;
    }
    // The paged card has no second slot.
    if (link_->DirectMode)
        return;
    if (!CardPresent(1)) {
        prompter_->Info(" no card in slot 2 ");
        loaded_[kSlot2] = false;
        return;
    }
    RefreshListing(kSlot2);
}

void MainWindow::RefreshFile() {
    LinkWork work(*this);
    ClearSelection();
    ShowDeviceLayout();
    RefreshListing(kFile);
}

bool MainWindow::RefreshListing(int index) {
    CardVolume& volume = volumes_[index];
    CardView& view = *views_[index];
    const bool viaLink = index != kFile;
    const auto failed = [&](bool ok) { return !ok || (viaLink && link_->LinkFailed); };
    const auto giveUp = [&] {
        HideWaitWindow();
        loaded_[index] = false;
        host_.SetProgress(0, 3);
        return false;
    };

    ShowWaitWindow();
    host_.SetProgress(0, 3);
    if (failed(volume.ReadRoot()))
        return giveUp();
    host_.SetProgress(1, 3);
    if (failed(volume.ReadFat()))
        return giveUp();
    if (!volume.IsFormatted()) {
        // Loaded all the same, so that the card can be formatted.
        loaded_[index] = true;
        view.ShowUnformatted();
        if (index == kFile)
            EnableFileCommands(true);
        else if (index == kSlot1)
            EnableSlot1Commands(true);
        else
            EnableSlot2Commands(true);
        HideWaitWindow();
        host_.SetProgress(0, 3);
        return true;
    }
    volume.RepairSystemChains();
    host_.SetProgress(2, 3);
    if (failed(volume.ReadDirectory()))
        return giveUp();
    QString fileError;
    const CardView::Build built = view.BuildIconList(startDir_, host_, link_.get(), fileError);
    if (built == CardView::Build::FileError) {
        giveUp();
        prompter_->Error(fileError);
        return false;
    }
    if (built == CardView::Build::LinkFailed)
        return giveUp();
    view.FillListView();
    loaded_[index] = true;
    HideWaitWindow();
    host_.SetProgress(0, 3);
    return true;
}

void MainWindow::FormatCommand(int index, int userBlocks) {
    if (LinkBusy() || index < 0 || index > 2 || !loaded_[index])
        return;
    if (!prompter_->Confirm(FormatQuestion(index, userBlocks)))
        return;
    LinkWork work(*this);
    ShowWaitWindow();
    volumes_[index].FormatVolume(static_cast<uint8_t>(userBlocks));
    Refresh(index);
    HideWaitWindow();
}

void MainWindow::RunSettings() {
    if (LinkBusy())
        return;
    autoRefresh_->Stop();
    if (settingsEditor_->Run(settings_, this)) {
        std::string error;
        if (!SaveConfig(startDir_, settings_, &error)) {
            const QString path = QString::fromStdString(startDir_) + kConfigFileName;
            prompter_->Warning("The settings could not be saved to " + path + ": " +
                               QString::fromStdString(error));
        }
        // The new port and delays hold from the next command on.
        ApplySettings(settings_, *link_);
        journal_->Enabled = settings_.KeepHistory != 0;
    }
    autoRefresh_->Rearm();
}
