#pragma once

#include <cstdint>
#include <string>

class CardVolume;

// Watches the writes of one card change so that it can be taken back later.
// The volume calls BeforeWrite/AfterWrite around every block it writes; the
// engine marks where a change starts and ends with a ChangeScope. A recorder
// never refuses or fails a write: whatever it cannot keep, it leaves out.
class ChangeRecorder {
  public:
    virtual ~ChangeRecorder() = default;
    // command names the change ("delete NAME", "format 200", ...).
    virtual void Begin(CardVolume& volume, const std::string& command) = 0;
    virtual void BeforeWrite(CardVolume& volume, uint8_t block, const uint8_t* data512) = 0;
    virtual void AfterWrite(CardVolume& volume, uint8_t block, const uint8_t* data512,
                            bool written) = 0;
    virtual void End(CardVolume& volume) = 0;
    // What a system block (241-255) will hold once the change is done, card
    // order; told before the first system block is written, after the last
    // data block, so that a change the link cuts off can be finished as
    // well as taken back. Blocks never told stay as they were.
    virtual void Plan(CardVolume& volume, uint8_t block, const uint8_t* data512) {
        (void)volume;
        (void)block;
        (void)data512;
    }
};

// Tells the volume's recorder, if it has one, what block will hold.
void PlanBlock(CardVolume& volume, uint8_t block, const uint8_t* data512);

// Marks one change of volume for its recorder, if it has one. Scopes nest:
// the outermost one names the change.
class ChangeScope {
  public:
    ChangeScope(CardVolume& volume, const std::string& command);
    ~ChangeScope();
    ChangeScope(const ChangeScope&) = delete;
    ChangeScope& operator=(const ChangeScope&) = delete;

  private:
    CardVolume& volume_;
    ChangeRecorder* recorder_;
};

// "slot 1", "slot 2" or the image file's name, for a change's name.
std::string VolumeLabel(const CardVolume& volume);
// The saver's name without trailing blanks, for a change's name.
std::string RawSaverName(const uint8_t* raw32);
