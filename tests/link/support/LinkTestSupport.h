#pragma once

#include "link/LinkHost.h"
#include "link/LinkPort.h"
#include "link/emu/EmulatorBackend.h"
#include "support/TestFiles.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <sched.h>
#include <string>
#include <vector>

namespace linktest {

// One port access as the link made it.
struct PortOp {
    bool write;
    uint16_t port;
    uint8_t value;
};

// Records every access and passes it on to an inner backend (or answers
// status reads from a script when there is none).
class TraceBackend : public PortBackend {
  public:
    explicit TraceBackend(std::unique_ptr<PortBackend> inner = nullptr)
        : inner_(std::move(inner)) {}
    bool Open() override { return inner_ ? inner_->Open() : (open_ = true); }
    void Close() override {
        if (inner_)
            inner_->Close();
        open_ = false;
    }
    bool IsOpen() const override { return inner_ ? inner_->IsOpen() : open_; }
    void SelectBase(uint16_t base) override {
        if (inner_)
            inner_->SelectBase(base);
    }
    bool Read(uint16_t port, uint8_t& value) override;
    bool Write(uint16_t port, uint8_t value) override;
    uint32_t LastError() const override { return 0; }

    std::vector<PortOp> ops;
    // Without an inner backend: value of the nth status read (n from 0).
    std::function<uint8_t(size_t)> status = [](size_t) { return uint8_t(0); };
    size_t statusReads = 0;
    PortBackend* Inner() { return inner_.get(); }

  private:
    std::unique_ptr<PortBackend> inner_;
    bool open_ = false;
};

// A clock that moves on by one second every `step` calls.
class SteppingHost : public LinkHost {
  public:
    explicit SteppingHost(long step) : step_(step) {}
    std::string ClockText() override;
    void RepaintMainWindow() override { ++repaints; }
    void SetStatusText(const std::string& text) override { status = text; }
    long calls = 0;
    long repaints = 0;
    std::string status = "Ambrel";

  private:
    long step_;
};

// Bytes the PC sent and received in each command of a trace, decoded from the
// data-register writes and status reads alone.
struct Frame {
    std::vector<uint8_t> sent;
    std::vector<uint8_t> received;
};
std::vector<Frame> DecodeFrames(const std::vector<PortOp>& ops, uint16_t base = 888);

using porvane_test::ReadFileBytes;
using porvane_test::TempDir;
using porvane_test::WriteFileBytes;

// Keeps this process, and the children it starts meanwhile, on one CPU. A
// socket round trip per port read is far cheaper when both ends share a core
// than when every read wakes the other core from idle.
class SameCpu {
  public:
    SameCpu();
    ~SameCpu();

  private:
    cpu_set_t saved_;
    bool pinned_ = false;
};

// porvane-linkbox serving an emulated box on a socket in dir, until Stop()
// or destruction. Start() returns once the socket accepts connections.
class LinkboxProcess {
  public:
    // extra: more options for porvane-linkbox ("--stop-after-writes", "3");
    // errors: a file for its stderr (empty: the test's).
    LinkboxProcess(const std::string& linkSpec, const std::string& socketPath,
                   const std::vector<std::string>& extra = {}, const std::string& errors = "");
    ~LinkboxProcess();
    bool Started() const { return started_; }
    // Asks the server to end and returns its exit status (-1 if it died).
    int Stop();

  private:
    pid_t pid_ = -1;
    bool started_ = false;
};

// A card image of 256 blocks whose bytes follow a pattern seeded by `seed`.
std::vector<uint8_t> PatternCard(uint32_t seed, size_t size = 131072);

// A link with every delay 0 on the given backend.
std::unique_ptr<LinkPort> FastLink(std::unique_ptr<PortBackend> backend, LinkHost* host = nullptr);

} // namespace linktest
