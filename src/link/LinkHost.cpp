#include "link/LinkHost.h"

#include <chrono>
#include <ctime>

std::string ConsoleLinkHost::ClockText() {
    const std::time_t now = std::time(nullptr);
    if (now == second_)
        return text_;
    second_ = now;
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    text_ = text;
    return text_;
}

int64_t LinkHost::MonotonicMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
