#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// What sits behind the emulated box: a two-slot unit or a paged card. Each
// command gets its arguments or data and says whether it succeeded; a failed
// command makes the box answer a wrong checksum.
class BoxDevice {
  public:
    static constexpr int kBlockSize = 512;
    static constexpr int kCardSize = 131072;

    virtual ~BoxDevice() = default;

    virtual bool SetPage(uint16_t page) = 0;
    virtual bool GetPage(uint16_t& page) = 0;
    virtual bool SetPage16M(uint8_t page) = 0;
    virtual bool ReadMemory(uint32_t address, uint8_t* out512) = 0;
    virtual bool WriteMemory(uint32_t address, const uint8_t* data128) = 0;
    virtual bool BeginBlockAccess() = 0;
    virtual bool EndBlockAccess() = 0;
    virtual bool FetchChunk(uint8_t slot, uint8_t block, uint8_t quarter) = 0;
    virtual bool ReadChunk(uint8_t* out128) = 0;
    virtual bool WriteChunk(const uint8_t* data128) = 0;
    virtual bool StoreChunk(uint8_t slot, uint8_t block, uint8_t quarter) = 0;
    virtual bool CommitBlock(uint8_t slot, uint8_t block) = 0;
    virtual bool GetSlotStatus(uint8_t& bits) = 0;

    // Whether chunk commands must come in their order (see BoxRules).
    virtual void SetStrictOrder(bool strict) { (void)strict; }
};

// Two card slots backed by DIR/slot1.dcm and DIR/slot2.dcm (card order, as
// image files); a missing file is an empty slot. Writes go to the files.
// The unit has one 128-byte chunk buffer and one block being staged. In strict
// order a fetched chunk can be read once, a written chunk stored once, and the
// first StoreChunk of a block access names the block that the others and the
// commit must name too; a commit writes the staged block and ends the staging.
// In strict order, beginning or ending block access forgets the chunk and the
// staging.
class TwoSlotDevice : public BoxDevice {
  public:
    explicit TwoSlotDevice(const std::string& dir);
    ~TwoSlotDevice() override;

    // Pull a card out (false) or put it back in (true, reopening its file).
    void SetCardPresent(int slot, bool present);
    bool CardPresent(int slot) const { return files_[slot] != nullptr; }
    std::string SlotPath(int slot) const;

    bool SetPage(uint16_t page) override;
    bool GetPage(uint16_t& page) override;
    bool SetPage16M(uint8_t) override { return false; }
    bool ReadMemory(uint32_t, uint8_t*) override { return false; }
    bool WriteMemory(uint32_t, const uint8_t*) override { return false; }
    bool BeginBlockAccess() override;
    bool EndBlockAccess() override;
    bool FetchChunk(uint8_t slot, uint8_t block, uint8_t quarter) override;
    bool ReadChunk(uint8_t* out128) override;
    bool WriteChunk(const uint8_t* data128) override;
    bool StoreChunk(uint8_t slot, uint8_t block, uint8_t quarter) override;
    bool CommitBlock(uint8_t slot, uint8_t block) override;
    bool GetSlotStatus(uint8_t& bits) override;
    void SetStrictOrder(bool strict) override { strictOrder_ = strict; }

  private:
    enum class Chunk { None, Fetched, Written };

    bool ReadCardBlock(int slot, uint8_t block, uint8_t* out);
    void Forget();

    std::string dir_;
    FILE* files_[2] = {nullptr, nullptr};
    bool inBlockAccess_ = false;
    bool strictOrder_ = true;
    Chunk chunkState_ = Chunk::None;
    uint8_t chunk_[128] = {};
    // a block being assembled from stored chunks before its commit
    uint8_t staged_[kBlockSize] = {};
    int stagedSlot_ = -1;
    int stagedBlock_ = -1;
};

// A large card of N pages of 131072 bytes in one file. SetPage beyond the last
// page selects the last one.
class PagedDevice : public BoxDevice {
  public:
    explicit PagedDevice(const std::string& file);
    ~PagedDevice() override;

    int PageCount() const { return pages_; }
    uint16_t CurrentPage() const { return page_; }

    bool SetPage(uint16_t page) override;
    bool GetPage(uint16_t& page) override;
    bool SetPage16M(uint8_t page) override;
    bool ReadMemory(uint32_t address, uint8_t* out512) override;
    bool WriteMemory(uint32_t address, const uint8_t* data128) override;
    bool BeginBlockAccess() override { return false; }
    bool EndBlockAccess() override { return false; }
    bool FetchChunk(uint8_t, uint8_t, uint8_t) override { return false; }
    bool ReadChunk(uint8_t*) override { return false; }
    bool WriteChunk(const uint8_t*) override { return false; }
    bool StoreChunk(uint8_t, uint8_t, uint8_t) override { return false; }
    bool CommitBlock(uint8_t, uint8_t) override { return false; }
    bool GetSlotStatus(uint8_t&) override { return false; }

  private:
    FILE* file_ = nullptr;
    int pages_ = 0;
    uint16_t page_ = 0;
};
