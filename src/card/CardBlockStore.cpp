// The block store: one 512-byte block in card order, to and from the image
// file or a slot of the link box, with the link's retries and, when transfers
// are verified, the checks that a block really arrived as it was.
//
// Why verification: the link's checksum ignores bit 0, and the PC echoes every
// byte it receives, so a bit flipped on its way to the PC is in both
// checksums. A garbled read therefore often passes, and a bit-0 flip in an
// argument (block, quarter, slot, address byte) sends a command somewhere
// else. With verification on:
// - a block counts as read when two reads agree (three on a line that has
//   lately shown errors);
// - a block counts as written when it reads back as the data: one read does,
//   as a garbled read cannot come back as exactly the bytes meant; a read
//   that differs is followed by agreeing reads to learn what the card holds.
//   The two-slot unit writes a block only at its commit, and only the block
//   its quarters were stored for, so a write sent astray there leaves the
//   block unwritten, which the read-back sees. The paged card writes each
//   quarter where its address says. Where the block's bytes are known (the
//   command's cache, or a look first) only the quarters that differ are
//   sent, so every quarter sent must show up in place; one that did not went
//   somewhere else, and the places a flipped address bit could have taken it
//   to are read. A box that answers bit 0 of its checksum tells every
//   quarter whose bytes arrived with a bit 0 flipped; without a look, just
//   those are followed to where they may have gone. Finding our data there
//   fails the write: we cannot tell damage from a place that held the same
//   bytes already, nor put back what was there. The same goes for a last
//   quarter that arrived shifted, whose tail then lies at the start of the
//   next block.
// The 16 read and 5 write attempts count single transfers: each read, those
// that check a write included, takes up to 16; a write up to 5 writes.
#include "card/CardBlockStore.h"

#include "card/CardFeedback.h"
#include "card/CardImageOrder.h"
#include "link/LinkPort.h"
#include "settings/Settings.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

constexpr int kBlock = CardLayout::kBlockSize;
constexpr int kQuarter = LinkPort::kChunkSize;

// Reads block (or, for a span, the 512 bytes at a byte address of the page)
// until enough successful reads agree, within the block store's 16 attempts;
// each read is held against every earlier one, so that a garbled read does
// not spoil good ones. out holds the last attempt's bytes either way.
//
// Two reads garbled alike at the same place agree by chance about N p^2 of
// the time (N = 4096 data bits, p the chance of a flipped bit): nothing on a
// sound line, but one block in 25000 at p = 1e-4. So two reads do where the
// link has been quiet for the last kQuietCommands commands, and three are
// needed on a line that has lately shown an error. A look at a block before
// writing it needs one read less: a wrong look only costs a quarter sent in
// vain, or a write failed in vain.
class AgreedReader {
  public:
    static constexpr uint32_t kQuietCommands = 1024;

    explicit AgreedReader(LinkPort& link) : link_(link) {}

    bool Block(uint8_t device, uint8_t block, uint8_t* out, bool look = false) {
        return Agree(
            out, [&](uint8_t* into) { return link_.ReadBlock(device, block, into); },
            look ? Kind::Look : Kind::Agreed);
    }
    bool Span(uint32_t address, uint8_t* out, bool look = false) {
        return Agree(
            out, [&](uint8_t* into) { return link_.ReadSpan(address, into); },
            look ? Kind::Look : Kind::Agreed);
    }
    // One good read, for a caller that holds it against bytes it knows.
    bool Once(uint8_t device, uint8_t block, uint8_t* out) {
        return Agree(
            out, [&](uint8_t* into) { return link_.ReadBlock(device, block, into); }, Kind::Once);
    }

