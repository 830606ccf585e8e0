#pragma once

// The link commands the socket fuzz target runs, shared with the seed maker
// so that its recordings of the emulated box answer exactly these commands.
//
// An input is: a count byte, that many command bytes (low nibble: which
// command; high nibble: its argument), then the bytes the far end answers
// port reads with, one per read, in order.

#include "link/LinkHost.h"
#include "link/LinkPort.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// A clock that moves on at every look, so that the link's time-outs end
// after their poll counts instead of after wall-clock seconds.
class SteppingClock : public LinkHost {
  public:
    std::string ClockText() override;
    void RepaintMainWindow() override {}
    void SetStatusText(const std::string&) override {}

  private:
    unsigned long calls_ = 0;
};

struct LinkScript {
    const uint8_t* commands = nullptr;
    size_t count = 0;
    const uint8_t* replies = nullptr;
    size_t replyCount = 0;
};
LinkScript SplitLinkInput(const uint8_t* data, size_t size);

// Runs the commands on link (delays set to 0 first): the link's own
// commands, whole blocks in both device modes and the block store's
// verified reads and writes over it.
void RunLinkCommands(LinkPort& link, const uint8_t* commands, size_t count);

} // namespace fuzz
