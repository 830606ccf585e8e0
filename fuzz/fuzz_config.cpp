// "RUD2.cfg" from outside, read at start-up, then written back and read
// again: what was read must survive its own round trip.
#include "FuzzFiles.h"
#include "settings/ConfigFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string folder = fuzz::PrivateFolder() + "/";
    static const std::string path = folder + kConfigFileName;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(data, 1, size, file) != size || std::fclose(file) != 0)
        std::abort();

    Settings settings;
    std::string error;
    LoadConfig(folder, settings, &error);
    if (!SaveConfig(folder, settings, &error))
        std::abort();
    Settings again;
    LoadConfig(folder, again, &error);
    const bool same =
        settings.BasePort == again.BasePort && settings.ShortDelay == again.ShortDelay &&
        settings.LongDelay == again.LongDelay && settings.LongestDelay == again.LongestDelay &&
        settings.BarMax == again.BarMax && settings.DragMode == again.DragMode &&
        settings.AutoRefresh == again.AutoRefresh &&
        settings.VerifyTransfers == again.VerifyTransfers;
    if (!same)
        std::abort();
    return 0;
}