  private:
    enum class Kind { Agreed, Look, Once };
    // Asked at every read: a disagreement on the way raises it.
    int Needed(Kind kind) const {
        if (kind == Kind::Once)
            return 1;
        return (link_.QuietCommands() >= kQuietCommands ? 2 : 3) - (kind == Kind::Look ? 1 : 0);
    }
    template <typename ReadOnce> bool Agree(uint8_t* out, ReadOnce readOnce, Kind kind) {
        uint8_t seen[CardBlockStore::kReadAttempts][kBlock]; // each content read once
        int times[CardBlockStore::kReadAttempts] = {};
        int kinds = 0;
        for (int attempt = 0; attempt < CardBlockStore::kReadAttempts; ++attempt) {
            if (!readOnce(out))
                continue;
            int k = 0;
            while (k < kinds && std::memcmp(seen[k], out, kBlock) != 0)
                ++k;
            if (k == kinds) {
                std::memcpy(seen[kinds++], out, kBlock);
                if (kinds > 1)
                    link_.NoteTrouble(); // read errors the checksum let through
            }
            if (++times[k] >= Needed(kind))
                return true;
        }
        return false;
    }

    LinkPort& link_;
};

int BitsApart(const uint8_t* a, const uint8_t* b, int count) {
    int bits = 0;
    for (int i = 0; i < count; ++i)
        bits += std::popcount(static_cast<unsigned>(a[i] ^ b[i]));
    return bits;
}

// Quarters in which two blocks differ, bit q for quarter q.
uint8_t DifferingQuarters(const uint8_t* a, const uint8_t* b) {
    uint8_t mask = 0;
    for (int q = 0; q < 4; ++q) {
        if (std::memcmp(a + q * kQuarter, b + q * kQuarter, kQuarter) != 0)
            mask = static_cast<uint8_t>(mask | (1u << q));
    }
    return mask;
}

// Whether now is data written 2^j bytes past its place (j = 0..6, a flipped
// low address bit) over what was there before.
bool ArrivedShifted(const uint8_t* before, const uint8_t* now, const uint8_t* data) {
    for (int shift = 1; shift < kQuarter; shift *= 2) {
        if (std::memcmp(now, before, shift) == 0 &&
            std::memcmp(now + shift, data, kQuarter - shift) == 0)
            return true;
    }
    return false;
}

// Whether data, written over before up to 64 bytes late, may look in place
// while its tail lands past the end of the quarter: when its second half
// repeats its first (any shorter period implies that one) and what was there
// already starts as the data does.
bool ShiftCanHide(const uint8_t* before, const uint8_t* data) {
    return std::memcmp(before, data, kQuarter) != 0 && before[0] == data[0] &&
           std::memcmp(data, data + kQuarter / 2, kQuarter / 2) == 0;
}

// Blocks a quarter of block may have been written to instead, in direct
// mode, as a bit mask over the eight block-number bits (bit i: block ^ 1<<i).
// A command that passed its check can only have lost bit 0 of an address
// byte: byte 2 moves the quarter to block ^ 128 (byte 1 keeps it in the
// block, byte 0 shifts it). One that failed with a single bit j (1..7) wrong
// in its checksum may have lost bit j of byte 1, which is block bit j - 1;
// anything else may have been anywhere.
uint8_t WhereElse(bool failed, uint8_t diff) {
    if (!failed)
        return 0x80;
    const unsigned bits = diff & 0xFEu;
    if (std::popcount(bits) == 1)
        return static_cast<uint8_t>(1u << (std::countr_zero(bits) - 1));
    return 0xFF;
}

// Without knowing what the block held, a quarter whose check failed, or
// whose answer shows a bit 0 flipped on its way, may have gone elsewhere
// even where the block now reads right (it may have held those bytes
// already). False when our data is found where it may have gone.
bool NotSentElsewhere(AgreedReader& reader, uint8_t device, uint8_t block, const uint8_t* data,
                      const LinkPort::WriteReport& report) {
    uint8_t scratch[kBlock];
    for (int q = 0; q < 4; ++q) {
        const bool failed = (report.failed & (1u << q)) != 0;
        if (!failed && (report.odd & (1u << q)) == 0)
            continue;
        const int at = q * kQuarter;
        const uint8_t elsewhere = WhereElse(failed, report.diff[q]);
        for (int bit = 0; bit < 8; ++bit) {
            if ((elsewhere & (1u << bit)) == 0)
                continue;
            if (!reader.Block(device, static_cast<uint8_t>(block ^ (1u << bit)), scratch))
                return false;
            if (std::memcmp(scratch + at, data + at, kQuarter) == 0)
                return false;
        }
        // A late last quarter puts its tail on the next block's first bytes
        // (one byte where only bit 0 flipped).
        if (q != 3 || block == CardLayout::kBlockCount - 1)
            continue;
        const uint32_t next = (static_cast<uint32_t>(block) + 1) * kBlock;
        if (!reader.Span(next - kQuarter / 2, scratch))
            return false;
        const uint8_t* head = scratch + kQuarter / 2;
        for (int shift = 1; shift <= (failed ? kQuarter / 2 : 1); shift *= 2) {
            if (std::memcmp(head, data + kBlock - shift, shift) == 0)
                return false;
        }
    }
    return true;
}

