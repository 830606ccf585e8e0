#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <random>

class BoxDevice;
struct LineTiming;

// Faults the emulated box can be told to show, for tests.
struct BoxFaults {
    bool noBox = false;         // nothing on the port: the status line reads 0
    bool bit6StuckHigh = false; // status bit 6 never drops
    bool wrongAck = false;      // second acknowledgement byte 0x54 instead of 0x55
    bool wrongChecksum = false; // every checksum answer is off
    uint8_t checksumXor = 0;    // bits flipped in every checksum answer
    // The Nth command from when this is set (1-based) is refused: the device
    // never sees it and the checksum answer is off.
    uint32_t failCommand = 0;
    // The command that will be CommandsSeen() == N never drops the line.
    uint32_t stallCommand = 0;
    double bitFlipRate = 0.0; // chance that a bit on the wire is flipped, either way
    uint32_t seed = 1;        // for the bit flips
    // One chosen bit flipped: the box takes its BitsTaken() == N bit from the
    // PC flipped, or presents its BitsPresented() == N bit flipped (0: none).
    uint64_t flipTakenBit = 0;
    uint64_t flipPresentedBit = 0;
    // The box stops answering (as noBox) the moment it has written this many
    // blocks from when this is set: a unit's commit, or a paged card's write
    // of a block's last quarter. The last write is on the card; its answer
    // never comes back.
    uint32_t stopAfterWrites = 0;
};

// How strictly the box keeps to the wire protocol. The defaults behave as a
// real box is taken to behave, so that code which only works on a forgiving
// box fails here too; each rule can be relaxed for a test that needs it.
struct BoxRules {
    // Status reads during which the box stays busy: after a command before it
    // raises the ready line, and after the control line rose before it drops
    // it. Both stay far below the 800 polls the link waits at most.
    int readyPolls = 32;
    int releasePolls = 32;
    // The PC's bit is taken only on a falling clock edge and the box's own is
    // put on the line only after the following rising edge; a data line that
    // changes while the clock is low is a framing error, which spoils the
    // command (it is not carried out and its checksum answer is off).
    // Relaxed: the box takes and presents both bits on the falling edge.
    bool strictClock = true;
    // Chunk commands come in their order: ReadChunk only after a FetchChunk,
    // StoreChunk only after a WriteChunk, StoreChunk and CommitBlock only for
    // the block being staged; anything else is refused and writes nothing.
    bool strictOrder = true;
};

// What the box did to its cards: a read of a whole block is a fetch of its
// first quarter (two-slot unit) or a read of 512 bytes (paged card); a write
// is a commit, or a quarter written on the paged card.
struct BoxTally {
    uint64_t blockReads = 0;
    uint64_t commits = 0;
    uint64_t quarterWrites = 0;
    std::bitset<512> blocksRead; // slot x 256 + block
    std::array<uint32_t, 512> timesRead{};
    uint64_t DistinctBlocksRead() const { return blocksRead.count(); }
    uint32_t MostReadsOfOneBlock() const {
        uint32_t most = 0;
        for (uint32_t n : timesRead)
            most = n > most ? n : most;
        return most;
    }
};

// The box's side of the wire, at register level. It watches the data and
// control registers the PC writes and drives status bit 6: low while busy,
// high once ready, low again some polls after the control line rises, then one
// data bit per clock cycle, most significant first, in both directions at
// once. Commands are decoded byte by byte and handed to the device (two-slot
// unit or paged card) as soon as their arguments and data are in: the box does
// not wait for the checksum, so a command whose arguments were garbled on the
// way is carried out as garbled, and only the PC learns that it failed.
class LinkBox {
  public:
    explicit LinkBox(BoxDevice& device);

    // Register access in offsets from the port base: 0 data, 1 status, 2 control.
    void WriteRegister(int offset, uint8_t value);
    uint8_t ReadRegister(int offset);

