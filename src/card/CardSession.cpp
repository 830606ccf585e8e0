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

void CardSession::Open(std::unique_ptr<PortBackend> backend, LinkHost* linkHost,
                       CardFeedback* feedback, const std::string& startDir) {
    link_ = std::make_unique<LinkPort>(std::move(backend), linkHost);
    link_->EndCommand();
    startDir_ = LoadConfig(startDir, settings_, &configError_);
    ApplySettings(settings_, *link_);
    // "NA.bmp" and "dpnw.dc" ship with the program; a fresh folder gets them.
    (void)EnsureSideFiles(startDir_);
    journal_ = std::make_unique<CardJournal>(startDir_);
    journal_->Enabled = settings_.KeepHistory != 0;
    for (CardPlace place : kCardPlaces) {
        CardVolume& v = Volume(place);
        v.SetPlace(place);
        v.Tables().SetIoError(false);
        CardBlockStore& store = v.Store();
        store.SetLink(link_.get());
        store.SetConfig(&settings_);
        store.SetFeedback(feedback);
        store.SetRecorder(journal_.get());
    }
    loaded_ = {false, false, false};
}

void CardSession::Detach() {
    for (CardVolume& v : volumes_)
        v.Store().SetLink(nullptr);
}

void CardSession::ApplyConfig() {
    ApplySettings(settings_, *link_);
    journal_->Enabled = settings_.KeepHistory != 0;
}

bool CardSession::PlaceOf(const CardVolume* volume, CardPlace& place) const {
    for (CardPlace p : kCardPlaces) {
        if (volume == &volumes_[PlaceIndex(p)]) {
            place = p;
            return true;
        }
    }
    return false;
}

void CardSession::ClearSelection() {
    selectedName_.clear();
    selectedEntry_ = 0;
    selectedVolume_ = nullptr;
}

void CardSession::Select(CardPlace place, int entry) {
    CardVolume& volume = Volume(place);
    selectedName_ = volume.Entries()[entry].Name;
    selectedEntry_ = static_cast<int16_t>(entry);
    selectedVolume_ = &volume;
}

void CardSession::ReadPageInfo() {
    LinkWork work(*this);
    uint16_t page = 0;
    if (!link_->GetPage(page))
        return;
    currentPage_ = 255;
    link_->SetPage(255);
    uint16_t highest = 0;
    if (link_->GetPage(highest))
        highestPage_ = highest;
    link_->SetPage(page);
    currentPage_ = page;
}

bool CardSession::CardPresent(CardPlace slot) {
    if (!IsSlot(slot))
        return false;
    if (link_->DirectMode)
        return true;
    bool card1 = false;
    bool card2 = false;
    if (!link_->GetSlotStatus(card1, card2))
        return false;
    return slot == CardPlace::Slot1 ? card1 : card2;
}

CardSession::LinkWork::LinkWork(CardSession& session) : session_(session) {
    // Shared: the work may only read the image (or read another file that
    // is the same image); a write raises it and reads the card again first
    // (card/SameCard.h).
    if (session_.linkWork_++ == 0)
        LockImage(session_.Volume(CardPlace::Image), false, 0);
    // One command reads each slot block once; the next reads the card again.
    session_.Volume(CardPlace::Slot1).Store().Cache().Open();
    session_.Volume(CardPlace::Slot2).Store().Cache().Open();
}

CardSession::LinkWork::~LinkWork() {
    session_.Volume(CardPlace::Slot1).Store().Cache().Close();
    session_.Volume(CardPlace::Slot2).Store().Cache().Close();
    // Held while a command runs, not while the image merely stays open.
    if (session_.linkWork_ == 1)
        UnlockImage(session_.Volume(CardPlace::Image));
    if (--session_.linkWork_ == 0 && session_.onLinkIdle_)
        session_.onLinkIdle_();
}
