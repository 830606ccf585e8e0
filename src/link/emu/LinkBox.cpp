#include "link/emu/LinkBox.h"

#include "link/emu/BoxDevice.h"
#include "link/emu/LineTiming.h"

#include <limits>

namespace {

// How a command's frame is laid out after its opcode pair.
struct Layout {
    int args = 0;    // argument bytes the PC sends
    int dataIn = 0;  // data bytes the PC sends
    int dataOut = 0; // data bytes the box sends (the PC echoes)
    bool known = false;
};

Layout LayoutOf(uint8_t op1, uint8_t op2) {
    switch ((op1 << 8) | op2) {
    case 0x02A9:
        return {6, 0, 512, true}; // read memory: address, length
    case 0x0255:
        return {4, 128, 0, true}; // write memory
    case 0x406A:
        return {2, 0, 0, true}; // set page
    case 0x407E:
        return {0, 0, 2, true}; // get page
    case 0xC0CB:
        return {1, 0, 0, true}; // 16M set page
    case 0x4025:
        return {2, 0, 0, true}; // begin block access
    case 0x4031:
        return {2, 0, 0, true}; // end block access
    case 0x033A:
        return {3, 0, 0, true}; // fetch chunk
    case 0x028E:
        return {0, 0, 128, true}; // read chunk
    case 0x121A:
        return {0, 128, 0, true}; // write chunk
    case 0x1369:
        return {3, 0, 0, true}; // store chunk
    case 0x5466:
        return {2, 0, 0, true}; // commit block
    case 0xA5CC:
        return {0, 0, 1, true}; // slot status
    default:
        return {};
    }
}

} // namespace

LinkBox::LinkBox(BoxDevice& device) : device_(device), rng_(1) {}

uint8_t LinkBox::ReadRegister(int offset) {
    switch (offset) {
    case 0:
        return data_;
    case 1:
        if (faults_.noBox)
            return 0;
        if (faults_.bit6StuckHigh)
            return 0x40 | 0x18;
        // Select and no-error lines high, as an idle port shows them.
        return static_cast<uint8_t>((StatusLine() ? 0x40 : 0) | 0x18);
    case 2:
        return control_;
    default:
        return 0xFF;
    }
}

// Every read of the status register is one poll: the busy spells run down
// here, in polls or in time.
uint8_t LinkBox::StatusLine() {
    switch (phase_) {
    case Phase::Busy:
        if (StillBusy())
            return 0;
        phase_ = Phase::Ready;
        return 1;
    case Phase::Ready:
    case Phase::Stalled:
        return 1;
    case Phase::Releasing:
        if (StillBusy())
            return 1;
        StartCommand();
        return statusBit_;
    case Phase::Command:
        return statusBit_;
    case Phase::Missed:
        // Busy through the command it missed; ready again afterwards.
        return StillBusy() ? 0 : 1;
    }
    return 0;
}

bool LinkBox::StillBusy() {
    if (timing_ != nullptr)
        return now_ < busyUntil_;
    if (busyLeft_ > 0) {
        --busyLeft_;
        return true;
    }
    return false;
}

bool LinkBox::ReadyForEdge(bool firstOfByte) const {
    return now_ - lastEdge_ >= timing_->bitSettleNs &&
           (!firstOfByte || now_ - byteDone_ >= timing_->byteSettleNs);
}

void LinkBox::WriteRegister(int offset, uint8_t value) {
    if (faults_.noBox)
        return;
    if (offset == 0)
        OnData(value);
    else if (offset == 2)
        OnControl(value);
}

void LinkBox::OnControl(uint8_t value) {
    const bool was = control_ & 1;
    control_ = value;
    const bool now = value & 1;
    if (now && !was) {
        if (phase_ != Phase::Ready) {
            // A PC that did not wait for the ready line: the box is still busy
            // and never sees this command start.
            phase_ = Phase::Missed;
            return;
        }
        if (faults_.stallCommand != 0 && commandsSeen_ + 1 == faults_.stallCommand) {
            ++commandsSeen_;
            phase_ = Phase::Stalled; // never answers: the line stays high
            return;
        }
        phase_ = Phase::Releasing;
        busyLeft_ = rules_.releasePolls;
        if (timing_ != nullptr) {
            busyUntil_ = now_ + timing_->bitSettleNs;
            if (timing_->bitSettleNs <= 0)
                StartCommand();
        } else if (busyLeft_ <= 0) {
            StartCommand();
        }
    } else if (!now && was) {
        // The command is over: busy for a while before the next one.
        phase_ = Phase::Busy;
        busyLeft_ = rules_.readyPolls;
        if (timing_ != nullptr)
            busyUntil_ = now_ + timing_->byteSettleNs;
    }
}

