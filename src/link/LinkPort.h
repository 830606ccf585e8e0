#pragma once

#include "link/LinkHost.h"
#include "link/SmallPort.h"

#include <cstdint>
#include <memory>

// The one object that talks to the link box: handshake, bit-serial byte
// exchange, the command set and whole-block transfers in both device modes.
class LinkPort {
  public:
    static constexpr uint16_t kDefaultBasePort = 888;
    static constexpr int kBlockSize = 512;
    static constexpr int kChunkSize = 128;
    static constexpr int kMaxPolls = 800;
    static constexpr const char* kNoDeviceText = "       No Device";
    // Once a handshake has polled past its counts for this long, the box is
    // taken as absent, so that looking for a missing box stays cheap for the
    // window whose thread it runs on.
    static constexpr int kHandshakeBudgetMs = 40;
    // Polls of the release wait before its budget counts: a box that is
    // slow only because this process was not scheduled still gets them.
    static constexpr int kReleaseBudgetPolls = 100;

    // The port is opened here and closed in the destructor. host may be null
    // (then the wall clock is used and repaint/status go nowhere).
    LinkPort(std::unique_ptr<PortBackend> backend, LinkHost* host);
    ~LinkPort();
    LinkPort(const LinkPort&) = delete;
    LinkPort& operator=(const LinkPort&) = delete;

    void SetHost(LinkHost* host);
    SmallPort& Port() { return port_; }
    // Closes the port and opens it again: a socket box that went away and
    // came back, a ppdev port another driver held, a raw port whose rights
    // came late. True when it is open now.
    bool Reopen();

    void SetSpeed(int32_t value);

    void BeginCommand();
    void EndCommand();
    uint8_t ExchangeByte(uint8_t out);
    uint8_t SendByte(uint8_t out);

    // The command set; each returns whether the box answered correctly.
    bool ReadMemory(uint32_t address, uint8_t* buffer512);
    bool WriteMemory(uint32_t address, const uint8_t* data128);
    bool SetPage(uint16_t page);
    bool GetPage(uint16_t& page);
    bool SetPage16M(uint8_t page);
    bool BeginBlockAccess();
    bool EndBlockAccess();
    bool FetchChunk(uint8_t slot, uint8_t block, uint8_t quarter);
    bool ReadChunk(uint8_t* buffer128);
    bool WriteChunk(const uint8_t* data128);
    bool StoreChunk(uint8_t slot, uint8_t block, uint8_t quarter);
    bool CommitBlock(uint8_t slot, uint8_t block);
    bool GetSlotStatus(bool& card1, bool& card2);

    // Device detection and whole 512-byte blocks, carried in card order.
    bool DetectDevice();
    bool ReadBlock(uint8_t slot, uint8_t block, uint8_t* out512);
    bool WriteBlock(uint8_t slot, uint8_t block, const uint8_t* data512);

    // What the last block write put on the wire, so that the block store can
    // tell where a garbled write may have landed.
    struct WriteReport {
        uint8_t sent = 0;     // quarters whose data went out (bit q for quarter q)
        uint8_t failed = 0;   // of those, the ones whose command failed its check
        uint8_t odd = 0;      // of those that passed, the ones answered with bit 0 off
        uint8_t diff[4] = {}; // per failed quarter: our checksum XOR the box's answer
    };
    // WriteBlock that, in direct mode, sends only the quarters set in
    // quarters (bit q for quarter q); the chunked unit always takes all four.
    bool WriteBlockParts(uint8_t slot, uint8_t block, const uint8_t* data512, uint8_t quarters);
    const WriteReport& LastWrite() const { return lastWrite_; }
    // Direct mode: the 512 bytes from any byte address of the current page,
    // with LinkFailed set as for ReadBlock.
    bool ReadSpan(uint32_t address, uint8_t* out512);

    // Commands answered correctly since the last one that was not (or since
    // NoteTrouble), counted up to a cap: how quiet the line has been lately.
    uint32_t QuietCommands() const { return quiet_; }
    // An error the link could not see itself, such as two reads that differ.
    void NoteTrouble() {
        quiet_ = 0;
        evenRun_ = 0;
    }
    // The check ignores bit 0 of the box's checksum answer. Where the box
    // computes that bit too, a bit 0 that differs is the one sign of a bit-0
    // flip on the way to it (in an address byte it sends a quarter
    // elsewhere). Whether it does shows in a long run of answers that all
    // agree in bit 0; a box that answers that bit at random, or a line that
    // has lately shown an error, never has one.
    static constexpr uint32_t kEvenAnswers = 64;
    bool AnswersBitZero() const { return evenRun_ >= kEvenAnswers; }

    // Changes whenever a page command goes out (the card behind the block
    // numbers may change with it), so that blocks kept by a command's cache
    // are known to belong to the card now selected; not for a device
    // detection that ends on the card it began on.
    uint32_t Selection() const { return selection_; }

    // Busy-wait of count + 1 empty loop iterations; none for a negative count.
    static void SpendDelay(int32_t count);
    // Nanoseconds on the link's own clock: the modelled wire time of an
    // emulated box that keeps one, the steady clock otherwise. Only
    // differences mean anything.
    int64_t ClockNs() const;
    // Whether the delays are spent: not for an emulated or socket box.
    bool SpinsDelays() const { return spins_; }

    uint8_t DataLatch = 0;
    uint8_t Checksum = 0;
    bool LinkFailed = false;
    uint16_t BasePort = kDefaultBasePort;
    bool DirectMode = false;
    int32_t ShortDelay = 0;
    int32_t LongDelay = 0;
    int32_t LongestDelay = 0;

  private:
    enum class Check { IgnoreBit0, AllBits };

    void ComputeAddresses();
    bool Handshake();
    bool SendOpcode(uint8_t op1, uint8_t op2);
    bool OpenFrame(uint8_t op1, uint8_t op2);
    bool CloseFrame(Check check);
    // Data phase in which the box sends: each byte sent echoes the one before.
    void ReceiveEchoed(uint8_t* out, int count);
    std::string Clock();
    int64_t NowMs();
    // SpendDelay where the port has a real line to pace.
    void Spend(int32_t count) {
        if (spins_)
            SpendDelay(count);
        else if (port_.Backend() != nullptr)
            port_.Backend()->SkippedDelay(count);
    }
    // WriteMemory that also says whether its data went out.
    bool WriteQuarter(uint32_t address, const uint8_t* data128, bool& sent);

    SmallPort port_;
    LinkHost* host_ = nullptr;
    ConsoleLinkHost fallbackHost_;
    uint16_t dataPort_ = 0;
    uint16_t statusPort_ = 0;
    uint16_t controlPort_ = 0;
    uint8_t lastReceived_ = 0;
    static constexpr uint32_t kQuietCap = 1u << 20;
    uint8_t lastDiff_ = 0;       // checksum sent XOR answer of the last closed frame
    uint32_t quiet_ = kQuietCap; // quiet until it shows otherwise
    WriteReport lastWrite_;
    bool spins_ = true;
    uint32_t evenRun_ = 0; // answers in a row that passed and agreed in bit 0
    uint32_t selection_ = 0;
};
