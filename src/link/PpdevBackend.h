#pragma once

#include "link/PortBackend.h"
#include "link/PpdevSystem.h"

#include <memory>
#include <string>

// The kernel's ppdev interface. With a fixed device path it serves that port,
// whatever its base address (a USB adapter has none); otherwise it picks the
// /dev/parportN whose base address equals the base the link selects, and
// follows a changed base at the next command.
//
// Real ports misbehave: a claim that another driver holds the port for is
// given up after ClaimTimeoutMs, and the port stays closed; a device that
// vanishes mid-run (its requests fail with ENODEV, ENXIO or EIO) is closed and
// looked for again, at most once a second, at the start of each command, as
// is one that was missing when the port was opened.
class PpdevBackend : public PortBackend {
  public:
    static constexpr const char* kProcRoot = "/proc/sys/dev/parport";
    static constexpr int kClaimTimeoutMs = 1000;
    static constexpr int kRetryIntervalMs = 1000;

    explicit PpdevBackend(std::string devicePath = {},
                          std::shared_ptr<PpdevSystem> system = nullptr,
                          std::string procRoot = kProcRoot);
    ~PpdevBackend() override;

    bool Open() override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }
    void SelectBase(uint16_t base) override;
    bool Read(uint16_t port, uint8_t& value) override;
    bool Write(uint16_t port, uint8_t value) override;
    uint32_t LastError() const override { return lastError_; }

    void SetClaimTimeoutMs(int ms) { claimTimeoutMs_ = ms; }

    // /dev/parportN whose base address is base, looked up among every port
    // the kernel lists under procRoot (lowest N first), or empty.
    static std::string FindDeviceForBase(uint16_t base, const std::string& procRoot = kProcRoot);

  private:
    bool OpenDevice(const std::string& path);
    void CloseDevice();
    // Looks for the device again once the retry interval has passed.
    void RetryIfLost();
    // One register ioctl; false with LastError set. A vanished device is closed.
    bool Transfer(unsigned long request, unsigned char& value);

    std::string fixedPath_;
    std::shared_ptr<PpdevSystem> system_;
    std::string procRoot_;
    std::string openPath_;
    int fd_ = -1;
    uint16_t base_ = 888;
    uint32_t lastError_ = 0;
    int claimTimeoutMs_ = kClaimTimeoutMs;
    bool wantOpen_ = false; // opened by the owner, so a base change reopens
    bool retry_ = false;    // the device is missing, not busy: look again
    int64_t lastTryMs_ = 0;
};
