#include "link/emu/EmulatorBackend.h"

EmulatorBackend::EmulatorBackend(std::unique_ptr<BoxDevice> device)
    : device_(std::move(device)), box_(*device_) {}

bool EmulatorBackend::Open() {
    open_ = true;
    return true;
}

bool EmulatorBackend::Read(uint16_t port, uint8_t& value) {
    const int offset = port - base_;
    value = (offset >= 0 && offset <= 2) ? box_.ReadRegister(offset) : 0xFF;
    return true;
}

bool EmulatorBackend::Write(uint16_t port, uint8_t value) {
    const int offset = port - base_;
    if (offset >= 0 && offset <= 2)
        box_.WriteRegister(offset, value);
    return true;
}
