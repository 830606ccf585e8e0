#include "link/emu/EmulatorBackend.h"

EmulatorBackend::EmulatorBackend(std::unique_ptr<BoxDevice> device)
    : device_(std::move(device)), box_(*device_) {}

bool EmulatorBackend::Open() {
    open_ = true;
    return true;
}

void EmulatorBackend::UseTiming(const LineTiming& timing) {
    timing_ = timing;
    if (timing_.loopNs <= 0)
        timing_.loopNs = MeasuredLoopNs();
    timed_ = true;
    box_.UseTiming(&timing_);
    box_.SetNow(static_cast<int64_t>(clockNs_));
}

void EmulatorBackend::NoTiming() {
    timed_ = false;
    box_.UseTiming(nullptr);
}

void EmulatorBackend::Tick(double ns) {
    if (!timed_)
        return;
    clockNs_ += ns;
    box_.SetNow(static_cast<int64_t>(clockNs_));
}

void EmulatorBackend::SkippedDelay(int32_t count) {
    if (count >= 0)
        Tick((static_cast<double>(count) + 1) * timing_.loopNs);
}

bool EmulatorBackend::Read(uint16_t port, uint8_t& value) {
    // The access ends when its time is up; the box answers as it is then.
    Tick(static_cast<double>(timing_.accessNs));
    const int offset = port - base_;
    value = (offset >= 0 && offset <= 2) ? box_.ReadRegister(offset) : 0xFF;
    return true;
}

bool EmulatorBackend::Write(uint16_t port, uint8_t value) {
    Tick(static_cast<double>(timing_.accessNs));
    const int offset = port - base_;
    if (offset >= 0 && offset <= 2)
        box_.WriteRegister(offset, value);
    return true;
}
