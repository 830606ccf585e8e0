#include "card/CardVolume.h"
#include "card/support/CardTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace cardtest;

namespace {

// An image volume on a fresh file in a temporary folder.
class FileSystemTest : public ::testing::Test {
  protected:
    void SetUp() override {
        volume.SetPlace(CardPlace::Image);
        ASSERT_TRUE(volume.OpenImage(dir.File("card.dcm")));
    }

    // A header block: description, icon count, check byte.
    void PutHeader(uint8_t block, const char* description, uint8_t icons, uint8_t check = 0) {
        uint8_t h[512] = {};
        std::memcpy(h, description, std::strlen(description));
        h[0x40] = icons;
        h[0x41] = check;
        WriteNatural(volume, block, h);
    }

    TempDir dir;
    CardVolume volume;
};

} // namespace

TEST_F(FileSystemTest, FormatLaysDownRootFatAndThirteenDirectoryBlocks) {
    // Saver data below the system area survives a format.
    uint8_t data[512];
    std::memset(data, 0xA5, sizeof data);
    volume.WriteRawBlock(volume.Device(), 240, data);
    ASSERT_TRUE(volume.FormatVolume(200));

    CardVolume reader;
    reader.SetPlace(CardPlace::Image);
    ASSERT_TRUE(reader.OpenImage(volume.ImageName()));
    ASSERT_TRUE(reader.ReadRoot());
    EXPECT_EQ(reader.Root()[0x50], 200);
    const uint8_t head[] = {0x55, 0x55, 0x01, 0xFF, 0x3F, 0x5F, 0xFF};
    EXPECT_EQ(std::memcmp(reader.Root() + 14, head, sizeof head), 0);
    const uint8_t stamp[] = {0x19, 0x99, 0x10, 0x27, 0x04, 0x54, 0x52, 0x02};
    EXPECT_EQ(std::memcmp(reader.Root() + 0x30, stamp, sizeof stamp), 0);
    const uint8_t words[] = {0xFF, 0, 0,  0, 0xFF, 0, 0xFE, 0, 1,  0,
                             0xFD, 0, 13, 0, 8,    0, 200,  0, 31, 0};
    EXPECT_EQ(std::memcmp(reader.Root() + 0x40, words, sizeof words), 0);
    EXPECT_EQ(reader.Root()[0x54], 0);
    EXPECT_EQ(reader.Root()[0x1FF], 0);

    ASSERT_TRUE(reader.ReadFat());
    EXPECT_TRUE(reader.IsFormatted());
    for (int i = 242; i <= 253; ++i)
        EXPECT_EQ(reader.Fat()[i], i - 1);
    EXPECT_EQ(reader.Fat()[241], CardVolume::kFatEnd);
    EXPECT_EQ(reader.Fat()[254], CardVolume::kFatEnd);
    EXPECT_EQ(reader.Fat()[255], CardVolume::kFatEnd);
    EXPECT_EQ(reader.Fat()[0], CardVolume::kFatFree);
    EXPECT_EQ(reader.Fat()[240], CardVolume::kFatFree);

    uint8_t block[512];
    ASSERT_TRUE(reader.ReadRawBlock(reader.Device(), 240, block));
    EXPECT_EQ(block[0], 0xA5);
    ASSERT_TRUE(reader.ReadRawBlock(reader.Device(), 241, block));
    EXPECT_EQ(block[0], 0);

    // In card order in the file: root byte 0x50 stands at 0x53.
    const auto file = ReadFileBytes(volume.ImageName());
    EXPECT_EQ(file[255 * 512 + 0x53], 200);

    // 241 user blocks, the other choice of the format menu.
    ASSERT_TRUE(volume.FormatVolume(241));
    ASSERT_TRUE(reader.ReadRoot());
    EXPECT_EQ(reader.Root()[0x50], 241);
    EXPECT_EQ(std::memcmp(reader.Root() + 0x30, stamp, sizeof stamp), 0);
}

TEST_F(FileSystemTest, DirectoryRoundTripsThroughAllThirteenBlocks) {
    ASSERT_TRUE(volume.FormatVolume(200));
    volume.ReadFat();
    SetEntry(volume.Entries()[0], 0x33, 10, "FIRST", 1);
    SetEntry(volume.Entries()[207], 0x33, 11, "LAST", 1);
    PutHeader(10, "first", 0);
    PutHeader(11, "last", 0);
    volume.WriteDirectory();
    // The last entry lands in the last directory block, entry 15.
    uint8_t block[512];
    ReadNatural(volume, 241, block);
    EXPECT_EQ(std::memcmp(block + 15 * 32 + 4, "LAST", 4), 0);

    for (auto& e : volume.Entries())
        e.Clear();
    volume.ReadDirectory();
    EXPECT_EQ(volume.Entries()[0].Name, "FIRST       ");
    EXPECT_EQ(volume.Entries()[207].Name, "LAST        ");
    EXPECT_EQ(volume.Entries()[207].Date, "1999/12/31");
    EXPECT_EQ(volume.Entries()[207].Time, "23:59:58");
    EXPECT_EQ(volume.Entries()[1].SizeBlocks, 0);
    EXPECT_EQ(volume.Entries()[208].SizeBlocks, 0);
}

