#pragma once

#include <cstdint>

// The time of the wire between the PC and the emulated box, for benchmarks
// and tests that want the link at a real box's pace. The clock is simulated,
// not read: every port access adds accessNs, every delay the link would have
// spun adds its loop iterations times loopNs, the time one iteration of the
// link's delay loop takes on this processor. So the waits the box sees
// between line changes are the ones a real port would have given it on this
// machine, however busy the machine is while the model runs, and a transfer
// costs no more real time than the emulator itself takes.
//
// The box has needs of its own. After each clock edge it takes bitSettleNs
// before it can act on the next one (take the PC's bit at a falling edge,
// put its own bit on the line at a rising one), and after the last edge of
// a byte byteSettleNs before it can take the first bit of the next. An edge
// that comes sooner finds it busy: it takes the bit it took before (it has
// not looked at the data line again) or leaves its previous bit on the line,
// so a host that hurries gets wrong bits, as from a real box. Between
// commands it is busy for byteSettleNs after the control line falls, and it
// drops the status line bitSettleNs after the control line rises.
struct LineTiming {
    static constexpr int64_t kPortAccessNs = 1000;

    int64_t accessNs = kPortAccessNs;
    // Nanoseconds per iteration of LinkPort::SpendDelay; 0 takes
    // MeasuredLoopNs().
    double loopNs = 0;
    int64_t bitSettleNs = 0;
    int64_t byteSettleNs = 0;
};

// Nanoseconds one iteration of LinkPort::SpendDelay takes here: the fastest
// of several timed runs, since a run the scheduler cut into only looks
// slower. Measured once per process.
double MeasuredLoopNs();