// Writes block and checks it as described at the top; false when it could not
// be written and checked within the attempts, or when it may have damaged
// another block. known: what the block holds, when the command knows it.
bool WriteVerified(LinkPort& link, uint8_t device, uint8_t block, const uint8_t* data,
                   const uint8_t* known) {
    constexpr int kBlockCount = CardLayout::kBlockCount;
    AgreedReader reader(link);
    const bool direct = link.DirectMode;
    const uint32_t base = static_cast<uint32_t>(block) * kBlock;
    uint8_t before[kBlock];
    uint8_t now[kBlock];
    uint8_t scratch[kBlock];

    // Direct mode: what the block holds, so that only the quarters that
    // change are sent and every quarter sent must show up in place. The look
    // costs about as much as sending all four quarters, so it is taken only
    // where nothing else tells a quarter sent elsewhere.
    bool haveBefore = false;
    if (known != nullptr) {
        std::memcpy(before, known, kBlock);
        haveBefore = true;
    } else if (direct && !link.AnswersBitZero()) {
        if (!reader.Block(device, block, before, true))
            return false;
        haveBefore = true;
    }
    // A last quarter that could arrive shifted without showing it: keep the
    // start of the next block, where its tail would land.
    const bool guardNext = direct && haveBefore && block < kBlockCount - 1 &&
                           ShiftCanHide(before + 3 * kQuarter, data + 3 * kQuarter);
    uint8_t nextBefore[kBlock];
    if (guardNext && !reader.Span(base + kQuarter / 2, nextBefore, true))
        return false;

    for (int writesLeft = CardBlockStore::kWriteAttempts; writesLeft > 0; --writesLeft) {
        const uint8_t quarters = haveBefore ? DifferingQuarters(before, data) : 0x0F;
        if (quarters == 0)
            break;
        const bool wrote = link.WriteBlockParts(device, block, data, quarters);
        // The unit commits whole blocks: after a failed write there is
        // nothing to learn from reading, just write again.
        if (!direct && !wrote)
            continue;
        const LinkPort::WriteReport report = link.LastWrite();
        if (direct && !haveBefore && !NotSentElsewhere(reader, device, block, data, report))
            return false;
        if (!reader.Once(device, block, now))
            return false;
        if (std::memcmp(now, data, kBlock) == 0) {
            std::memcpy(before, now, kBlock);
            haveBefore = true;
            break;
        }
        // The link said done, or failed without saying why; what the card
        // holds now takes agreeing reads.
        link.NoteTrouble();
        if (!reader.Block(device, block, now))
            return false;
        if (direct && haveBefore) {
            for (int q = 0; q < 4; ++q) {
                if ((report.sent & (1u << q)) == 0)
                    continue;
                const int at = q * kQuarter;
                if (std::memcmp(now + at, data + at, kQuarter) == 0)
                    continue;
                if (ArrivedShifted(before + at, now + at, data + at)) {
                    // Past the end of the block its tail is out of reach.
                    if (q == 3 && block < kBlockCount - 1)
                        return false;
                    continue;
                }
                // Nearer the data than what was there: it arrived with bits
                // flipped and will be written again.
                if (BitsApart(now + at, data + at, kQuarter) <
                    BitsApart(now + at, before + at, kQuarter))
                    continue;
                // It did not arrive: look where a flipped address sends it.
                const bool failed = (report.failed & (1u << q)) != 0;
                const uint8_t elsewhere = WhereElse(failed, report.diff[q]);
                for (int bit = 0; bit < 8; ++bit) {
                    if ((elsewhere & (1u << bit)) == 0)
                        continue;
                    const uint8_t other = static_cast<uint8_t>(block ^ (1u << bit));
                    if (!reader.Block(device, other, scratch))
                        return false;
                    if (std::memcmp(scratch + at, data + at, kQuarter) == 0)
                        return false;
                }
            }
        }
        std::memcpy(before, now, kBlock);
        haveBefore = true;
    }
    if (!haveBefore || std::memcmp(before, data, kBlock) != 0)
        return false;
    if (guardNext) {
        if (!reader.Span(base + kQuarter / 2, scratch))
            return false;
        // The next block's first 64 bytes follow this block's last 448.
        if (std::memcmp(scratch + kBlock - kQuarter / 2, nextBefore + kBlock - kQuarter / 2,
                        kQuarter / 2) != 0)
            return false;
    }
    return true;
}