void LinkBox::BlockWritten() {
    ++blocksWritten_;
    if (faults_.stopAfterWrites != stopArmedAt_) {
        stopArmedAt_ = faults_.stopAfterWrites;
        stopCounted_ = 0;
    }
    if (faults_.stopAfterWrites != 0 && ++stopCounted_ >= faults_.stopAfterWrites)
        faults_.noBox = true;
}

void LinkBox::StartCommand() {
    // Drop the line and get ready for the opcode pair.
    phase_ = Phase::Command;
    statusBit_ = 0;
    bitIndex_ = 0;
    bitTaken_ = false;
    inByte_ = 0;
    byteIndex_ = 0;
    xor_ = 0;
    op1_ = op2_ = 0;
    ok_ = true;
    framingError_ = false;
    lastEdge_ = now_;
    byteDone_ = std::numeric_limits<int64_t>::min() / 2;
    ++commandsSeen_;
    if (faults_.failCommand != armedAt_) {
        armedAt_ = faults_.failCommand;
        sinceArmed_ = 0;
    }
    ++sinceArmed_;
    failThis_ = faults_.failCommand != 0 && sinceArmed_ == faults_.failCommand;
    device_.SetStrictOrder(rules_.strictOrder);
    outByte_ = NextOutByte();
}

bool LinkBox::Flip() {
    if (faults_.bitFlipRate <= 0.0)
        return false;
    if (rngSeed_ != faults_.seed) {
        rngSeed_ = faults_.seed;
        rng_.seed(rngSeed_);
    }
    return std::uniform_real_distribution<double>(0.0, 1.0)(rng_) < faults_.bitFlipRate;
}

void LinkBox::OnData(uint8_t value) {
    const bool clockWas = data_ & 1;
    const bool clockNow = value & 1;
    const bool lineChanged = ((data_ ^ value) & 2) != 0;
    data_ = value;
    if (phase_ != Phase::Command)
        return;
    if (!rules_.strictClock) {
        // Forgiving box: both bits change hands on the falling edge.
        if (clockWas && !clockNow) {
            TakeBit((value >> 1) & 1);
            PresentBit();
        }
        return;
    }
    if (!clockWas && lineChanged) {
        // The line must hold still from the falling edge to the rising one.
        if (!framingError_)
            ++framingErrors_;
        framingError_ = true;
    }
    if (clockWas && !clockNow) {
        uint8_t bit = (value >> 1) & 1;
        if (timing_ != nullptr) {
            // Too soon: the box has not looked at the line again.
            if (ReadyForEdge(bitIndex_ == 0))
                lastLine_ = bit;
            else
                bit = lastLine_;
            lastEdge_ = now_;
        }
        TakeBit(bit);
    } else if (!clockWas && clockNow && bitTaken_) {
        // Too soon: the PC finds the box's previous bit still on the line.
        const bool ready = timing_ == nullptr || ReadyForEdge(false);
        const uint8_t shown = statusBit_;
        PresentBit();
        if (!ready)
            statusBit_ = shown;
        if (timing_ != nullptr) {
            lastEdge_ = now_;
            if (bitIndex_ == 0)
                byteDone_ = now_;
        }
    }
}

void LinkBox::TakeBit(uint8_t bit) {
    ++bitsTaken_;
    if (Flip() || bitsTaken_ == faults_.flipTakenBit)
        bit ^= 1;
    inByte_ = static_cast<uint8_t>((inByte_ << 1) | bit);
    bitTaken_ = true;
}

void LinkBox::PresentBit() {
    bitTaken_ = false;
    uint8_t out = (outByte_ >> (7 - bitIndex_)) & 1;
    ++bitsPresented_;
    if (Flip() || bitsPresented_ == faults_.flipPresentedBit)
        out ^= 1;
    statusBit_ = out;
    if (++bitIndex_ == 8) {
        bitIndex_ = 0;
        OnByteDone(inByte_);
        inByte_ = 0;
        outByte_ = NextOutByte();
    }
}

