#pragma once

#include <string>

// Time as the main window sees it: the clock text the link's handshake
// compares, and the pauses of the slide animations and the card waits. Tests
// put in a clock that never waits.
class UiClock {
  public:
    virtual ~UiClock() = default;
    // Time of day as "hh:mm:ss".
    virtual std::string ClockText() = 0;
    // Waits ms milliseconds while the window keeps painting and answering the
    // window manager; user input waits until afterwards.
    virtual void Pause(int ms) = 0;
};

// The wall clock and a local event loop that leaves user input queued.
class WallClock : public UiClock {
  public:
    std::string ClockText() override;
    void Pause(int ms) override;

  private:
    // The link reads the clock at every poll: the text is made again only
    // when the second changes (local time costs a look at the time zone file).
    long long second_ = -1;
    std::string text_;
};
