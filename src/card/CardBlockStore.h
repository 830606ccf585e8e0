#pragma once

#include "card/BlockCache.h"
#include "card/CardLayout.h"
#include "card/CardPlace.h"

#include <cstdint>
#include <cstdio>
#include <string>

class CardFeedback;
class ChangeRecorder;
class LinkPort;
struct Settings;

// The block store of one card: whole 512-byte blocks in card order, to and
// from its place, a slot of the link box (with the link's retries, and checks
// when transfers are verified) or the image file at block x 512. It holds what
// reaching the blocks takes: the link, the settings, the way to tell the user,
// the history recorder, the running command's block cache, and the image
// file with its lock and byte order.
class CardBlockStore {
  public:
    // Retries.
    static constexpr int kReadAttempts = 16;
    static constexpr int kWriteAttempts = 5;
    static constexpr const char* kReadErrorText =
        "Link error , Auto Refresh Mode turned off. Please check Connection speed in Setup, DC "
        "power and cable connection. ";
    static constexpr const char* kWriteErrorText =
        "Link error , Auto Reflesh Mode turned off. Please check Connection speed in Setup, DC "
        "power and cable connection. ";
    // What a failed write shows: the message above, then that the card may
    // hold a change cut off half-way.
    static constexpr const char* kWriteFailedText =
        "Link error , Auto Reflesh Mode turned off. Please check Connection speed in Setup, DC "
        "power and cable connection. A write to the card was cut off: the card may need "
        "\"Check card...\".";

    using WorkBytes = uint8_t[CardLayout::kWorkAreaSize];

    CardBlockStore() = default;
    ~CardBlockStore();
    // Holds an open file: never copied.
    CardBlockStore(const CardBlockStore&) = delete;
    CardBlockStore& operator=(const CardBlockStore&) = delete;

    // --- Place ----------------------------------------------------------------
    CardPlace Place() const { return place_; }
    void SetPlace(CardPlace place) { place_ = place; }
    // The place's device number: the slot the link reads (0 or 1), or 2 for
    // the image file. Every block transfer of this store passes it.
    uint8_t Device() const { return static_cast<uint8_t>(PlaceIndex(place_)); }

    // --- Set by the owner; any may be null ---------------------------------
    LinkPort* Link() const { return link_; }
    void SetLink(LinkPort* link) { link_ = link; }
    Settings* Config() const { return config_; }
    void SetConfig(Settings* config) { config_ = config; }
    // Where messages, progress and repaints go.
    CardFeedback* Feedback() const { return feedback_; }
    void SetFeedback(CardFeedback* feedback) { feedback_ = feedback; }
    // Sees every block written, so that a change can be taken back.
    ChangeRecorder* Recorder() const { return recorder_; }
    void SetRecorder(ChangeRecorder* recorder) { recorder_ = recorder; }

    // --- Image file -----------------------------------------------------------
    // Opens (creating a blank 0xFF image when missing) the image file for
    // reading and writing, or for reading only when that is all the file
    // allows (ImageReadOnly; every write then fails). ImageOpen becomes true
    // either way; the result says whether the file is really open (a closed
    // one fails every transfer).
    bool OpenImage(const std::string& fileName);
    // Takes an open stream as the image (a card image held in memory): card
    // order, no name.
    void OpenStream(std::FILE* stream, bool readOnly);
    void CloseImage();
    std::FILE* ImageFile() const { return imageFile_; }
    bool ImageOpen() const { return imageOpen_; }
    const std::string& ImageName() const { return imageName_; }
    void SetImageName(const std::string& name) { imageName_ = name; }
    // The image file is open for reading only.
    bool ImageReadOnly() const { return imageReadOnly_; }
    void SetImageReadOnly(bool readOnly) { imageReadOnly_ = readOnly; }
    // The image file holds its blocks in natural order (an emulator's card
    // dump) rather than card order; the store turns them so that the rest of
    // the program sees card order either way. Set by OpenImage from the
    // file's root block (or its table and directory), or from its name when
    // they do not tell (ImageOrderGuessed). On a formatted card a guessed
    // order is unsure (ImageOrderUnsure): every write to the image is
    // refused, as it might go in the wrong order.
    bool ImageNatural() const { return imageNatural_; }
    bool ImageOrderGuessed() const { return imageOrderGuessed_; }
    bool ImageOrderUnsure() const { return imageOrderUnsure_; }
    // The flock held on the image file (card/ImageLock.h): 0 none, 1 shared,
    // 2 exclusive. Closing the image lets it go.
    uint8_t ImageLockHeld() const { return imageLockHeld_; }
    void SetImageLockHeld(uint8_t held) { imageLockHeld_ = held; }

    // The blocks the running command has read from or written to a slot
    // (card/BlockCache.h); empty outside a command.
    BlockCache& Cache() { return cache_; }
    const BlockCache& Cache() const { return cache_; }

    // Fill buffer of a new image file; the icon operations use it as their
    // IconArea.
    WorkBytes& WorkArea() { return workArea_; }
    const WorkBytes& WorkArea() const { return workArea_; }

    // --- Blocks -----------------------------------------------------------------
    // One block in card order; device is always this store's Device, 2 or
    // more selecting the image file. Inside a command (BlockCacheScope) a
    // slot's block is read from the card once and then served from the
    // command's cache.
    bool ReadRawBlock(uint8_t device, uint8_t block, uint8_t* out512);
    // Reads the card itself, never the cache, for a check that must see
    // what the card holds now; the cache then keeps what it read.
    bool ReadFreshBlock(uint8_t device, uint8_t block, uint8_t* out512);
    // Reads the card itself until one read passes the link's check, even
    // with transfers verified, and keeps nothing: for a caller that holds
    // the bytes against a copy read verified before (card/SameCard.h).
    bool ReadBlockOnce(uint8_t device, uint8_t block, uint8_t* out512);
    // Writes one block without telling the recorder or the listing; card
    // work writes through CardVolume::WriteRawBlock, which tells both.
    bool StoreBlock(uint8_t device, uint8_t block, const uint8_t* data512);

  private:
    // After the last failed link attempt: auto refresh off, one message;
    // for a verified transfer the feedback hears of it too.
    void ReportLinkFailure(const char* text, bool verified = false);
    bool Verifies() const;

    CardPlace place_ = CardPlace::Slot1;
    LinkPort* link_ = nullptr;
    Settings* config_ = nullptr;
    CardFeedback* feedback_ = nullptr;
    ChangeRecorder* recorder_ = nullptr;
    std::FILE* imageFile_ = nullptr;
    bool imageOpen_ = false;
    std::string imageName_;
    bool imageReadOnly_ = false;
    bool imageNatural_ = false;
    bool imageOrderGuessed_ = false;
    bool imageOrderUnsure_ = false;
    uint8_t imageLockHeld_ = 0;
    BlockCache cache_;
    WorkBytes workArea_ = {};
};
