#pragma once

#include "link/PortBackend.h"

#include <string>

// Registers served by another process over a UNIX stream socket. Each request
// is 4 bytes: 'R' or 'W', the I/O address as uint16 little-endian, the value
// (0 for a read). A write gets no reply, a read exactly one byte. Writes are
// queued and go out with the next read, which keeps their order; a write to
// the control register goes out at once, so the far end sees a command end
// when it ends. The box closes a connection that has been silent for a few
// seconds (so that one client cannot keep it from the others); a command
// that starts after such a pause connects again first.
class SocketBackend : public PortBackend {
  public:
    explicit SocketBackend(std::string path);
    ~SocketBackend() override;

    bool Open() override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }
    void SelectBase(uint16_t base) override { base_ = base; }
    bool Read(uint16_t port, uint8_t& value) override;
    bool Write(uint16_t port, uint8_t value) override;
    uint32_t LastError() const override { return lastError_; }
    bool NeedsLineTiming() const override { return false; }

    static constexpr uint8_t kRead = 0x52;
    static constexpr uint8_t kWrite = 0x57;
    // How long a read waits for its reply before the connection counts as closed.
    static constexpr int kReplyTimeoutMs = 2000;
    // How long Open waits for a server that is slow to take the connection.
    static constexpr int kConnectTimeoutMs = 200;

    // How long a connection may stay idle before a new command checks
    // whether the box has closed it.
    static constexpr int kIdleCheckMs = 500;

  private:
    bool Connect();
    void ReconnectIfClosed();
    bool Flush();
    void Queue(uint8_t op, uint16_t port, uint8_t value);
    void Fail(int error);

    std::string path_;
    uint16_t base_ = 888;
    int fd_ = -1;
    bool broken_ = false;
    uint32_t lastError_ = 0;
    uint8_t pending_[4096] = {};
    size_t pendingLength_ = 0;
    int64_t lastActivityMs_ = 0;
};