// Device numbers of 2 and more select the image file.
constexpr uint8_t kImageDevice = PlaceIndex(CardPlace::Image);

} // namespace

CardBlockStore::~CardBlockStore() {
    CloseImage();
}

bool CardBlockStore::OpenImage(const std::string& fileName) {
    // A second open without a close would lose the first handle.
    CloseImage();
    imageOpen_ = true;
    std::error_code ec;
    if (!std::filesystem::exists(fileName, ec)) {
        std::fill(std::begin(workArea_), std::end(workArea_), uint8_t{0xFF});
        // "x": never truncate a file that exists after all.
        if (std::FILE* created = std::fopen(fileName.c_str(), "wbx")) {
            for (int i = 0; i < CardLayout::kCardBytes / CardLayout::kWorkAreaSize; ++i)
                std::fwrite(workArea_, 1, CardLayout::kWorkAreaSize, created);
            std::fclose(created);
        }
    }
    imageFile_ = std::fopen(fileName.c_str(), "r+b");
    // Unbuffered: a block the disk refuses (full, over a file-size limit)
    // stays out of the stream instead of blocking every later write,
    // including the one that puts the old block back.
    if (imageFile_ != nullptr)
        std::setvbuf(imageFile_, nullptr, _IONBF, 0);
    imageReadOnly_ = false;
    if (imageFile_ == nullptr) {
        // A file we may only read can still be listed and exported; writes
        // to it then fail like any other failed write.
        imageFile_ = std::fopen(fileName.c_str(), "rb");
        imageReadOnly_ = imageFile_ != nullptr;
    }
    // Unbuffered: every read sees the file as it is now, so that a command
    // can tell when another program changed the image since it was listed.
    if (imageFile_ != nullptr)
        std::setvbuf(imageFile_, nullptr, _IONBF, 0);
    imageName_ = fileName;
    const OrderGuess order = GuessImageFileOrder(fileName);
    imageNatural_ = order.order == ImageOrder::Natural;
    imageOrderGuessed_ = !order.fromContent;
    imageOrderUnsure_ = order.Unsure();
    return imageFile_ != nullptr;
}

void CardBlockStore::OpenStream(std::FILE* stream, bool readOnly) {
    CloseImage();
    imageOpen_ = true;
    imageFile_ = stream;
    imageReadOnly_ = readOnly;
    imageNatural_ = false;
    imageName_.clear();
}

void CardBlockStore::CloseImage() {
    if (!imageOpen_)
        return;
    if (imageFile_ != nullptr)
        std::fclose(imageFile_);
    imageFile_ = nullptr;
    imageOpen_ = false;
    imageReadOnly_ = false;
    imageLockHeld_ = 0;
    imageNatural_ = false;
    imageOrderGuessed_ = false;
    imageOrderUnsure_ = false;
}

bool CardBlockStore::Verifies() const {
    // Without settings the safe choice: verified.
    return config_ == nullptr || config_->VerifyTransfers != 0;
}

