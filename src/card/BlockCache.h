#pragma once

#include <cstdint>

// The blocks of one card as a command has read or written them, so that a
// command moves each block over the link once: the listing reads a saver's
// header block for its entry, its palette and every icon frame, and a write
// needs to know what a block holds before it. Alive only while a command
// holds it open (BlockCacheScope): between two commands the card may have
// been swapped, written by the console or paged, so nothing is kept past the
// end of the outermost scope. Fixed storage for a whole card; nothing is
// allocated.
class BlockCache {
  public:
    static constexpr int kBlocks = 256;
    static constexpr int kBlockSize = 512;

    BlockCache() = default;
    BlockCache(const BlockCache&) = delete;
    BlockCache& operator=(const BlockCache&) = delete;

    // Nests; the cache is emptied when the outermost scope opens and closes.
    void Open();
    void Close();
    bool IsOpen() const { return depth_ > 0; }

    // The block's bytes in card order, when kept since the page the link
    // now has selected was chosen (selection: LinkPort::Selection()).
    bool Find(uint8_t block, uint32_t selection, uint8_t* out512) const;
    const uint8_t* Peek(uint8_t block, uint32_t selection) const;
    // Keeps what was read from the card or verified as written there; does
    // nothing outside a scope.
    void Keep(uint8_t block, uint32_t selection, const uint8_t* data512);
    // What the card holds is no longer known: one block, or every block
    // (a write that failed may have landed elsewhere).
    void Forget(uint8_t block);
    void ForgetAll();

  private:
    bool Known(uint8_t block) const { return (known_[block / 64] >> (block % 64)) & 1u; }

    uint8_t data_[kBlocks][kBlockSize] = {};
    uint64_t known_[kBlocks / 64] = {};
    uint32_t selection_ = 0;
    int depth_ = 0;
};

// Holds a volume's block cache open for one command.
class CardVolume;
class BlockCacheScope {
  public:
    explicit BlockCacheScope(CardVolume& volume);
    ~BlockCacheScope();
    BlockCacheScope(const BlockCacheScope&) = delete;
    BlockCacheScope& operator=(const BlockCacheScope&) = delete;

  private:
    BlockCache& cache_;
};
