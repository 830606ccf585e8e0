#include "link/LinkPort.h"

#include <chrono>
#include <cstring>

namespace {

// Characters first..last of text, counted from 1; empty or shorter past the end.
std::string Slice(const std::string& text, size_t first, size_t last) {
    if (first > text.size())
        return {};
    return text.substr(first - 1, last - first + 1);
}

constexpr uint8_t kAck1 = 0xA9;
constexpr uint8_t kAck2 = 0x55;
constexpr uint8_t kStatusLine = 0x40;

} // namespace

LinkPort::LinkPort(std::unique_ptr<PortBackend> backend, LinkHost* host)
    : port_(std::move(backend)), host_(host) {
    spins_ = port_.Backend() == nullptr || port_.Backend()->NeedsLineTiming();
    port_.SelectBase(BasePort);
    port_.SetOpened(true);
    SetSpeed(2000);
    LinkFailed = false;
    BasePort = kDefaultBasePort;
}

LinkPort::~LinkPort() {
    port_.SetOpened(false);
}

void LinkPort::SetHost(LinkHost* host) {
    host_ = host;
}

bool LinkPort::Reopen() {
    port_.SetOpened(false);
    port_.SelectBase(BasePort);
    port_.SetOpened(true);
    return port_.Opened();
}

std::string LinkPort::Clock() {
    return host_ ? host_->ClockText() : fallbackHost_.ClockText();
}

int64_t LinkPort::NowMs() {
    return host_ ? host_->MonotonicMs() : fallbackHost_.MonotonicMs();
}

void LinkPort::SetSpeed(int32_t value) {
    if (value < 1000) {
        ShortDelay = 500;
        LongDelay = 80;
        LongestDelay = 8;
    } else if (value < 100000) {
        ShortDelay = 90000;
        LongDelay = 1000;
        LongestDelay = 100;
    } else {
        ShortDelay = 180000;
        LongDelay = 2000;
        LongestDelay = 200;
    }
}

void LinkPort::SpendDelay(int32_t count) {
    // volatile keeps the optimiser from dropping the loop: the link's speed is
    // this count against the speed of the processor.
    // 64-bit, so that a count of INT32_MAX from the settings still ends.
    volatile int64_t i = 0;
    while (i <= count)
        i = i + 1;
}

