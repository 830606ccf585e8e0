#pragma once

#include "link/PortBackend.h"

// Direct inb/outb on the port's three registers, for systems without ppdev.
// Needs the right to raise the I/O privilege (root or CAP_SYS_RAWIO).
class RawIoBackend : public PortBackend {
  public:
    ~RawIoBackend() override;
    bool Open() override;
    void Close() override;
    bool IsOpen() const override { return open_; }
    void SelectBase(uint16_t base) override;
    bool Read(uint16_t port, uint8_t& value) override;
    bool Write(uint16_t port, uint8_t value) override;
    uint32_t LastError() const override { return lastError_; }

  private:
    bool Grant(uint16_t base);
    // Whether port is one of the three this process may touch.
    bool Granted(uint16_t port);
    bool open_ = false;
    uint16_t base_ = 888;
    uint16_t granted_ = 0;
    uint32_t lastError_ = 0;
};
