#include "card/CardVolume.h"
#include "card/IconBmp.h"
#include "card/support/CardTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

using namespace cardtest;

namespace {

// Pixel (y, x) of test frame k.
uint8_t FramePixel(int k, int y, int x) {
    return static_cast<uint8_t>((k * 5 + y + 3 * x) & 0xF);
}

// Lays frames 0..count-1 into natural-order blocks from the header block on:
// rows 0..23 at 0x80 of block k, rows 24..31 at the start of block k + 1.
void PackFrames(std::vector<std::array<uint8_t, 512>>& blocks, int count) {
    for (int k = 0; k < count; ++k) {
        for (int y = 0; y < 32; ++y) {
            for (int q = 0; q < 16; ++q) {
                const uint8_t two = static_cast<uint8_t>(FramePixel(k, y, 2 * q) << 4 |
                                                         FramePixel(k, y, 2 * q + 1));
                if (y < 24)
                    blocks[k][0x80 + 16 * y + q] = two;
                else
                    blocks[k + 1][16 * (y - 24) + q] = two;
            }
        }
    }
}

class IconTest : public ::testing::Test {
  protected:
    void SetUp() override {
        volume.SetPlace(CardPlace::Image);
        ASSERT_TRUE(volume.OpenImage(dir.File("card.dcm")));
        ASSERT_TRUE(volume.FormatVolume(200));
        volume.ReadFat();
    }

    // A saver of `frames` icon frames whose chain is `chain` (header first).
    void PutSaver(int entry, bool game, const std::vector<uint8_t>& chain, uint8_t frames) {
        std::vector<std::array<uint8_t, 512>> blocks(chain.size(), std::array<uint8_t, 512>{});
        blocks[0][0x40] = frames;
        blocks[0][0x41] = 0xFF;
        blocks[0][0x60] = 0xC4; // colour 0 = F8C4
        blocks[0][0x61] = 0xF8;
        blocks[0][0x62] = 0x21; // colour 1 = 0321
        blocks[0][0x63] = 0x03;
        PackFrames(blocks, static_cast<int>(std::min<size_t>(frames, chain.size() - 1)));
        for (size_t i = 0; i < chain.size(); ++i) {
            WriteNatural(volume, chain[i], blocks[i].data());
            volume.Fat()[chain[i]] = i + 1 < chain.size() ? chain[i + 1] : CardVolume::kFatEnd;
        }
        if (game) {
            uint8_t junk[512];
            std::memset(junk, 0xEE, sizeof junk);
            WriteNatural(volume, 0, junk);
            volume.Fat()[0] = chain[0];
        }
        SetEntry(volume.Entries()[entry], game ? 0xCC : 0x33, game ? 0 : chain[0], "SAVER",
                 static_cast<uint8_t>(chain.size() + (game ? 1 : 0)));
        volume.DecodeEntry(entry);
    }

    // Extracts a frame and compares it with the test pattern.
    void ExpectFrame(int entry, uint16_t frame) {
        const std::string bmp = dir.File("Bmp.bmp");
        std::filesystem::remove(bmp);
        ASSERT_TRUE(volume.ExtractIcon(static_cast<uint8_t>(entry), frame, bmp));
        uint8_t area[IconArea::kSize] = {};
        ASSERT_TRUE(ReadIconBmp(area, bmp));
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                ASSERT_EQ(area[IconArea::PixelOffset(y, x)], FramePixel(frame, y, x))
                    << "frame " << frame << " y " << y << " x " << x;
        EXPECT_EQ(area[0], 0x40); // F8C4: blue
        EXPECT_EQ(area[1], 0xC0); // green
        EXPECT_EQ(area[2], 0x80); // red
        EXPECT_EQ(area[3], 0x10);
        EXPECT_EQ(area[4], 0x20);
        EXPECT_EQ(area[5], 0x30);
    }

    TempDir dir;
    CardVolume volume;
};

} // namespace

