// Device detection and whole-block transfers of LinkPort.
#include "link/LinkPort.h"

#include <cstring>

bool LinkPort::DetectDevice() {
    // The detection selects page 0 for a moment. Where it ends on the card
    // it began on (the two-slot unit, whose slots do not page, or the paged
    // card with its page put back), the blocks a command kept stay good.
    const uint32_t before = selection_;
    const bool wasDirect = DirectMode;
    ++selection_;
    DirectMode = false;
    // Without a good reading of the current page the detection stops here:
    // selecting page 0 with nothing sure to put back would leave a paged card
    // on another page than the one the user works on.
    uint16_t saved = 0;
    if (!GetPage(saved))
        return false;
    if (!SetPage(0))
        return false;
    uint16_t p = 0;
    if (!GetPage(p))
        return false;
    if (p == 0) {
        const bool restored = SetPage(saved);
        DirectMode = true;
        if (restored && wasDirect)
            selection_ = before;
        return true;
    }
    if (p == 255) {
        DirectMode = false;
        if (!wasDirect)
            selection_ = before;
        return true;
    }
    return false;
}

bool LinkPort::ReadBlock(uint8_t slot, uint8_t block, uint8_t* out512) {
    if (DirectMode) {
        const bool ok = ReadMemory(static_cast<uint32_t>(block) * kBlockSize, out512);
        LinkFailed = !ok;
        return ok;
    }
    BeginBlockAccess();
    bool ok = true;
    uint8_t chunk[kChunkSize];
    for (uint8_t q = 0; q < 4 && ok; ++q) {
        ok = FetchChunk(slot, block, q);
        if (ok)
            ok = ReadChunk(chunk);
        if (ok)
            std::memcpy(out512 + q * kChunkSize, chunk, kChunkSize);
    }
    EndBlockAccess();
    // LinkFailed now tells whether the closing command's handshake timed out.
    LinkFailed = !ok || LinkFailed;
    return ok;
}

bool LinkPort::WriteBlock(uint8_t slot, uint8_t block, const uint8_t* data512) {
    return WriteBlockParts(slot, block, data512, 0x0F);
}

bool LinkPort::WriteBlockParts(uint8_t slot, uint8_t block, const uint8_t* data512,
                               uint8_t quarters) {
    lastWrite_ = WriteReport{};
    if (DirectMode) {
        bool ok = true;
        for (uint8_t q = 0; q < 4 && ok; ++q) {
            if ((quarters & (1u << q)) == 0)
                continue;
            bool sent = false;
            ok = WriteQuarter(static_cast<uint32_t>(block) * kBlockSize + q * kChunkSize,
                              data512 + q * kChunkSize, sent);
            if (sent)
                lastWrite_.sent |= static_cast<uint8_t>(1u << q);
            if (sent && !ok) {
                lastWrite_.failed |= static_cast<uint8_t>(1u << q);
                lastWrite_.diff[q] = lastDiff_;
            }
            if (sent && ok && (lastDiff_ & 1u) != 0)
                lastWrite_.odd |= static_cast<uint8_t>(1u << q);
        }
        LinkFailed = !ok;
        return ok;
    }
    BeginBlockAccess();
    bool ok = true;
    for (uint8_t q = 0; q < 4 && ok; ++q) {
        ok = WriteChunk(data512 + q * kChunkSize);
        if (ok) {
            ok = StoreChunk(slot, block, q);
            lastWrite_.sent |= static_cast<uint8_t>(1u << q);
            if (!ok) {
                lastWrite_.failed |= static_cast<uint8_t>(1u << q);
                lastWrite_.diff[q] = lastDiff_;
            }
        }
    }
    // The commit is what writes the card: a commit the box refused (or never
    // answered) means the block was not written, whatever came before.
    const bool committed = CommitBlock(slot, block);
    const bool commitTimedOut = LinkFailed;
    EndBlockAccess();
    ok = ok && committed;
    LinkFailed = !ok || commitTimedOut || LinkFailed;
    return ok;
}

bool LinkPort::ReadSpan(uint32_t address, uint8_t* out512) {
    const bool ok = ReadMemory(address, out512);
    LinkFailed = !ok;
    return ok;
}