    // Keeps the wire's time (LineTiming.h) when given one, with the clock
    // set before each access; null: the box answers at once and counts its
    // busy time in polls (BoxRules).
    void UseTiming(const LineTiming* timing) { timing_ = timing; }
    void SetNow(int64_t ns) { now_ = ns; }

    BoxFaults& Faults() { return faults_; }
    BoxRules& Rules() { return rules_; }
    BoxDevice& Device() { return device_; }
    uint32_t CommandsSeen() const { return commandsSeen_; }
    // Blocks written since the box was made.
    uint32_t BlocksWritten() const { return blocksWritten_; }
    // Commands spoiled by a framing error since the box was made.
    uint32_t FramingErrors() const { return framingErrors_; }
    // Bits taken from and presented to the PC since the box was made.
    uint64_t BitsTaken() const { return bitsTaken_; }
    uint64_t BitsPresented() const { return bitsPresented_; }
    // Opcode pair (first byte high) of the nth command seen, n counted from 0;
    // only the last kHistory are kept.
    static constexpr uint32_t kHistory = 64;
    uint16_t OpcodeOf(uint32_t n) const { return history_[n % kHistory]; }
    BoxTally& Tally() { return tally_; }

  private:
    // Where the box is between and within commands.
    enum class Phase {
        Busy,      // line low until busyLeft_ polls have passed
        Ready,     // line high, waiting for the control line
        Releasing, // control line seen; line still high for busyLeft_ polls
        Stalled,   // a stalled command: the line never drops
        Command,   // exchanging bits
        Missed,    // the control line rose while busy: this command is lost
    };

    uint8_t StatusLine();
    // Whether a busy spell goes on at this poll (counting the poll down when
    // the box counts polls).
    bool StillBusy();
    // With timing: whether the box has had its time since its last edge
    // (and, for the first bit of a byte, since the byte before).
    bool ReadyForEdge(bool firstOfByte) const;
    void OnControl(uint8_t value);
    void OnData(uint8_t value);
    void StartCommand();
    void TakeBit(uint8_t bit);
    void PresentBit();
    void OnByteDone(uint8_t received);
    uint8_t NextOutByte();
    void Execute();
    bool Flip();
    // Counts a block written and, when stopAfterWrites says so, goes silent.
    void BlockWritten();

    BoxDevice& device_;
    BoxFaults faults_;
    BoxRules rules_;
    std::mt19937 rng_;
    uint32_t rngSeed_ = 0;

    uint8_t data_ = 0;
    uint8_t control_ = 0;
    Phase phase_ = Phase::Ready;
    int busyLeft_ = 0;
    uint8_t statusBit_ = 1;

    // byte exchange in progress
    uint8_t outByte_ = 0;
    uint8_t inByte_ = 0;
    int bitIndex_ = 0;
    bool bitTaken_ = false; // a bit was taken on this clock cycle's falling edge

    // command decoding
    uint32_t commandsSeen_ = 0;
    uint32_t blocksWritten_ = 0;
    uint32_t stopArmedAt_ = 0;
    uint32_t stopCounted_ = 0;
    uint32_t framingErrors_ = 0;
    uint64_t bitsTaken_ = 0;
    uint64_t bitsPresented_ = 0;
    bool failThis_ = false;
    bool framingError_ = false;
    bool ok_ = true;
    uint32_t armedAt_ = 0;
    uint32_t sinceArmed_ = 0;
    int byteIndex_ = 0;
    uint8_t op1_ = 0;
    uint8_t op2_ = 0;
    uint8_t xor_ = 0;
    std::array<uint8_t, 160> frame_{};
    std::array<uint8_t, 512> reply_{};
    std::array<uint16_t, kHistory> history_{};
    BoxTally tally_;

    // the wire's time, when kept
    const LineTiming* timing_ = nullptr;
    int64_t now_ = 0;
    int64_t busyUntil_ = 0;
    int64_t lastEdge_ = 0;
    int64_t byteDone_ = 0;
    uint8_t lastLine_ = 0; // the data line as the box last sampled it
};
