#pragma once

#include "card/CardPlace.h"
#include "card/CardVolume.h"
#include "settings/Settings.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

class CardJournal;
class CardFeedback;
class LinkHost;
class LinkPort;
class PortBackend;

// The cards of one window: the link, the three volumes (slot 1, slot 2, the
// open card image), which of them are loaded, the selected saver, the page
// state of the paged card, the settings and the history of changes. The
// window owns one and shows it; the commands change it.
class CardSession {
  public:
    // The volumes exist at once, so that views can be bound to them; the
    // link comes with Open.
    CardSession();
    ~CardSession();
    CardSession(const CardSession&) = delete;
    CardSession& operator=(const CardSession&) = delete;

    // The link first, with no command left on the wire; then the settings
    // file of startDir, whose port and delays replace the link's defaults;
    // then the side files and the history. A settings file that could not
    // be read leaves its reason in ConfigError().
    void Open(std::unique_ptr<PortBackend> backend, LinkHost* linkHost, CardFeedback* feedback,
              const std::string& startDir);
    // The volumes no longer reach the link (on the way out).
    void Detach();

    LinkPort& Link() { return *link_; }
    Settings& Config() { return settings_; }
    // The folder of the side files, ending in "/".
    const std::string& StartDir() const { return startDir_; }
    const std::string& ConfigError() const { return configError_; }
    CardJournal& Journal() { return *journal_; }
    // Settings changed: the port and delays hold from the next command on.
    void ApplyConfig();

    CardVolume& Volume(CardPlace place) { return volumes_[PlaceIndex(place)]; }
    bool Loaded(CardPlace place) const { return loaded_[PlaceIndex(place)]; }
    void SetLoaded(CardPlace place, bool loaded) { loaded_[PlaceIndex(place)] = loaded; }
    // Where volume sits; false for a volume of none of the three places.
    bool PlaceOf(const CardVolume* volume, CardPlace& place) const;

    // The single selected saver (empty name and no volume when none).
    const std::string& SelectedName() const { return selectedName_; }
    int16_t SelectedEntry() const { return selectedEntry_; }
    CardVolume* SelectedVolume() const { return selectedVolume_; }
    void ClearSelection();
    void Select(CardPlace place, int entry);

    // Page state of the paged card: the page selected on the card, the
    // highest page it reports, and the page the slot-1 view shows.
    uint16_t CurrentPage() const { return currentPage_; }
    void SetCurrentPage(uint16_t page) { currentPage_ = page; }
    uint16_t HighestPage() const { return highestPage_; }
    void SetHighestPage(uint16_t page) { highestPage_ = page; }
    int16_t ShownPage() const { return shownPage_; }
    void SetShownPage(int16_t page) { shownPage_ = page; }
    // Asks the card for its highest page and goes back to the page it was
    // on. Without that page there is nothing sure to put back, and the
    // card's pages are left alone.
    void ReadPageInfo();

    // Whether a card sits in the slot (the paged card counts as present).
    bool CardPresent(CardPlace slot);

    // While one exists no other link command starts, and the open card image
    // holds a shared lock when no other program writes it (card/ImageLock.h);
    // a write raises it to exclusive. Nests.
    class LinkWork {
      public:
        explicit LinkWork(CardSession& session);
        ~LinkWork();
        LinkWork(const LinkWork&) = delete;
        LinkWork& operator=(const LinkWork&) = delete;

      private:
        CardSession& session_;
    };
    bool LinkBusy() const { return linkWork_ > 0; }
    // Called when the outermost LinkWork ends.
    void SetOnLinkIdle(std::function<void()> onLinkIdle) { onLinkIdle_ = std::move(onLinkIdle); }

  private:
    // Field order matters: the volumes point to the journal.
    Settings settings_;
    std::string startDir_;
    std::string configError_;
    std::unique_ptr<CardJournal> journal_;
    std::array<CardVolume, 3> volumes_;
    std::array<bool, 3> loaded_ = {false, false, false};
    std::unique_ptr<LinkPort> link_;
    std::string selectedName_;
    int16_t selectedEntry_ = 0;
    CardVolume* selectedVolume_ = nullptr;
    uint16_t currentPage_ = 0;
    uint16_t highestPage_ = 0;
    int16_t shownPage_ = 0;
    int linkWork_ = 0;
    std::function<void()> onLinkIdle_;
};
