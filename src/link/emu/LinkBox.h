#pragma once

#include <array>
#include <cstdint>
#include <random>

class BoxDevice;

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
};

// The box's side of the wire, at register level. It watches the data and
// control registers the PC writes and drives status bit 6: high while idle,
// low once the control line rises, then one data bit per clock edge, most
// significant first, in both directions at once. Commands are decoded byte by
// byte and handed to the device (two-slot unit or paged card).
class LinkBox {
  public:
    explicit LinkBox(BoxDevice& device);

    // Register access in offsets from the port base: 0 data, 1 status, 2 control.
    void WriteRegister(int offset, uint8_t value);
    uint8_t ReadRegister(int offset);

    BoxFaults& Faults() { return faults_; }
    BoxDevice& Device() { return device_; }
    uint32_t CommandsSeen() const { return commandsSeen_; }
    // Opcode pair (first byte high) of the nth command seen, n counted from 0;
    // only the last kHistory are kept.
    static constexpr uint32_t kHistory = 64;
    uint16_t OpcodeOf(uint32_t n) const { return history_[n % kHistory]; }

  private:
    void OnControl(uint8_t value);
    void OnData(uint8_t value);
    void OnByteDone(uint8_t received);
    uint8_t NextOutByte();
    void Execute();
    bool Flip();

    BoxDevice& device_;
    BoxFaults faults_;
    std::mt19937 rng_;
    uint32_t rngSeed_ = 0;

    uint8_t data_ = 0;
    uint8_t control_ = 0;
    bool inCommand_ = false;
    uint8_t statusBit_ = 1;

    // byte exchange in progress
    uint8_t outByte_ = 0;
    uint8_t inByte_ = 0;
    int bitIndex_ = 0;

    // command decoding
    uint32_t commandsSeen_ = 0;
    bool failThis_ = false;
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
};