bool CardBlockStore::ReadRawBlock(uint8_t device, uint8_t block, uint8_t* out512) {
    // The image file is read where it stands: cheap, and another program
    // may change it.
    if (device < kImageDevice && link_ != nullptr &&
        cache_.Find(block, link_->Selection(), out512)) {
        link_->LinkFailed = false; // as after the read it stands for
        return true;
    }
    return ReadFreshBlock(device, block, out512);
}

bool CardBlockStore::ReadFreshBlock(uint8_t device, uint8_t block, uint8_t* out512) {
    if (device >= kImageDevice) {
        if (imageFile_ == nullptr)
            return false;
        if (std::fseek(imageFile_, static_cast<long>(block) * kBlock, SEEK_SET) != 0)
            return false;
        std::clearerr(imageFile_);
        // A short read at the end of a short file is not an error of its own.
        (void)std::fread(out512, 1, kBlock, imageFile_);
        if (imageNatural_)
            SwapWords(out512);
        return std::ferror(imageFile_) == 0;
    }
    if (link_ != nullptr && Verifies()) {
        if (AgreedReader(*link_).Block(device, block, out512)) {
            cache_.Keep(block, link_->Selection(), out512);
            return true;
        }
        link_->LinkFailed = true;
        ReportLinkFailure(kReadErrorText, true);
        return false;
    }
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        if (link_ != nullptr && link_->ReadBlock(device, block, out512)) {
            cache_.Keep(block, link_->Selection(), out512);
            return true;
        }
    }
    ReportLinkFailure(kReadErrorText);
    return false;
}

bool CardBlockStore::ReadBlockOnce(uint8_t device, uint8_t block, uint8_t* out512) {
    if (device >= kImageDevice || link_ == nullptr)
        return ReadFreshBlock(device, block, out512);
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        if (link_->ReadBlock(device, block, out512))
            return true;
    }
    link_->LinkFailed = true;
    ReportLinkFailure(kReadErrorText, Verifies());
    return false;
}

bool CardBlockStore::StoreBlock(uint8_t device, uint8_t block, const uint8_t* data512) {
    if (device >= kImageDevice) {
        // Every command refuses such an image before its first write; this
        // keeps a block in a guessed order off it whatever the caller did.
        if (imageFile_ == nullptr || imageReadOnly_ || imageOrderUnsure_)
            return false;
        if (std::fseek(imageFile_, static_cast<long>(block) * kBlock, SEEK_SET) != 0)
            return false;
        uint8_t natural[kBlock];
        if (imageNatural_) {
            std::memcpy(natural, data512, kBlock);
            SwapWords(natural);
        }
        const size_t written =
            std::fwrite(imageNatural_ ? natural : data512, 1, kBlock, imageFile_);
        // Flushed at once so that a failing disk shows up on this block.
        const bool ok = std::fflush(imageFile_) == 0 && written == kBlock;
        if (!ok)
            std::clearerr(imageFile_);
        return ok;
    }
    // What a failed write did to the card, here or where a garbled address
    // took it, is not known: nothing kept may be served again.
    if (link_ != nullptr && Verifies()) {
        if (WriteVerified(*link_, device, block, data512, cache_.Peek(block, link_->Selection()))) {
            cache_.Keep(block, link_->Selection(), data512);
            return true;
        }
        cache_.ForgetAll();
        link_->LinkFailed = true;
        ReportLinkFailure(kWriteFailedText, true);
        return false;
    }
    for (int attempt = 0; attempt < kWriteAttempts; ++attempt) {
        if (link_ != nullptr && link_->WriteBlock(device, block, data512)) {
            cache_.Keep(block, link_->Selection(), data512);
            return true;
        }
    }
    cache_.ForgetAll();
    ReportLinkFailure(kWriteFailedText);
    return false;
}

void CardBlockStore::ReportLinkFailure(const char* text, bool verified) {
    if (config_ != nullptr)
        config_->AutoRefresh = 0;
    if (feedback_ != nullptr)
        feedback_->ShowInfo(text);
    if (feedback_ != nullptr && verified)
        feedback_->VerifiedTransferFailed();
}
