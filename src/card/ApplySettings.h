#pragma once

#include "link/LinkPort.h"
#include "settings/Settings.h"

// Hands the port address and the three delay counts to the link. Header-only
// so that the settings library itself stays free of the link.
inline void ApplySettings(const Settings& settings, LinkPort& link) {
    link.BasePort = settings.BasePort;
    link.ShortDelay = settings.ShortDelay;
    link.LongDelay = settings.LongDelay;
    link.LongestDelay = settings.LongestDelay;
}