TEST_F(FileSystemTest, BlankCardCountsAsUnformattedAndItsWalkEndsAtOnce) {
    ASSERT_TRUE(volume.ReadFat());
    EXPECT_FALSE(volume.IsFormatted());
    EXPECT_EQ(volume.Fat()[0], 0xFFFF);
    uint8_t b = 253;
    EXPECT_TRUE(volume.StartChain(b));
    EXPECT_EQ(b, 253);
    EXPECT_EQ(volume.ChainNext(), 0xFF);
    EXPECT_FALSE(volume.NextInChain(b));
}

TEST(ChainWalk, FollowsLowBytesAndStopsOnlyAtMarks) {
    CardVolume v;
    std::fill(std::begin(v.Fat()), std::end(v.Fat()), CardVolume::kFatFree);
    uint8_t b = 7;
    v.Tables().SetChainNext(42);
    EXPECT_FALSE(v.StartChain(b)); // free: nothing changes
    EXPECT_EQ(v.ChainNext(), 42);

    v.Fat()[7] = 0x1203; // damaged: only the low byte counts
    v.Fat()[3] = 9;      // 9 is free: not special after the start
    EXPECT_TRUE(v.StartChain(b));
    EXPECT_EQ(v.ChainNext(), 3);
    EXPECT_TRUE(v.NextInChain(b));
    EXPECT_EQ(b, 3);
    EXPECT_TRUE(v.NextInChain(b));
    EXPECT_EQ(b, 9);
    EXPECT_EQ(v.ChainNext(), 0xFC);

    // The strict walk stops at damage and at loops.
    uint8_t chain[256];
    EXPECT_EQ(v.CollectChain(7, chain, 256), 1);
    LinkChain(v, {20, 21, 22});
    ASSERT_EQ(v.CollectChain(20, chain, 256), 3);
    EXPECT_EQ(chain[2], 22);
    EXPECT_EQ(v.CollectChain(20, chain, 2), 2);
    v.Fat()[22] = 20;
    EXPECT_EQ(v.CollectChain(20, chain, 256), 3);
    EXPECT_EQ(v.CollectChain(30, chain, 256), 0);
}

TEST(RepairSystemChains, RebuildsOnlyWhenTheSystemEndsAreBroken) {
    CardVolume v;
    std::fill(std::begin(v.Fat()), std::end(v.Fat()), CardVolume::kFatFree);
    v.Fat()[5] = 6;
    v.Fat()[253] = 17;
    v.Fat()[254] = CardVolume::kFatEnd;
    v.Fat()[255] = CardVolume::kFatEnd;
    v.RepairSystemChains();
    EXPECT_EQ(v.Fat()[253], 17);

    v.Fat()[255] = CardVolume::kFatFree;
    v.RepairSystemChains();
    EXPECT_EQ(v.Fat()[253], 252);
    EXPECT_EQ(v.Fat()[242], 241);
    EXPECT_EQ(v.Fat()[241], CardVolume::kFatEnd);
    EXPECT_EQ(v.Fat()[255], CardVolume::kFatEnd);
    EXPECT_EQ(v.Fat()[5], 6);
    EXPECT_EQ(v.Fat()[240], CardVolume::kFatFree);
}

