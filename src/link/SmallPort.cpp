#include "link/SmallPort.h"

SmallPort::SmallPort(std::unique_ptr<PortBackend> backend) : backend_(std::move(backend)) {}

SmallPort::~SmallPort() {
    SetOpened(false);
}

bool SmallPort::Opened() const {
    return backend_ && backend_->IsOpen();
}

void SmallPort::SetOpened(bool opened) {
    if (!backend_) {
        lastOk_ = !opened;
        lastError_ = opened ? kNotOpenError : 0;
        return;
    }
    if (opened && !backend_->IsOpen()) {
        lastOk_ = backend_->Open();
        lastError_ = lastOk_ ? 0 : backend_->LastError();
    } else if (!opened && backend_->IsOpen()) {
        backend_->Close();
        lastOk_ = true;
    }
}

void SmallPort::SelectBase(uint16_t base) {
    if (backend_)
        backend_->SelectBase(base);
}

uint8_t SmallPort::ReadPortByte(uint16_t port) {
    if (!Opened()) {
        lastOk_ = false;
        lastError_ = kNotOpenError;
        return 0;
    }
    uint8_t value = 0;
    lastOk_ = backend_->Read(port, value);
    if (!lastOk_) {
        lastError_ = backend_->LastError();
        return 0;
    }
    return value;
}

void SmallPort::WritePortByte(uint16_t port, uint8_t value) {
    if (!Opened()) {
        lastOk_ = false;
        lastError_ = kNotOpenError;
        return;
    }
    lastOk_ = backend_->Write(port, value);
    if (!lastOk_)
        lastError_ = backend_->LastError();
}
