#pragma once

#include "link/PortBackend.h"

#include <cstdint>
#include <memory>

// Byte reads and writes at I/O port addresses. A port that is not open reads 0
// and ignores writes, so every link command times out at its handshake.
class SmallPort {
  public:
    // Error code recorded for a request on a closed port.
    static constexpr uint32_t kNotOpenError = 6;

    explicit SmallPort(std::unique_ptr<PortBackend> backend);
    ~SmallPort();
    SmallPort(const SmallPort&) = delete;
    SmallPort& operator=(const SmallPort&) = delete;

    bool Opened() const;
    void SetOpened(bool opened);

    void SelectBase(uint16_t base);
    uint8_t ReadPortByte(uint16_t port);
    void WritePortByte(uint16_t port, uint8_t value);

    bool LastOk() const { return lastOk_; }
    uint32_t LastError() const { return lastError_; }

    PortBackend* Backend() { return backend_.get(); }
    const PortBackend* Backend() const { return backend_.get(); }

  private:
    std::unique_ptr<PortBackend> backend_;
    bool lastOk_ = true;
    uint32_t lastError_ = 0;
};