TEST_F(FileSystemTest, DecodeEntryTellsGamesDataLogosAndForeignHeaders) {
    ASSERT_TRUE(volume.FormatVolume(200));
    volume.ReadFat();
    auto decode = [&](int i) {
        volume.DecodeEntry(i);
        return volume.Entries()[i];
    };

    SetEntry(volume.Entries()[0], 0x33, 0, "EMPTY", 3); // data at block 0: empty slot
    EXPECT_EQ(decode(0).SizeBlocks, 0);
    EXPECT_TRUE(decode(0).Name.empty());

    PutHeader(20, "A saver\x01\x1F\x7F\x80", 3);
    SetEntry(volume.Entries()[1], 0x33, 20, "DATA", 4);
    volume.Entries()[1].Raw[18] = 0x1A;
    const SaverEntry data = decode(1);
    EXPECT_FALSE(data.IsGame);
    EXPECT_EQ(data.FirstBlock, 20);
    EXPECT_EQ(data.SizeBlocks, 4);
    EXPECT_EQ(data.IconCount, 3);
    EXPECT_EQ(data.Date, "1999/1A/31");
    EXPECT_EQ(data.Description, "A saver \x1F  " + std::string(37, ' '));
    ASSERT_EQ(data.Description.size(), 48u);

    // 0xCC with a high first-block byte is a data saver after all.
    SetEntry(volume.Entries()[2], 0xCC, 20, "NOTGAME", 4, 1);
    EXPECT_FALSE(decode(2).IsGame);
    EXPECT_EQ(decode(2).IconCount, 3);

    // A game's header is the block that Fat[0] names, not block 0.
    PutHeader(0, "block zero", 9);
    PutHeader(30, "game header", 2);
    volume.Fat()[0] = 30;
    SetEntry(volume.Entries()[3], 0xCC, 0, "GAME", 10);
    const SaverEntry game = decode(3);
    EXPECT_TRUE(game.IsGame);
    EXPECT_EQ(game.IconCount, 2);
    EXPECT_EQ(game.Description.substr(0, 11), "game header");

    volume.Fat()[0] = CardVolume::kFatEnd;
    const SaverEntry bare = decode(3);
    EXPECT_TRUE(bare.IsGame);
    EXPECT_EQ(bare.Name, "GAME        ");
    EXPECT_EQ(bare.SizeBlocks, 10);
    EXPECT_EQ(bare.IconCount, 0);
    EXPECT_TRUE(bare.Description.empty());

    PutHeader(40, "logo", 7);
    SetEntry(volume.Entries()[4], 0x33, 40, "ICONDATA_VMS", 2);
    EXPECT_EQ(decode(4).Description, "VMU CAPTION LOGO");
    EXPECT_EQ(decode(4).IconCount, 0);

    PutHeader(41, "many", 64, 0xFF);
    SetEntry(volume.Entries()[5], 0x33, 41, "MANY", 2);
    EXPECT_EQ(decode(5).IconCount, 64);
    EXPECT_EQ(decode(5).ShownFrames(), 32);
    PutHeader(41, "many", 64, 0x00);
    EXPECT_EQ(decode(5).Description, "UNKNOWN FILE SAVER");
    EXPECT_EQ(decode(5).IconCount, 0);
}

TEST_F(FileSystemTest, DamagedDirectoryChainsStayInsideTheTable) {
    ASSERT_TRUE(volume.FormatVolume(200));
    volume.ReadFat();
    // Fill every directory place of a long chain: 253..241 then 240, 239.
    volume.Fat()[241] = 240;
    volume.Fat()[240] = 239;
    volume.Fat()[239] = CardVolume::kFatEnd;
    for (int i = 0; i < CardVolume::kEntryCount; ++i) {
        // Appended rather than "E" + ...: g++ 12 at -O2 warns falsely
        // (-Wrestrict) on a literal put before a temporary string.
        std::string name = "E";
        name += std::to_string(i);
        SetEntry(volume.Entries()[i], 0x33, 100, name, 1);
    }
    uint8_t header[512] = {};
    WriteNatural(volume, 100, header);
    uint8_t block[512] = {};
    block[1 * 32 + 2] = 77; // a saver in place 209, beyond the table
    WriteNatural(volume, 240, block);
    // The link on from 241 leads into saver data: entries are neither
    // written there nor read from there.
    EXPECT_FALSE(volume.WriteDirectory());
    ReadNatural(volume, 240, block);
    EXPECT_EQ(block[0 * 32 + 4], 0);
    EXPECT_EQ(block[1 * 32 + 2], 77);
    ReadNatural(volume, 239, block);
    EXPECT_EQ(block[4], 0xFF);

    volume.ReadDirectory();
    EXPECT_EQ(volume.Entries()[207].Name, "E207        ");
    EXPECT_TRUE(volume.Entries()[208].Name.empty());

    // A loop back onto the first block reads it once, and nothing of the
    // previous reading survives.
    volume.Fat()[253] = 253;
    volume.ReadDirectory();
    EXPECT_EQ(volume.Entries()[15].Name, "E15         ");
    EXPECT_EQ(volume.Entries()[16].SizeBlocks, 0);
    EXPECT_TRUE(volume.Entries()[208].Name.empty());

    // Writing a looped directory must not overwrite its first block with
    // later entries.
    SetEntry(volume.Entries()[16], 0x33, 100, "LATER", 1);
    volume.WriteDirectory();
    ReadNatural(volume, 253, block);
    EXPECT_EQ(block[4], 'E');

    // A directory chain that does not start leaves no stale entries either.
    volume.Fat()[253] = CardVolume::kFatFree;
    volume.ReadDirectory();
    EXPECT_EQ(volume.Entries()[0].SizeBlocks, 0);
}
