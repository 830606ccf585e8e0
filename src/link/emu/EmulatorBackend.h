#pragma once

#include "link/PortBackend.h"
#include "link/emu/BoxDevice.h"
#include "link/emu/LineTiming.h"
#include "link/emu/LinkBox.h"

#include <memory>

// The emulated box wired straight to the port registers, in process. It sits
// on whatever base the link selects, as if the cable were on that port. It
// answers at once, unless told to keep the wire's time (UseTiming).
class EmulatorBackend : public PortBackend {
  public:
    explicit EmulatorBackend(std::unique_ptr<BoxDevice> device);

    bool Open() override;
    void Close() override { open_ = false; }
    bool IsOpen() const override { return open_; }
    void SelectBase(uint16_t base) override { base_ = base; }
    bool Read(uint16_t port, uint8_t& value) override;
    bool Write(uint16_t port, uint8_t value) override;
    uint32_t LastError() const override { return 0; }
    bool NeedsLineTiming() const override { return false; }
    void SkippedDelay(int32_t count) override;
    int64_t ModelledNs() const override { return timed_ ? static_cast<int64_t>(clockNs_) : -1; }

    // From now on every access and every skipped delay costs modelled time,
    // and the box misreads what comes faster than it needs (LineTiming.h).
    void UseTiming(const LineTiming& timing);
    // Back to a box that answers at once.
    void NoTiming();
    bool Timed() const { return timed_; }
    const LineTiming& Timing() const { return timing_; }

    LinkBox& Box() { return box_; }
    BoxDevice& Device() { return *device_; }

  private:
    void Tick(double ns);

    std::unique_ptr<BoxDevice> device_;
    LinkBox box_;
    uint16_t base_ = 888;
    bool open_ = false;
    bool timed_ = false;
    LineTiming timing_;
    double clockNs_ = 0;
};