TEST_F(IconTest, DataSaverFramesComeFromTheHeaderBlockOn) {
    PutSaver(0, false, {50, 51, 52, 53}, 3);
    volume.Icon()[3 * 16] = 0x77; // entries from 16 up are left alone
    ExpectFrame(0, 0);
    ExpectFrame(0, 2);
    EXPECT_EQ(volume.Icon()[3 * 16], 0x77);

    const std::string none = dir.File("none.bmp");
    EXPECT_FALSE(volume.ExtractIcon(0, 3, none));
    EXPECT_FALSE(std::filesystem::exists(none));
    // A first block marked free does not send the walk on from an old cursor.
    volume.Fat()[50] = CardVolume::kFatFree;
    volume.Tables().SetChainNext(52);
    ASSERT_TRUE(volume.ExtractIcon(0, 1, none));
    uint8_t area[IconArea::kSize] = {};
    ASSERT_TRUE(ReadIconBmp(area, none));
    EXPECT_EQ(area[IconArea::PixelOffset(0, 0)], 0); // header block bytes, not frame 2
    std::filesystem::remove(none);
    volume.Entries()[0].SizeBlocks = 0;
    EXPECT_FALSE(volume.ExtractIcon(0, 0, none));
    EXPECT_FALSE(volume.ExtractIcon(250, 0, none));
    EXPECT_FALSE(std::filesystem::exists(none));
}

TEST_F(IconTest, GameFramesComeFromItsSecondBlock) {
    PutSaver(1, true, {60, 61, 62}, 2);
    ASSERT_TRUE(volume.Entries()[1].IsGame);
    EXPECT_EQ(volume.Entries()[1].IconCount, 2);
    ExpectFrame(1, 0);
    ExpectFrame(1, 1);
}

TEST_F(IconTest, AnnouncedFramesBeyondThirtyTwoAreNotShownAndLoopsEnd) {
    // 64 frames announced on a chain that loops back onto itself.
    PutSaver(2, false, {70, 71}, 64);
    volume.Fat()[71] = 70;
    ASSERT_EQ(volume.Entries()[2].IconCount, 64);
    EXPECT_EQ(volume.Entries()[2].ShownFrames(), 32);
    const std::string bmp = dir.File("f.bmp");
    EXPECT_TRUE(volume.ExtractIcon(2, 31, bmp));
    EXPECT_FALSE(volume.ExtractIcon(2, 32, bmp));
    EXPECT_FALSE(volume.ExtractIcon(2, 63, bmp));
}

TEST(IconBmp, WritesTheFixedBitmapAndReadsItBack) {
    TempDir dir;
    uint8_t area[IconArea::kSize];
    for (size_t i = 0; i < sizeof area; ++i)
        area[i] = static_cast<uint8_t>(i * 13 + 1);
    const std::string name = dir.File("icon.bmp");
    ASSERT_TRUE(WriteIconBmp(area, name));
    const auto file = ReadFileBytes(name);
    ASSERT_EQ(file.size(), 2102u);
    const uint8_t header[] = {'B', 'M', 0x36, 0x08, 0, 0,  0, 0, 0, 0,  0x36, 0x04, 0,
                              0,   40,  0,    0,    0, 32, 0, 0, 0, 32, 0,    0,    0,
                              1,   0,   8,    0,    0, 0,  0, 0, 0, 4,  0,    0};
    EXPECT_EQ(std::memcmp(file.data(), header, sizeof header), 0);
    EXPECT_EQ(file[54], area[0]);
    EXPECT_EQ(file[56], area[2]);
    EXPECT_EQ(file[57], 0);
    EXPECT_EQ(file[54 + 4 * 255 + 2], area[767]);
    EXPECT_EQ(file[1078], area[768]);
    EXPECT_EQ(file[2101], area[1791]);

    uint8_t back[IconArea::kSize] = {};
    ASSERT_TRUE(ReadIconBmp(back, name));
    EXPECT_EQ(std::memcmp(back, area, sizeof area), 0);

    // The width is not tested; only offset, planes, depth and pixel bytes are.
    auto narrow = file;
    narrow[18] = 16;
    WriteFileBytes(name, narrow);
    std::memset(back, 0, sizeof back);
    EXPECT_TRUE(ReadIconBmp(back, name));
    EXPECT_EQ(std::memcmp(back, area, sizeof area), 0);
}

