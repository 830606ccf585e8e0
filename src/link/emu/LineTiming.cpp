#include "link/emu/LineTiming.h"

#include "link/LinkPort.h"

#include <algorithm>
#include <chrono>

namespace {

double Measure() {
    constexpr int32_t kIterations = 1 << 20;
    constexpr int kRuns = 9;
    double best = 1e9;
    for (int run = 0; run < kRuns; ++run) {
        const auto start = std::chrono::steady_clock::now();
        LinkPort::SpendDelay(kIterations - 1);
        const auto took = std::chrono::steady_clock::now() - start;
        best = std::min(best, std::chrono::duration<double, std::nano>(took).count() / kIterations);
    }
    return best;
}

} // namespace

double MeasuredLoopNs() {
    static const double measured = Measure();
    return measured;
}
