#pragma once

#include <cstdint>

// The system calls the ppdev backend makes, in one place so that tests can
// stand in for a port that another driver holds, that vanishes (a USB adapter
// pulled out, the module unloaded) or that comes back.
class PpdevSystem {
  public:
    virtual ~PpdevSystem() = default;

    // Each returns as the system call does: -1 (or false) with errno set.
    virtual int Open(const char* path);
    virtual void Close(int fd);
    virtual int Ioctl(int fd, unsigned long request, void* arg);
    // Claims the port, giving up after timeoutMs with errno ETIMEDOUT: the
    // kernel lets a claim wait for as long as another driver (the printer
    // driver, say) holds the port.
    virtual bool Claim(int fd, int timeoutMs);
    // Milliseconds of a clock that never goes back.
    virtual int64_t NowMs();

  protected:
    // The claim itself; may wait, and then ends with EINTR on a signal.
    virtual int BlockingClaim(int fd);
};
