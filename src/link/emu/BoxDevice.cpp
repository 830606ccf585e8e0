#include "link/emu/BoxDevice.h"

#include <cstring>
#include <sys/stat.h>

namespace {

FILE* OpenCard(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "r+b");
    // Unbuffered: every read sees the file as it is now, also after another
    // program (a test putting a card back as it was) wrote to it.
    if (f != nullptr)
        std::setvbuf(f, nullptr, _IONBF, 0);
    return f;
}

bool ReadAt(FILE* f, long offset, uint8_t* out, size_t n) {
    if (!f || std::fseek(f, offset, SEEK_SET) != 0)
        return false;
    // A short file reads as erased flash past its end.
    const size_t got = std::fread(out, 1, n, f);
    std::memset(out + got, 0xFF, n - got);
    return !std::ferror(f);
}

bool WriteAt(FILE* f, long offset, const uint8_t* data, size_t n) {
    if (!f || std::fseek(f, offset, SEEK_SET) != 0)
        return false;
    // Flushed at once, so what the box accepted survives a crash of the program.
    return std::fwrite(data, 1, n, f) == n && std::fflush(f) == 0;
}

} // namespace

// ---- two-slot unit ----

TwoSlotDevice::TwoSlotDevice(const std::string& dir) : dir_(dir) {
    SetCardPresent(0, true);
    SetCardPresent(1, true);
}

TwoSlotDevice::~TwoSlotDevice() {
    SetCardPresent(0, false);
    SetCardPresent(1, false);
}

std::string TwoSlotDevice::SlotPath(int slot) const {
    return dir_ + (slot == 0 ? "/slot1.dcm" : "/slot2.dcm");
}

void TwoSlotDevice::SetCardPresent(int slot, bool present) {
    if (slot < 0 || slot > 1)
        return;
    if (files_[slot]) {
        std::fclose(files_[slot]);
        files_[slot] = nullptr;
    }
    if (present)
        files_[slot] = OpenCard(SlotPath(slot));
    if (stagedSlot_ == slot)
        stagedSlot_ = stagedBlock_ = -1;
}

bool TwoSlotDevice::SetPage(uint16_t) {
    return true;
}

bool TwoSlotDevice::GetPage(uint16_t& page) {
    // The unit has no pages; this answer is how the PC tells it apart.
    page = 255;
    return true;
}

void TwoSlotDevice::Forget() {
    // The forgiving unit kept both from one block access to the next.
    if (!strictOrder_)
        return;
    chunkState_ = Chunk::None;
    stagedSlot_ = stagedBlock_ = -1;
}

bool TwoSlotDevice::BeginBlockAccess() {
    inBlockAccess_ = true;
    Forget();
    return true;
}

bool TwoSlotDevice::EndBlockAccess() {
    inBlockAccess_ = false;
    Forget();
    return true;
}

bool TwoSlotDevice::ReadCardBlock(int slot, uint8_t block, uint8_t* out) {
    return slot >= 0 && slot <= 1 &&
           ReadAt(files_[slot], long(block) * kBlockSize, out, kBlockSize);
}

bool TwoSlotDevice::FetchChunk(uint8_t slot, uint8_t block, uint8_t quarter) {
    chunkState_ = Chunk::None;
    if (!inBlockAccess_ || slot > 1 || quarter > 3 || !files_[slot])
        return false;
    if (!ReadAt(files_[slot], long(block) * kBlockSize + quarter * 128, chunk_, 128))
        return false;
    chunkState_ = Chunk::Fetched;
    return true;
}

bool TwoSlotDevice::ReadChunk(uint8_t* out128) {
    if (!inBlockAccess_ || (strictOrder_ && chunkState_ != Chunk::Fetched))
        return false;
    std::memcpy(out128, chunk_, 128);
    if (strictOrder_)
        chunkState_ = Chunk::None;
    return true;
}

bool TwoSlotDevice::WriteChunk(const uint8_t* data128) {
    if (!inBlockAccess_)
        return false;
    std::memcpy(chunk_, data128, 128);
    chunkState_ = Chunk::Written;
    return true;
}

bool TwoSlotDevice::StoreChunk(uint8_t slot, uint8_t block, uint8_t quarter) {
    if (!inBlockAccess_ || slot > 1 || quarter > 3 || !files_[slot])
        return false;
    if (strictOrder_ && chunkState_ != Chunk::Written)
        return false;
    const bool staging = stagedSlot_ >= 0;
    if (!staging || stagedSlot_ != slot || stagedBlock_ != block) {
        if (strictOrder_ && staging)
            return false; // another block is being staged
        // Quarters not stored before the commit keep what the card holds.
        if (!ReadCardBlock(slot, block, staged_))
            return false;
        stagedSlot_ = slot;
        stagedBlock_ = block;
    }
    std::memcpy(staged_ + quarter * 128, chunk_, 128);
    if (strictOrder_)
        chunkState_ = Chunk::None;
    return true;
}

bool TwoSlotDevice::CommitBlock(uint8_t slot, uint8_t block) {
    if (!inBlockAccess_ || slot > 1 || !files_[slot])
        return false;
    if (stagedSlot_ != slot || stagedBlock_ != block) {
        // Nothing stored for this block: refused when strict, a no-op otherwise.
        return !strictOrder_;
    }
    stagedSlot_ = stagedBlock_ = -1;
    return WriteAt(files_[slot], long(block) * kBlockSize, staged_, kBlockSize);
}

bool TwoSlotDevice::GetSlotStatus(uint8_t& bits) {
    bits = static_cast<uint8_t>((files_[0] ? 1 : 0) | (files_[1] ? 2 : 0));
    return true;
}

// ---- paged card ----

PagedDevice::PagedDevice(const std::string& file) {
    file_ = OpenCard(file);
    struct stat st {};
    if (file_ && ::stat(file.c_str(), &st) == 0)
        pages_ = static_cast<int>(st.st_size / kCardSize);
    if (pages_ > 65536)
        pages_ = 65536;
}

PagedDevice::~PagedDevice() {
    if (file_)
        std::fclose(file_);
}

bool PagedDevice::SetPage(uint16_t page) {
    if (pages_ == 0)
        return false;
    page_ = page >= pages_ ? static_cast<uint16_t>(pages_ - 1) : page;
    return true;
}

bool PagedDevice::GetPage(uint16_t& page) {
    if (pages_ == 0)
        return false;
    page = page_;
    return true;
}

bool PagedDevice::SetPage16M(uint8_t) {
    return pages_ != 0;
}

bool PagedDevice::ReadMemory(uint32_t address, uint8_t* out512) {
    if (pages_ == 0 || address > kCardSize - kBlockSize)
        return false;
    return ReadAt(file_, long(page_) * kCardSize + long(address), out512, kBlockSize);
}

bool PagedDevice::WriteMemory(uint32_t address, const uint8_t* data128) {
    if (pages_ == 0 || address > kCardSize - 128)
        return false;
    return WriteAt(file_, long(page_) * kCardSize + long(address), data128, 128);
}
