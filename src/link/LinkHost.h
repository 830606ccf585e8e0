#pragma once

#include <cstdint>
#include <string>

// What the link needs from the program around it: the clock text that its
// handshake time-outs compare, a repaint of the main window while it waits for
// the box, and the status label that shows "No Device".
class LinkHost {
  public:
    virtual ~LinkHost() = default;
    // Time of day in the long time format, e.g. "14:03:27".
    virtual std::string ClockText() = 0;
    virtual void RepaintMainWindow() = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    // Milliseconds of a clock that never goes back; bounds how long a
    // handshake may wait for a box that is not there.
    virtual int64_t MonotonicMs();
};

// Wall clock, no window: used by the command-line tools.
class ConsoleLinkHost : public LinkHost {
  public:
    std::string ClockText() override;
    void RepaintMainWindow() override {}
    void SetStatusText(const std::string& text) override { status = text; }
    std::string status;

  private:
    // Made again only when the second changes: the link reads the clock at
    // every poll, and local time looks at the time zone file each time.
    long long second_ = -1;
    std::string text_;
};
