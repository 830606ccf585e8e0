#pragma once

#include "card/CardVolume.h"
#include "card/View.h"
#include "settings/Settings.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class CardJournal;
class CardUi;
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
    void Open(std::unique_ptr<PortBackend> backend, LinkHost* linkHost, CardUi* ui,
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

    CardVolume& Volume(View view) { return volumes_[ViewIndex(view)]; }
    bool Loaded(View view) const { return loaded_[ViewIndex(view)]; }
    void SetLoaded(View view, bool loaded) { loaded_[ViewIndex(view)] = loaded; }
    // Which view shows volume; false for a volume of no view.
    bool ViewOf(const CardVolume* volume, View& view) const;

    // The single selected saver (empty name and no volume when none).
    std::string SelectedName;
    int16_t SelectedEntry = 0;
    CardVolume* SelectedVolume = nullptr;
    void ClearSelection();
    void Select(View view, int entry);

    // Page state of the paged card.
    uint16_t CurrentPage = 0;
    uint16_t HighestPage = 0;
    int16_t ShownPage = 0;
    // Asks the card for its highest page and goes back to the page it was
    // on. Without that page there is nothing sure to put back, and the
    // card's pages are left alone.
    void ReadPageInfo();

    // Whether a card sits in the slot (the paged card counts as present).
    bool CardPresent(View slot);

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
    std::function<void()> OnLinkIdle;

  private:
    // Field order matters: the volumes point to the journal.
    Settings settings_;
    std::string startDir_;
    std::string configError_;
    std::unique_ptr<CardJournal> journal_;
    std::array<CardVolume, 3> volumes_;
    std::array<bool, 3> loaded_ = {false, false, false};
    std::unique_ptr<LinkPort> link_;
    int linkWork_ = 0;
};
