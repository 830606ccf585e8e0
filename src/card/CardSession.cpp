#include "card/CardSession.h"

#include "card/ApplySettings.h"
#include "card/CardJournal.h"
#include "card/ImageLock.h"
#include "card/SideFiles.h"
#include "link/LinkPort.h"
#include "settings/ConfigFile.h"

CardSession::CardSession() = default;

CardSession::~CardSession() {
    Detach();
}

void CardSession::Open(std::unique_ptr<PortBackend> backend, LinkHost* linkHost, CardUi* ui,
                       const std::string& startDir) {
    link_ = std::make_unique<LinkPort>(std::move(backend), linkHost);
    link_->EndCommand();
    startDir_ = LoadConfig(startDir, settings_, &configError_);
    ApplySettings(settings_, *link_);
    // "NA.bmp" and "dpnw.dc" ship with the program; a fresh folder gets them.
    (void)EnsureSideFiles(startDir_);
    journal_ = std::make_unique<CardJournal>(startDir_);
    journal_->Enabled = settings_.KeepHistory != 0;
    for (View view : kViews) {
        CardVolume& v = Volume(view);
        v.Device = static_cast<uint8_t>(ViewIndex(view));
        v.IoError = false;
        v.ImageOpen = false;
        v.Link = link_.get();
        v.Config = &settings_;
        v.Ui = ui;
        v.Journal = journal_.get();
    }
    loaded_ = {false, false, false};
}

void CardSession::Detach() {
    for (CardVolume& v : volumes_)
        v.Link = nullptr;
}

void CardSession::ApplyConfig() {
    ApplySettings(settings_, *link_);
    journal_->Enabled = settings_.KeepHistory != 0;
}

bool CardSession::ViewOf(const CardVolume* volume, View& view) const {
    for (View v : kViews) {
        if (volume == &volumes_[ViewIndex(v)]) {
            view = v;
            return true;
        }
    }
    return false;
}

void CardSession::ClearSelection() {
    SelectedName.clear();
    SelectedEntry = 0;
    SelectedVolume = nullptr;
}

void CardSession::Select(View view, int entry) {
    CardVolume& volume = Volume(view);
    SelectedName = volume.Entries[entry].Name;
    SelectedEntry = static_cast<int16_t>(entry);
    SelectedVolume = &volume;
}

void CardSession::ReadPageInfo() {
    LinkWork work(*this);
    uint16_t page = 0;
    if (!link_->GetPage(page))
        return;
    CurrentPage = 255;
    link_->SetPage(255);
    uint16_t highest = 0;
    if (link_->GetPage(highest))
        HighestPage = highest;
    link_->SetPage(page);
    CurrentPage = page;
}

bool CardSession::CardPresent(View slot) {
    if (!IsSlot(slot))
        return false;
    if (link_->DirectMode)
        return true;
    bool card1 = false;
    bool card2 = false;
    if (!link_->GetSlotStatus(card1, card2))
        return false;
    return slot == View::Slot1 ? card1 : card2;
}

CardSession::LinkWork::LinkWork(CardSession& session) : session_(session) {
    // Shared: the work may only read the image (or read another file that
    // is the same image); a write raises it and reads the card again first
    // (card/SameCard.h).
    if (session_.linkWork_++ == 0)
        LockImage(session_.Volume(View::File), false, 0);
    // One command reads each slot block once; the next reads the card again.
    session_.Volume(View::Slot1).Cache.Open();
    session_.Volume(View::Slot2).Cache.Open();
}

CardSession::LinkWork::~LinkWork() {
    session_.Volume(View::Slot1).Cache.Close();
    session_.Volume(View::Slot2).Cache.Close();
    // Held while a command runs, not while the image merely stays open.
    if (session_.linkWork_ == 1)
        UnlockImage(session_.Volume(View::File));
    if (--session_.linkWork_ == 0 && session_.OnLinkIdle)
        session_.OnLinkIdle();
}