int64_t LinkPort::ClockNs() const {
    const PortBackend* backend = port_.Backend();
    const int64_t modelled = backend != nullptr ? backend->ModelledNs() : -1;
    if (modelled >= 0)
        return modelled;
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void LinkPort::ComputeAddresses() {
    dataPort_ = BasePort;
    statusPort_ = static_cast<uint16_t>(BasePort + 1);
    controlPort_ = static_cast<uint16_t>(BasePort + 2);
    port_.SelectBase(BasePort);
}

void LinkPort::BeginCommand() {
    ComputeAddresses();
    LinkFailed = false;
    DataLatch = 1;
    port_.WritePortByte(dataPort_, DataLatch);
    // No port at all (no device node, no permission, nothing listening): no
    // box can answer, so there is nothing to wait for.
    if (!port_.Opened()) {
        LinkFailed = true;
        return;
    }
    int64_t start = NowMs();
    const auto overBudget = [&] { return NowMs() - start >= kHandshakeBudgetMs; };

    // Ready wait: give up only after more than 800 polls and a change of the
    // clock, or once the polls have taken longer than the budget. Each wait
    // has its own budget.
    std::string t0 = Slice(Clock(), 1, 10);
    std::string t;
    int n = 0;
    bool late = false;
    for (;;) {
        t = Slice(Clock(), 1, 10);
        Spend(LongDelay);
        ++n;
        if (port_.ReadPortByte(statusPort_) & kStatusLine)
            break;
        if (n <= kMaxPolls)
            continue;
        late = overBudget();
        if (t == t0 && !late)
            continue;
        break;
    }
    if ((t != t0 || late) && n > kMaxPolls)
        LinkFailed = true;

    port_.WritePortByte(controlPort_, 1);

    // Release wait: the box drops the line once it has seen the control line.
    t0 = Slice(Clock(), 10, 11);
    n = 0;
    late = false;
    start = NowMs();
    for (;;) {
        t = Slice(Clock(), 10, 11);
        if (host_)
            host_->RepaintMainWindow();
        Spend(ShortDelay);
        ++n;
        if ((port_.ReadPortByte(statusPort_) & kStatusLine) == 0)
            break;
        late = n > kReleaseBudgetPolls && overBudget();
        if (t != t0 || n > kMaxPolls || late)
            break;
    }
    if (t != t0 || n > kMaxPolls || late) {
        if (host_)
            host_->SetStatusText(kNoDeviceText);
        LinkFailed = true;
    }
    Spend(LongDelay);
}

void LinkPort::EndCommand() {
    ComputeAddresses();
    port_.WritePortByte(controlPort_, 0);
}

uint8_t LinkPort::ExchangeByte(uint8_t out) {
    uint8_t in = 0;
    for (int bit = 7; bit >= 0; --bit) {
        DataLatch = static_cast<uint8_t>((DataLatch & ~3) + (((out >> bit) & 1) ? 2 : 0));
        port_.WritePortByte(dataPort_, static_cast<uint8_t>(DataLatch + 1));
        port_.WritePortByte(dataPort_, DataLatch);
        Spend(LongestDelay);
        DataLatch = static_cast<uint8_t>(DataLatch + 1);
        port_.WritePortByte(dataPort_, DataLatch);
        in = static_cast<uint8_t>((in << 1) |
                                  ((port_.ReadPortByte(statusPort_) & kStatusLine) ? 1 : 0));
        Spend(LongestDelay);
    }
    Spend(LongDelay);
    lastReceived_ = in;
    return in;
}

uint8_t LinkPort::SendByte(uint8_t out) {
    Checksum ^= out;
    return ExchangeByte(out);
}

bool LinkPort::Handshake() {
    lastDiff_ = 0;
    BeginCommand();
    if (LinkFailed) {
        EndCommand();
        return false;
    }
    Checksum = 0;
    return true;
}

bool LinkPort::OpenFrame(uint8_t op1, uint8_t op2) {
    return Handshake() && SendOpcode(op1, op2);
}

bool LinkPort::SendOpcode(uint8_t op1, uint8_t op2) {
    const uint8_t a1 = SendByte(op1);
    const uint8_t a2 = SendByte(op2);
    if (a1 != kAck1 || a2 != kAck2) {
        NoteTrouble();
        EndCommand();
        return false;
    }
    return true;
}

bool LinkPort::CloseFrame(Check check) {
    const uint8_t expected = Checksum;
    const uint8_t r = ExchangeByte(expected);
    lastDiff_ = static_cast<uint8_t>(r ^ expected);
    const bool ok = check == Check::AllBits ? r == expected : (r | 1) == (expected | 1);
    if (!ok)
        NoteTrouble();
    else if (quiet_ < kQuietCap)
        ++quiet_;
    if (ok && lastDiff_ == 0) {
        if (evenRun_ < kQuietCap)
            ++evenRun_;
    } else {
        evenRun_ = 0;
    }
    EndCommand();
    return ok;
}

void LinkPort::ReceiveEchoed(uint8_t* out, int count) {
    uint8_t echo = lastReceived_;
    for (int i = 0; i < count; ++i) {
        echo = SendByte(echo);
        out[i] = echo;
    }
}

bool LinkPort::ReadMemory(uint32_t address, uint8_t* buffer512) {
    if (!OpenFrame(0x02, 0xA9))
        return false;
    for (int i = 0; i < 4; ++i)
        SendByte(static_cast<uint8_t>(address >> (8 * i)));
    SendByte(0x00);
    SendByte(0x02);
    ReceiveEchoed(buffer512, kBlockSize);
    return CloseFrame(Check::IgnoreBit0);
}

bool LinkPort::WriteMemory(uint32_t address, const uint8_t* data128) {
    bool sent = false;
    return WriteQuarter(address, data128, sent);
}

bool LinkPort::WriteQuarter(uint32_t address, const uint8_t* data128, bool& sent) {
    sent = false;
    if (!OpenFrame(0x02, 0x55))
        return false;
    sent = true;
    for (int i = 0; i < 4; ++i)
        SendByte(static_cast<uint8_t>(address >> (8 * i)));
    for (int i = 0; i < kChunkSize; ++i)
        SendByte(data128[i]);
    return CloseFrame(Check::IgnoreBit0);
}

bool LinkPort::SetPage(uint16_t page) {
    ++selection_;
    if (!OpenFrame(0x40, 0x6A))
        return false;
    SendByte(static_cast<uint8_t>(page & 0xFF));
    SendByte(static_cast<uint8_t>(page >> 8));
    return CloseFrame(Check::AllBits);
}

bool LinkPort::GetPage(uint16_t& page) {
    if (!OpenFrame(0x40, 0x7E))
        return false;
    uint8_t bytes[2];
    ReceiveEchoed(bytes, 2);
    page = static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
    return CloseFrame(Check::AllBits);
}

bool LinkPort::SetPage16M(uint8_t page) {
    ++selection_;
    if (!OpenFrame(0xC0, 0xCB))
        return false;
    SendByte(page);
    return CloseFrame(Check::IgnoreBit0);
}

bool LinkPort::BeginBlockAccess() {
    if (!OpenFrame(0x40, 0x25))
        return false;
    SendByte(0x88);
    SendByte(0x20);
    return CloseFrame(Check::IgnoreBit0);
}

bool LinkPort::EndBlockAccess() {
    if (!OpenFrame(0x40, 0x31))
        return false;
    SendByte(0x20);
    SendByte(0x00);
    return CloseFrame(Check::IgnoreBit0);
}

bool LinkPort::FetchChunk(uint8_t slot, uint8_t block, uint8_t quarter) {
    if (!OpenFrame(0x03, 0x3A))
        return false;
    SendByte(slot);
    SendByte(block);
    SendByte(quarter);
    return CloseFrame(Check::IgnoreBit0);
}

bool LinkPort::ReadChunk(uint8_t* buffer128) {
    if (!OpenFrame(0x02, 0x8E))
        return false;
    ReceiveEchoed(buffer128, kChunkSize);
    return CloseFrame(Check::IgnoreBit0);
}

bool LinkPort::WriteChunk(const uint8_t* data128) {
    if (!OpenFrame(0x12, 0x1A))
        return false;
    for (int i = 0; i < kChunkSize; ++i)
        SendByte(data128[i]);
    return CloseFrame(Check::IgnoreBit0);
}

bool LinkPort::StoreChunk(uint8_t slot, uint8_t block, uint8_t quarter) {
    if (!OpenFrame(0x13, 0x69))
        return false;
    SendByte(slot);
    SendByte(block);
    SendByte(quarter);
    return CloseFrame(Check::IgnoreBit0);
}

bool LinkPort::CommitBlock(uint8_t slot, uint8_t block) {
    if (!OpenFrame(0x54, 0x66))
        return false;
    SendByte(slot);
    SendByte(block);
    return CloseFrame(Check::IgnoreBit0);
}

bool LinkPort::GetSlotStatus(bool& card1, bool& card2) {
    if (!Handshake())
        return false;
    card1 = false;
    card2 = false;
    if (!SendOpcode(0xA5, 0xCC))
        return false;
    uint8_t bits = 0;
    ReceiveEchoed(&bits, 1);
    if (!CloseFrame(Check::IgnoreBit0))
        return false;
    card1 = (bits & 1) != 0;
    card2 = (bits & 2) != 0;
    return true;
}
