#include "tools/icon/BmpTestFiles.h"

#include "support/TestFiles.h"

#include "card/IconBmp.h"
#include "tools/icon/LogoPicture.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace icontest;

namespace {

std::vector<Rgb> Ramp(int count) {
    std::vector<Rgb> palette;
    for (int i = 0; i < count; ++i)
        palette.push_back(
            {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i), static_cast<uint8_t>(i * 7)});
    return palette;
}

int Diagonal(int y, int x) {
    return (y * 3 + x) % 16;
}

} // namespace

TEST(LogoPicture, HeaderCheckReadsTheFileItself) {
    porvane_test::TempDir dir;
    BmpHeaderInfo info;

    BmpLayout setup;
    setup.palette = Ramp(256);
    WriteBmp(dir.File("ok.bmp"), setup);
    ASSERT_TRUE(ReadBmpHeader(dir.File("ok.bmp"), info));
    EXPECT_TRUE(IsLogoPicture(info));

    // Toolkits report 4 bits as 8; the header says 4.
    setup.bitsPerPixel = 4;
    setup.palette = Ramp(16);
    WriteBmp(dir.File("four.bmp"), setup);
    ASSERT_TRUE(ReadBmpHeader(dir.File("four.bmp"), info));
    EXPECT_EQ(info.bitsPerPixel, 4);
    EXPECT_FALSE(IsLogoPicture(info));

    setup = BmpLayout{};
    setup.width = 33;
    setup.palette = Ramp(256);
    WriteBmp(dir.File("wide.bmp"), setup);
    ASSERT_TRUE(ReadBmpHeader(dir.File("wide.bmp"), info));
    EXPECT_FALSE(IsLogoPicture(info));

    setup.width = 32;
    setup.topDown = true;
    WriteBmp(dir.File("down.bmp"), setup);
    ASSERT_TRUE(ReadBmpHeader(dir.File("down.bmp"), info));
    EXPECT_TRUE(info.topDown);
    EXPECT_EQ(info.height, 32);
    EXPECT_TRUE(IsLogoPicture(info));

    EXPECT_FALSE(ReadBmpHeader(dir.File("missing.bmp"), info));
    std::ofstream(dir.File("text.bmp")) << "not a picture at all, just some words";
    EXPECT_FALSE(ReadBmpHeader(dir.File("text.bmp"), info));
}

TEST(LogoPicture, ReadsOtherLayoutsOfTheSamePicture) {
    porvane_test::TempDir dir;
    // The program's own layout, through ReadIconBmp.
    BmpLayout setup;
    setup.palette = Ramp(256);
    setup.index = [](int y, int x) { return (y * 32 + x) % 256; };
    WriteBmp(dir.File("own.bmp"), setup);
    uint8_t own[IconArea::kSize] = {};
    ASSERT_TRUE(ReadLogoPicture(own, dir.File("own.bmp")));
    uint8_t direct[IconArea::kSize] = {};
    ASSERT_TRUE(ReadIconBmp(direct, dir.File("own.bmp")));
    EXPECT_EQ(0, std::memcmp(own, direct, sizeof own));

    // 16 colours, rows top-down: the same pixels, missing colours black.
    setup.palette = Ramp(16);
    setup.topDown = true;
    setup.index = Diagonal;
    WriteBmp(dir.File("short.bmp"), setup);
    uint8_t area[IconArea::kSize];
    std::memset(area, 0xEE, sizeof area);
    ASSERT_TRUE(ReadLogoPicture(area, dir.File("short.bmp")));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(area[IconArea::PixelOffset(y, x)], Diagonal(y, x)) << y << "," << x;
    const uint8_t* entry5 = area + IconArea::PaletteOffset(5);
    EXPECT_EQ(entry5[0], 35);  // blue
    EXPECT_EQ(entry5[1], 250); // green
    EXPECT_EQ(entry5[2], 5);   // red
    const uint8_t* entry16 = area + IconArea::PaletteOffset(16);
    EXPECT_EQ(entry16[0] | entry16[1] | entry16[2], 0);

    // A 4-bit picture is refused and changes nothing.
    setup.bitsPerPixel = 4;
    WriteBmp(dir.File("four.bmp"), setup);
    uint8_t before[IconArea::kSize];
    std::memcpy(before, area, sizeof area);
    EXPECT_FALSE(ReadLogoPicture(area, dir.File("four.bmp")));
    EXPECT_EQ(0, std::memcmp(before, area, sizeof area));
}

TEST(LogoPicture, LcdColoursAndTheAutomaticChoice) {
    uint8_t area[IconArea::kSize] = {};
    const Rgb colours[6] = {{0, 0, 0},      {255, 255, 255}, {200, 30, 30},
                            {255, 255, 60}, {60, 60, 200},   {128, 128, 128}};
    for (int k = 0; k < 16; ++k) {
        const Rgb c = k < 6 ? colours[k] : Rgb{255, 255, 255};
        uint8_t* entry = area + IconArea::PaletteOffset(k);
        entry[0] = c.blue;
        entry[1] = c.green;
        entry[2] = c.red;
    }
    area[IconArea::PaletteOffset(16)] = 0x42;
    bool dark[16];
    ChooseDarkColours(area, dark);
    EXPECT_TRUE(dark[0]);
    EXPECT_FALSE(dark[1]);
    EXPECT_TRUE(dark[2]); // dark red
    EXPECT_FALSE(dark[3]);
    EXPECT_TRUE(dark[4]); // dark blue
    EXPECT_FALSE(dark[5]);

    ApplyLcdColours(area, dark);
    for (int k = 0; k < 16; ++k) {
        const uint8_t* entry = area + IconArea::PaletteOffset(k);
        const uint8_t want = dark[k] ? 0 : 255;
        EXPECT_TRUE(entry[0] == want && entry[1] == want && entry[2] == want) << k;
    }
    EXPECT_EQ(area[IconArea::PaletteOffset(16)], 0x42);
}