TEST(IconBmp, RejectedOrShortFilesLeaveTheAreaAlone) {
    TempDir dir;
    uint8_t source[IconArea::kSize];
    std::memset(source, 0x11, sizeof source);
    const std::string good = dir.File("good.bmp");
    ASSERT_TRUE(WriteIconBmp(source, good));
    const auto file = ReadFileBytes(good);

    auto expectUnchanged = [&](const std::vector<uint8_t>& bytes, const char* why) {
        const std::string name = dir.File("bad.bmp");
        WriteFileBytes(name, bytes);
        uint8_t area[IconArea::kSize];
        std::memset(area, 0x5A, sizeof area);
        EXPECT_FALSE(ReadIconBmp(area, name)) << why;
        for (uint8_t b : area)
            ASSERT_EQ(b, 0x5A) << why;
    };
    auto with = [&](size_t offset, uint8_t value) {
        auto bytes = file;
        bytes[offset] = value;
        return bytes;
    };
    expectUnchanged(with(0, 'X'), "not BM");
    expectUnchanged(with(10, 0x37), "pixel offset");
    expectUnchanged(with(26, 2), "planes");
    expectUnchanged(with(28, 4), "depth");
    expectUnchanged(with(35, 8), "pixel bytes");
    for (size_t size : {0, 1, 2, 40, 54, 1078, 2101})
        expectUnchanged(std::vector<uint8_t>(file.begin(), file.begin() + size), "short");

    uint8_t area[IconArea::kSize] = {};
    EXPECT_FALSE(ReadIconBmp(area, dir.File("missing.bmp")));
    EXPECT_FALSE(ReadIconBmp(area, dir.Path().string())); // a folder
}

TEST(LogoDci, BuildsTheCaptionLogoSaverInCardOrder) {
    TempDir dir;
    uint8_t picture[IconArea::kSize] = {};
    uint8_t lcd[IconArea::kSize] = {};
    picture[3 * 2 + 0] = 0x12; // colour 2: blue, green, red
    picture[3 * 2 + 1] = 0x34;
    picture[3 * 2 + 2] = 0x56;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            picture[IconArea::PixelOffset(y, x)] = static_cast<uint8_t>(0x20 | ((x + y) & 0xF));
    // LCD area: colour 3 black, every other colour light; pixels of colour 3
    // on the top row's first and last column and the diagonal.
    std::memset(lcd, 0xFF, 48);
    std::memset(lcd + 9, 0, 3);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            lcd[IconArea::PixelOffset(y, x)] = (x == y || (y == 0 && x == 31)) ? 0x13 : 0x01;

    const std::string name = dir.File("~ico._");
    ASSERT_TRUE(BuildLogoDci(picture, lcd, "", name));
    auto file = ReadFileBytes(name);
    ASSERT_EQ(file.size(), 1056u);
    const uint8_t entry[32] = {0x33, 0,    199, 0,   'I', 'C',  'O',  'N',  'D',  'A', 'T',
                               'A',  '_',  'V', 'M', 'S', 0x19, 0x98, 0x12, 0x12, 0,   0,
                               0,    0x05, 2,   0,   0,   0,    0,    0,    0,    0};
    EXPECT_EQ(std::memcmp(file.data(), entry, 32), 0);

    uint8_t* saver = file.data() + 32;
    SwapWords(saver, 1024); // back to natural order
    EXPECT_EQ(std::string(reinterpret_cast<char*>(saver), 16), std::string(16, ' '));
    const uint8_t offsets[] = {0x20, 0, 0, 0, 0xA0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(saver + 0x10, offsets, sizeof offsets), 0);
    EXPECT_EQ(saver[0x20], 0x80);             // row 0: column 0
    EXPECT_EQ(saver[0x23], 0x01);             // column 31 of row 0
    EXPECT_EQ(saver[0x20 + 4 * 9 + 1], 0x40); // row 9: column 9
    EXPECT_EQ(saver[0xA0 + 4], 0x31);         // colour 2 = F531
    EXPECT_EQ(saver[0xA0 + 5], 0xF5);
    EXPECT_EQ(saver[0xA0], 0x00); // colour 0 = F000
    EXPECT_EQ(saver[0xA1], 0xF0);
    EXPECT_EQ(saver[0xC0 + 16 * 3 + 2], ((3 + 4) & 0xF) << 4 | ((3 + 5) & 0xF)); // row 3
    EXPECT_EQ(saver[0x2BF], (31 + 30) % 16 << 4 | (31 + 31) % 16);
    for (int i = 0x2C0; i < 0x400; ++i)
        ASSERT_EQ(saver[i], 0x1A);

    const std::string longCaption = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd";
    ASSERT_TRUE(BuildLogoDci(picture, lcd, longCaption, name));
    file = ReadFileBytes(name);
    SwapWords(file.data() + 32, 1024);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(file.data() + 32), 16), "ABCDEFGHIJKLMNOP");
    ASSERT_TRUE(BuildLogoDci(picture, lcd, "Hi", name));
    file = ReadFileBytes(name);
    SwapWords(file.data() + 32, 1024);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(file.data() + 32), 16), "Hi              ");
}
