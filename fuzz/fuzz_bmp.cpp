// A picture from outside, as the caption-logo import reads it: the header
// check, both readers and the logo built from what they read.
#include "FuzzFiles.h"
#include "card/IconBmp.h"
#include "tools/icon/LogoPicture.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static fuzz::MemFile picture("picture");
    static fuzz::MemFile out("out");
    picture.Set(data, size);

    uint8_t area[IconArea::kSize];
    std::memset(area, 0xA5, sizeof area);
    (void)ReadIconBmp(area, picture.Path());

    BmpHeaderInfo info;
    if (ReadBmpHeader(picture.Path(), info))
        (void)IsLogoPicture(info);
    std::memset(area, 0, sizeof area);
    if (!ReadLogoPicture(area, picture.Path()))
        return 0;
    uint8_t lcd[IconArea::kSize];
    std::memcpy(lcd, area, sizeof lcd);
    bool dark[16] = {};
    ChooseDarkColours(area, dark);
    ApplyLcdColours(lcd, dark);
    BuildLogoDci(area, lcd, "FUZZ", out.Path());
    return 0;
}
