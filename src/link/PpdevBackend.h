#pragma once

#include "link/PortBackend.h"

#include <string>

// The kernel's ppdev interface. With a fixed device path it serves that port;
// otherwise it picks the /dev/parportN whose base address equals the base the
// link selects, and follows a changed base at the next command.
class PpdevBackend : public PortBackend {
  public:
    explicit PpdevBackend(std::string devicePath = {});
    ~PpdevBackend() override;

    bool Open() override;
    void Close() override;
    bool IsOpen() const override { return fd_ >= 0; }
    void SelectBase(uint16_t base) override;
    bool Read(uint16_t port, uint8_t& value) override;
    bool Write(uint16_t port, uint8_t value) override;
    uint32_t LastError() const override { return lastError_; }

    // /dev/parportN whose base address is base, or empty.
    static std::string FindDeviceForBase(uint16_t base);

  private:
    bool OpenDevice(const std::string& path);
    void CloseDevice();
    // One register ioctl; false with LastError set.
    bool Transfer(unsigned long request, unsigned char& value);

    std::string fixedPath_;
    std::string openPath_;
    int fd_ = -1;
    uint16_t base_ = 888;
    uint32_t lastError_ = 0;
    bool wantOpen_ = false; // opened by the owner, so a base change reopens
};
