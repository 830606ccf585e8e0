#pragma once

#include <cstdint>

// One way of reaching the parallel port's three registers. SmallPort owns one
// and talks to it in absolute I/O addresses; the backend maps them to whatever
// it drives (a ppdev device, raw I/O ports, an emulated box, a socket).
class PortBackend {
  public:
    virtual ~PortBackend() = default;

    // Opens the backend; false leaves it closed with LastError() explaining why.
    virtual bool Open() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // The link recomputes its register addresses at every command; a backend
    // that serves one port at a time follows a changed base here.
    virtual void SelectBase(uint16_t base) { (void)base; }

    // Both report success; a failed read leaves value untouched.
    virtual bool Read(uint16_t port, uint8_t& value) = 0;
    virtual bool Write(uint16_t port, uint8_t value) = 0;

    // Whether the link's spin delays matter: they pace a real line, and only
    // slow down a box that is emulated in this process or behind a socket.
    virtual bool NeedsLineTiming() const { return true; }

    // Where the delays are not spun: the link tells of each one it skipped
    // (count as it would have been spun), so that a backend that keeps a
    // model of the wire's time can charge for it.
    virtual void SkippedDelay(int32_t count) { (void)count; }
    // Nanoseconds of that modelled time so far; -1 where time is real.
    virtual int64_t ModelledNs() const { return -1; }

    // errno-style code of the last failure.
    virtual uint32_t LastError() const = 0;
};