void LinkBox::OnByteDone(uint8_t received) {
    const int index = byteIndex_++;
    if (index == 0) {
        op1_ = received;
    } else if (index == 1) {
        op2_ = received;
        history_[(commandsSeen_ - 1) % kHistory] = static_cast<uint16_t>((op1_ << 8) | op2_);
    }
    const Layout layout = LayoutOf(op1_, op2_);
    const int argsEnd = 2 + layout.args;
    const int dataEnd = argsEnd + layout.dataIn + layout.dataOut;
    if (index >= dataEnd)
        return; // the PC's checksum (ours went out with it) and anything after
    xor_ ^= received;
    if (index >= 2 && index < static_cast<int>(frame_.size()))
        frame_[index] = received;
    if (index < 1)
        return;
    if (index == 1 && !layout.known) {
        ok_ = false;
    }
    // The device acts once it has all it needs: before the data it sends, or
    // after the last byte it receives.
    // A command told to fail is refused: the device never sees it.
    // A spoiled frame is not carried out either.
    if (layout.known && !failThis_ && !framingError_ &&
        index == argsEnd - 1 + (layout.dataOut ? 0 : layout.dataIn))
        Execute();
}

void LinkBox::Execute() {
    const uint8_t* a = frame_.data() + 2;
    switch ((op1_ << 8) | op2_) {
    case 0x02A9: {
        const uint32_t address = a[0] | (a[1] << 8) | (a[2] << 16) | (uint32_t(a[3]) << 24);
        ok_ = a[4] == 0x00 && a[5] == 0x02 && device_.ReadMemory(address, reply_.data());
        if (ok_) {
            const uint32_t n = (address / 512) & 0xFF;
            ++tally_.blockReads;
            tally_.blocksRead.set(n);
            ++tally_.timesRead[n];
        }
        break;
    }
    case 0x0255: {
        const uint32_t address = a[0] | (a[1] << 8) | (a[2] << 16) | (uint32_t(a[3]) << 24);
        ok_ = device_.WriteMemory(address, a + 4);
        tally_.quarterWrites += ok_ ? 1 : 0;
        if (ok_ && address % BoxDevice::kBlockSize == BoxDevice::kBlockSize - 128)
            BlockWritten();
        break;
    }
    case 0x406A:
        ok_ = device_.SetPage(static_cast<uint16_t>(a[0] | (a[1] << 8)));
        break;
    case 0x407E: {
        uint16_t page = 0;
        ok_ = device_.GetPage(page);
        reply_[0] = static_cast<uint8_t>(page & 0xFF);
        reply_[1] = static_cast<uint8_t>(page >> 8);
        break;
    }
    case 0xC0CB:
        ok_ = device_.SetPage16M(a[0]);
        break;
    case 0x4025:
        ok_ = a[0] == 0x88 && a[1] == 0x20 && device_.BeginBlockAccess();
        break;
    case 0x4031:
        ok_ = a[0] == 0x20 && a[1] == 0x00 && device_.EndBlockAccess();
        break;
    case 0x033A:
        ok_ = device_.FetchChunk(a[0], a[1], a[2]);
        if (ok_ && a[2] == 0) {
            const uint32_t n = (a[0] & 1u) * 256u + a[1];
            ++tally_.blockReads;
            tally_.blocksRead.set(n);
            ++tally_.timesRead[n];
        }
        break;
    case 0x028E:
        ok_ = device_.ReadChunk(reply_.data());
        break;
    case 0x121A:
        ok_ = device_.WriteChunk(a);
        break;
    case 0x1369:
        ok_ = device_.StoreChunk(a[0], a[1], a[2]);
        break;
    case 0x5466:
        ok_ = device_.CommitBlock(a[0], a[1]);
        tally_.commits += ok_ ? 1 : 0;
        if (ok_)
            BlockWritten();
        break;
    case 0xA5CC:
        ok_ = device_.GetSlotStatus(reply_[0]);
        break;
    default:
        ok_ = false;
        break;
    }
}

uint8_t LinkBox::NextOutByte() {
    const int index = byteIndex_;
    if (index == 0)
        return 0xA9;
    if (index == 1)
        return faults_.wrongAck ? 0x54 : 0x55;
    const Layout layout = LayoutOf(op1_, op2_);
    const int argsEnd = 2 + layout.args;
    const int dataEnd = argsEnd + layout.dataIn + layout.dataOut;
    if (index == dataEnd) {
        uint8_t answer = static_cast<uint8_t>(xor_ ^ faults_.checksumXor);
        // A failed command answers a checksum that is off in more than bit 0.
        if (!ok_ || failThis_ || framingError_ || faults_.wrongChecksum)
            answer ^= 0x02;
        return answer;
    }
    if (layout.dataOut && index >= argsEnd && index < dataEnd)
        return reply_[index - argsEnd];
    return 0x00;
}
