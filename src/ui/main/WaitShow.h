#pragma once

// The wait window as the runner and the prompter wrapper put it up and take
// it down: nothing else does. The window's own (WaitWindowShow) stands
// centred over the main window; a test puts in one that only counts.
class WaitShow {
  public:
    virtual ~WaitShow() = default;
    // Centred over the main window, shown without blocking, painted at once.
    virtual void Show() = 0;
    virtual void Hide() = 0;
    // Up without blocking (the modal wait of the page change is not: hiding
    // it would end it).
    virtual bool Up() const = 0;
    // Modal until its own close timer fires.
    virtual void RunUntilItCloses() = 0;
};
