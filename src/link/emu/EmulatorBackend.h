#pragma once

#include "link/PortBackend.h"
#include "link/emu/BoxDevice.h"
#include "link/emu/LinkBox.h"

#include <memory>

// The emulated box wired straight to the port registers, in process. It sits
// on whatever base the link selects, as if the cable were on that port.
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

    LinkBox& Box() { return box_; }
    BoxDevice& Device() { return *device_; }

  private:
    std::unique_ptr<BoxDevice> device_;
    LinkBox box_;
    uint16_t base_ = 888;
    bool open_ = false;
};
