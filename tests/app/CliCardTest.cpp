#include "app/CliFixture.h"
#include "card/CardVolume.h"
#include "tools/icon/BmpTestFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using namespace clitest;

class CliCardTest : public CliFixture {};

TEST_F(CliCardTest, ExitCodesAndOneLineReasons) {
    EXPECT_EQ(Cli("").code, 2);
    EXPECT_EQ(Cli("frobnicate x").code, 2);
    EXPECT_EQ(Cli("--help").code, 0);

    Result r = Cli("list");
    EXPECT_EQ(r.code, 2);
    r = Cli("list nothing.dcm");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "porvane-cli: File nothing.dcm not found.\n");
    EXPECT_FALSE(fs::exists(P("nothing.dcm"))); // never created by a look

    WriteFileBytes(P("odd.dcm"), Bytes(131073, 0));
    r = Cli("list odd.dcm");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("IS NOT SUPPORTED"), std::string::npos);

    NewCard("a.dcm");
    EXPECT_EQ(Cli("format a.dcm 199").code, 2);
    EXPECT_EQ(Cli("list a.dcm --frob").code, 2);
    EXPECT_EQ(Cli("import a.dcm x.dci --overwrite --append").code, 2);
    EXPECT_EQ(Cli("save-card a.dcm out.dcm").code, 2); // not a slot
    EXPECT_EQ(Cli("logo p.bmp o.dci --dark 0,16").code, 2);
    EXPECT_EQ(Cli("copy a.dcm X ./a.dcm").code, 2);
    EXPECT_EQ(Cli("--link emulator:/no/such/dir list slot1").code, 2);
    r = Cli("--link socket:" + P("no.sock").string() + " list slot1");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("cannot open the link port"), std::string::npos) << r.err;

    r = Cli("delete a.dcm GHOST");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    r = Cli("new a.dcm"); // an existing image is never replaced
    EXPECT_EQ(r.code, 1);

    // A blank image lists as unformatted, and the JSON says so.
    WriteFileBytes(P("blank.dcm"), Bytes(131072, 0xFF));
    r = Cli("list blank.dcm --json");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "{\"formatted\":false,\"user_blocks\":0,\"free_blocks\":0,\"savers\":[]}\n");
    EXPECT_EQ(Cli("list blank.dcm").out, "Not a formated Card\n");
    EXPECT_EQ(Cli("delete blank.dcm X").code, 1);
}

TEST_F(CliCardTest, ListJsonShapeAndEscapes) {
    NewCard("a.dcm", "241");
    EXPECT_EQ(Cli("list a.dcm --json").out,
              "{\"formatted\":true,\"user_blocks\":241,\"free_blocks\":241,\"savers\":[]}\n");

    WriteFileBytes(P("s.dci"),
                   MakeDci(std::string("Q\"\\\x01") + std::string(8, '\0'), 4, false, 2, 9));
    ASSERT_EQ(Cli("import a.dcm s.dci").code, 0);
    const Result r = Cli("list a.dcm --json");
    ASSERT_EQ(r.code, 0);
    const std::string desc = "A TEST SAVER FOR THE CLI" + std::string(24, ' ');
    EXPECT_EQ(r.out, "{\"formatted\":true,\"user_blocks\":241,\"free_blocks\":237,\"savers\":[{"
                     "\"index\":0,\"name\":\"Q\\\"\\\\\\u0001\\u0000\\u0000\\u0000\\u0000\\u0000"
                     "\\u0000\\u0000\\u0000\",\"type\":\"data\",\"first_block\":240,\"size\":4,"
                     "\"date\":\"2024/01/31\",\"time\":\"23:59:58\",\"icons\":2,"
                     "\"description\":\"" +
                         desc + "\",\"description_text\":\"A TEST SAVER FOR THE CLI\"}]}\n");

    const Result text = Cli("list a.dcm");
    EXPECT_NE(text.out.find("Q\"\\           data"), std::string::npos) << text.out;
    EXPECT_NE(text.out.find("237 BLOCKS FREE"), std::string::npos) << text.out;
}

TEST_F(CliCardTest, ExportImportRoundTripAndNames) {
    NewCard("a.dcm");
    NewCard("b.dcm", "241");
    const Bytes original = MakeDci("ROUNDTRIP", 5, false, 3, 40);
    WriteFileBytes(P("in.dci"), original);
    ASSERT_EQ(Cli("import a.dcm in.dci").code, 0);
    // Trailing blanks in the name are not needed to find it.
    ASSERT_EQ(Cli("export a.dcm ROUNDTRIP out1.dci").code, 0);
    ASSERT_EQ(Cli("import b.dcm out1.dci").code, 0);
    ASSERT_EQ(Cli("export b.dcm 'ROUNDTRIP  ' out2.dci").code, 0);
    const Bytes out1 = ReadFileBytes(P("out1.dci"));
    const Bytes out2 = ReadFileBytes(P("out2.dci"));
    ASSERT_EQ(out1.size(), original.size());
    EXPECT_EQ(DciBlocks(out1), DciBlocks(original));
    EXPECT_EQ(DciBlocks(out2), DciBlocks(original));
    EXPECT_EQ(out1[2], 199);
    EXPECT_EQ(out2[2], 240);
    // Only the first-block byte differs between the two headers.
    for (int i = 0; i < 32; ++i) {
        if (i != 2) {
            EXPECT_EQ(out1[i], out2[i]) << i;
        }
    }
    // The blocks stand in the image in card order at 199, 198, ...
    const Bytes image = ReadFileBytes(P("a.dcm"));
    EXPECT_TRUE(
        std::equal(image.begin() + 199 * 512, image.begin() + 200 * 512, original.begin() + 32));
    EXPECT_EQ(Cli("export a.dcm ROUNDTRIP out1.dci").code, 1); // not overwritten

    // Two savers of one name: the first in list order is the one acted on.
    WriteFileBytes(P("dup.dci"),
                   MakeDci(std::string("DUP") + std::string(9, '\0'), 1, false, 0, 1));
    ASSERT_EQ(Cli("import a.dcm dup.dci").code, 0);
    EXPECT_EQ(Cli("import a.dcm dup.dci").code, 1); // same name, no flag
    ASSERT_EQ(Cli("import a.dcm dup.dci --append").code, 0);
    ASSERT_EQ(Cli("delete a.dcm DUP").code, 0);
    const std::string json = Cli("list a.dcm --json").out;
    EXPECT_EQ(json.find("\"index\":1,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"index\":2,"), std::string::npos) << json;
    EXPECT_NE(json.find("\"free_blocks\":194"), std::string::npos) << json;
}

TEST_F(CliCardTest, RefusedImportsLeaveTheCardAlone) {
    NewCard("a.dcm");
    WriteFileBytes(P("big.dci"), MakeDci("BIG", 120, false, 0, 3));
    WriteFileBytes(P("mid.dci"), MakeDci("MID", 60, false, 0, 4));
    ASSERT_EQ(Cli("import a.dcm big.dci").code, 0);
    ASSERT_EQ(Cli("import a.dcm mid.dci").code, 0);
    const Bytes before = ReadFileBytes(P("a.dcm"));

    // 20 free + 120 freed would not hold 150: the old BIG must survive.
    WriteFileBytes(P("big2.dci"), MakeDci("BIG", 150, false, 0, 5));
    Result r = Cli("import a.dcm big2.dci --overwrite");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("NOT ENOUGH SPACE."), std::string::npos) << r.err;
    EXPECT_EQ(ReadFileBytes(P("a.dcm")), before);

    Bytes shortDci = MakeDci("SHORT", 3, false, 0, 6);
    shortDci.resize(shortDci.size() - 100);
    WriteFileBytes(P("short.dci"), shortDci);
    EXPECT_EQ(Cli("import a.dcm short.dci").code, 1);
    WriteFileBytes(P("zero.dci"), MakeDci("ZERO", 0, false, 0, 6));
    EXPECT_EQ(Cli("import a.dcm zero.dci").code, 1);
    EXPECT_EQ(Cli("import a.dcm missing.dci").code, 1);
    EXPECT_EQ(ReadFileBytes(P("a.dcm")), before);

    // Overwrite with room: the old blocks are reused.
    WriteFileBytes(P("big3.dci"), MakeDci("BIG", 130, false, 0, 7));
    ASSERT_EQ(Cli("import a.dcm big3.dci --overwrite").code, 0);
    r = Cli("list a.dcm --json");
    EXPECT_NE(r.out.find("\"free_blocks\":10"), std::string::npos) << r.out;

    // A game needs blocks 0..n-1: the second one is refused.
    NewCard("g.dcm");
    WriteFileBytes(P("game.dci"), MakeDci("GAME", 8, true, 1, 8));
    ASSERT_EQ(Cli("import g.dcm game.dci").code, 0);
    r = Cli("list g.dcm --json");
    EXPECT_NE(r.out.find("\"type\":\"game\",\"first_block\":0,\"size\":8"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"icons\":1"), std::string::npos) << r.out;
    const Bytes game = ReadFileBytes(P("g.dcm"));
    WriteFileBytes(P("game2.dci"), MakeDci("GAME2", 4, true, 0, 9));
    r = Cli("import g.dcm game2.dci");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(ReadFileBytes(P("g.dcm")), game);
}

TEST_F(CliCardTest, CopyMoveDeleteOnImages) {
    NewCard("a.dcm");
    NewCard("b.dcm");
    WriteFileBytes(P("s.dci"), MakeDci("SAVE", 3, false, 1, 11));
    WriteFileBytes(P("g.dci"), MakeDci("GAME", 5, true, 0, 12));
    ASSERT_EQ(Cli("import a.dcm s.dci").code, 0);
    ASSERT_EQ(Cli("import a.dcm g.dci").code, 0);

    ASSERT_EQ(Cli("copy a.dcm SAVE b.dcm").code, 0);
    ASSERT_EQ(Cli("copy a.dcm GAME b.dcm --move").code, 0);
    const std::string a = Cli("list a.dcm --json").out;
    const std::string b = Cli("list b.dcm --json").out;
    EXPECT_NE(a.find("\"name\":\"SAVE        \""), std::string::npos) << a;
    EXPECT_EQ(a.find("GAME"), std::string::npos) << a;
    EXPECT_NE(b.find("\"index\":0,\"name\":\"SAVE        \",\"type\":\"data\",\"first_block\":199"),
              std::string::npos)
        << b;
    EXPECT_NE(b.find("\"index\":1,\"name\":\"GAME        \",\"type\":\"game\",\"first_block\":0"),
              std::string::npos)
        << b;
    EXPECT_NE(b.find("\"free_blocks\":192"), std::string::npos) << b;

    // A second game copy finds block 0 taken; nothing changes on either card.
    ASSERT_EQ(Cli("import a.dcm g.dci").code, 0);
    const Bytes bBefore = ReadFileBytes(P("b.dcm"));
    const Bytes aBefore = ReadFileBytes(P("a.dcm"));
    EXPECT_EQ(Cli("copy a.dcm GAME b.dcm --move").code, 1);
    EXPECT_EQ(ReadFileBytes(P("b.dcm")), bBefore);
    EXPECT_EQ(ReadFileBytes(P("a.dcm")), aBefore);

    EXPECT_EQ(Cli("copy a.dcm NOPE b.dcm").code, 1);
    ASSERT_EQ(Cli("delete b.dcm SAVE").code, 0);
    ASSERT_EQ(Cli("delete b.dcm GAME").code, 0);
    EXPECT_EQ(Cli("list b.dcm --json").out,
              "{\"formatted\":true,\"user_blocks\":200,\"free_blocks\":200,\"savers\":[]}\n");
}

TEST_F(CliCardTest, CopyOntoASaverOfTheSameName) {
    NewCard("a.dcm");
    NewCard("b.dcm");
    const Bytes mine = MakeDci("SAVE", 60, false, 0, 41);
    WriteFileBytes(P("mine.dci"), mine);
    WriteFileBytes(P("old.dci"), MakeDci("SAVE", 5, false, 0, 42));
    WriteFileBytes(P("fill.dci"), MakeDci("FILL", 150, false, 0, 43));
    ASSERT_EQ(Cli("import a.dcm mine.dci").code, 0);
    ASSERT_EQ(Cli("import b.dcm old.dci").code, 0);
    ASSERT_EQ(Cli("import b.dcm fill.dci").code, 0);
    const Bytes b = ReadFileBytes(P("b.dcm"));

    Result r = Cli("copy a.dcm SAVE b.dcm");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "porvane-cli: Saver SAVE exists on the card (use --overwrite or --append)\n");
    EXPECT_EQ(Cli("copy a.dcm SAVE b.dcm --overwrite --append").code, 2);
    // 45 free and 5 freed would not hold 60: the old SAVE stays.
    r = Cli("copy a.dcm SAVE b.dcm --overwrite --move");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("NOT ENOUGH SPACE."), std::string::npos) << r.err;
    EXPECT_EQ(ReadFileBytes(P("b.dcm")), b);

    ASSERT_EQ(Cli("delete b.dcm FILL").code, 0);
    ASSERT_EQ(Cli("copy a.dcm SAVE b.dcm --append").code, 0);
    // The first SAVE in list order (the 5-block one) is replaced. The copy
    // goes to blocks that were free (from 134 down), so that a copy failing
    // half way would have left the old SAVE whole.
    ASSERT_EQ(Cli("copy a.dcm SAVE b.dcm --overwrite --move").code, 0);
    const std::string json = Cli("list b.dcm --json").out;
    EXPECT_NE(json.find("\"index\":0,\"name\":\"SAVE        \",\"type\":\"data\","
                        "\"first_block\":134,\"size\":60"),
              std::string::npos)
        << json;
    EXPECT_NE(json.find("\"index\":1,\"name\":\"SAVE        \""), std::string::npos) << json;
    EXPECT_NE(json.find("\"free_blocks\":80"), std::string::npos) << json;
    EXPECT_EQ(Cli("list a.dcm --json").out.find("SAVE"), std::string::npos);
}

TEST_F(CliCardTest, ReadOnlyImageIsReadButNeverWritten) {
    NewCard("a.dcm");
    NewCard("b.dcm");
    WriteFileBytes(P("s.dci"), MakeDci("SAVE", 3, false, 2, 51));
    ASSERT_EQ(Cli("import a.dcm s.dci").code, 0);
    ASSERT_EQ(Cli("import b.dcm s.dci").code, 0);
    ASSERT_EQ(::chmod(P("a.dcm").c_str(), 0444), 0);
    // Root writes whatever the mode says: the commands then run as nobody.
    std::string as;
    if (::geteuid() == 0) {
        if (std::system("setpriv --help >/dev/null 2>&1") != 0)
            GTEST_SKIP() << "no way to run without root here";
        as = "setpriv --reuid=65534 --regid=65534 --clear-groups ";
        fs::permissions(dir_, fs::perms::all);
        fs::permissions(P("b.dcm"), fs::perms::all);
    }
    const Bytes a = ReadFileBytes(P("a.dcm"));
    const Bytes b = ReadFileBytes(P("b.dcm"));

    EXPECT_NE(Cli("list a.dcm", as).out.find("SAVE"), std::string::npos);
    ASSERT_EQ(Cli("export a.dcm SAVE out.dci", as).code, 0);
    EXPECT_EQ(DciBlocks(ReadFileBytes(P("out.dci"))), DciBlocks(ReadFileBytes(P("s.dci"))));
    EXPECT_EQ(Cli("icons a.dcm SAVE ic", as).code, 0);
    EXPECT_TRUE(fs::exists(P("ic/frame1.bmp")));

    for (const char* write :
         {"import a.dcm s.dci --append", "delete a.dcm SAVE", "format a.dcm 200",
          "copy b.dcm SAVE a.dcm --append", "copy a.dcm SAVE b.dcm --append --move"}) {
        const Result r = Cli(write, as);
        EXPECT_EQ(r.code, 1) << write;
        EXPECT_EQ(r.err, "porvane-cli: cannot write to a.dcm: the file is read-only\n") << write;
    }
    EXPECT_EQ(ReadFileBytes(P("a.dcm")), a);
    EXPECT_EQ(ReadFileBytes(P("b.dcm")), b);
    ASSERT_EQ(Cli("copy a.dcm SAVE b.dcm --append", as).code, 0);
    EXPECT_EQ(ReadFileBytes(P("a.dcm")), a);
}

TEST_F(CliCardTest, IconsAndLogo) {
    NewCard("a.dcm");
    WriteFileBytes(P("s.dci"), MakeDci("ICONS", 6, false, 3, 21));
    ASSERT_EQ(Cli("import a.dcm s.dci").code, 0);
    Result r = Cli("icons a.dcm ICONS frames");
    ASSERT_EQ(r.code, 0) << r.err;
    for (int f = 0; f < 3; ++f) {
        const Bytes bmp = ReadFileBytes(P("frames/frame" + std::to_string(f) + ".bmp"));
        ASSERT_EQ(bmp.size(), 2102u) << f;
        EXPECT_EQ(bmp[0], 'B');
        // Colour 1 of the header: blue 0x10, green 0x10, red 0x10.
        EXPECT_EQ(bmp[54 + 4], 0x10);
    }
    EXPECT_FALSE(fs::exists(P("frames/frame3.bmp")));

    // A 32 x 32 8-bit picture with pixel value x % 16.
    Bytes bmp(2102, 0);
    const uint32_t head[] = {2102, 0, 1078, 40, 32, 32};
    bmp[0] = 'B';
    bmp[1] = 'M';
    for (int i = 0; i < 6; ++i)
        for (int k = 0; k < 4; ++k)
            bmp[2 + 4 * i + k] = static_cast<uint8_t>(head[i] >> (8 * k));
    bmp[26] = 1;
    bmp[28] = 8;
    bmp[34] = 0x00;
    bmp[35] = 0x04;
    for (int i = 0; i < 1024; ++i)
        bmp[1078 + i] = static_cast<uint8_t>(i % 16);
    WriteFileBytes(P("p.bmp"), bmp);
    r = Cli("logo p.bmp logo.dci --caption 'MY CARD' --dark 0,2");
    ASSERT_EQ(r.code, 0) << r.err;
    const Bytes logo = ReadFileBytes(P("logo.dci"));
    ASSERT_EQ(logo.size(), 1056u);
    uint8_t first[512];
    std::copy(logo.begin() + 32, logo.begin() + 32 + 512, first);
    SwapWords(first);
    EXPECT_EQ(std::string(first, first + 16), "MY CARD         ");
    // Row 0 of the LCD picture: pixels 0, 2, 16, 18 dark -> 1010 0000 ...
    EXPECT_EQ(first[0x20], 0xA0);
    EXPECT_EQ(first[0x22], 0xA0);
    ASSERT_EQ(Cli("import a.dcm logo.dci").code, 0);
    EXPECT_NE(Cli("list a.dcm").out.find("VMU CAPTION LOGO"), std::string::npos);

    bmp[28] = 4;
    WriteFileBytes(P("p4.bmp"), bmp);
    r = Cli("logo p4.bmp l4.dci");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("BMP file must be in 32 x 32 pixel"), std::string::npos);
    EXPECT_NE(r.err.find("It is 32 x 32 pixels, 4 bits per pixel."), std::string::npos);
    EXPECT_FALSE(fs::exists(P("l4.dci")));

    // As in the window: rows stored top-down, a 16-colour palette.
    icontest::BmpLayout topDown;
    topDown.topDown = true;
    for (int i = 0; i < 16; ++i)
        topDown.palette.push_back({static_cast<uint8_t>(i * 16), 0, 0});
    topDown.index = [](int y, int) { return y % 16; };
    icontest::WriteBmp(P("td.bmp"), topDown);
    r = Cli("logo td.bmp td.dci --dark 0");
    ASSERT_EQ(r.code, 0) << r.err;
    const Bytes tdLogo = ReadFileBytes(P("td.dci"));
    ASSERT_EQ(tdLogo.size(), 1056u);
    std::copy(tdLogo.begin() + 32, tdLogo.begin() + 32 + 512, first);
    SwapWords(first);
    // Picture row 0 (the file's first row) is index 0, dark; row 1 is not.
    EXPECT_EQ(first[0x20], 0xFF);
    EXPECT_EQ(first[0x24], 0x00);
}

TEST_F(CliCardTest, CycleOverTheEmulatedBox) {
    NewCard("emu/slot1.dcm");
    NewCard("emu/slot2.dcm", "241");
    NewCard("file.dcm");
    WriteFileBytes(P("s.dci"), MakeDci("LINKSAVE", 7, false, 2, 31));
    const std::string link = "--link emulator:emu ";

    ASSERT_EQ(Cli(link + "import slot1 s.dci").code, 0);
    Result r = Cli(link + "list slot1 --json");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\"name\":\"LINKSAVE    \",\"type\":\"data\",\"first_block\":199,"
                         "\"size\":7"),
              std::string::npos)
        << r.out;
    ASSERT_EQ(Cli(link + "copy slot1 LINKSAVE slot2 --move").code, 0);
    ASSERT_EQ(Cli(link + "copy slot2 LINKSAVE file.dcm").code, 0);
    EXPECT_EQ(Cli(link + "list slot1 --json").out.find("LINKSAVE"), std::string::npos);
    ASSERT_EQ(Cli(link + "export slot2 LINKSAVE x.dci").code, 0);
    EXPECT_EQ(DciBlocks(ReadFileBytes(P("x.dci"))), DciBlocks(ReadFileBytes(P("s.dci"))));

    r = Cli(link + "icons slot2 LINKSAVE ic");
    ASSERT_EQ(r.code, 0) << r.err;
    ASSERT_EQ(Cli("icons file.dcm LINKSAVE ic2").code, 0);
    EXPECT_EQ(ReadFileBytes(P("ic/frame1.bmp")), ReadFileBytes(P("ic2/frame1.bmp")));

    // A card saved, uploaded elsewhere and saved again gives the same file.
    ASSERT_EQ(Cli(link + "save-card slot2 one.dcm").code, 0);
    EXPECT_EQ(ReadFileBytes(P("one.dcm")), ReadFileBytes(P("emu/slot2.dcm")));
    ASSERT_EQ(Cli(link + "upload-card one.dcm slot1").code, 0);
    ASSERT_EQ(Cli(link + "save-card slot1 two.dcm").code, 0);
    EXPECT_EQ(ReadFileBytes(P("one.dcm")), ReadFileBytes(P("two.dcm")));
    ASSERT_EQ(Cli(link + "delete slot1 LINKSAVE").code, 0);
    EXPECT_EQ(Cli(link + "format slot1 240").code, 0);
    EXPECT_EQ(Cli(link + "list slot1 --json").out,
              "{\"formatted\":true,\"user_blocks\":240,\"free_blocks\":240,\"savers\":[]}\n");

    // An empty slot, a wrong-size upload and the paged card's missing slot 2.
    fs::remove(P("emu/slot2.dcm"));
    r = Cli(link + "list slot2");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "porvane-cli: no card in slot 2\n");
    WriteFileBytes(P("odd.dcm"), Bytes(1000, 0));
    EXPECT_EQ(Cli(link + "upload-card odd.dcm slot1").code, 1);
    EXPECT_EQ(Cli(link + "list slot1 --page 2").code, 1);

    Bytes paged = ReadFileBytes(P("one.dcm"));
    const Bytes two = ReadFileBytes(P("emu/slot1.dcm"));
    paged.insert(paged.end(), two.begin(), two.end());
    WriteFileBytes(P("paged.bin"), paged);
    r = Cli("--link emulator-paged:paged.bin list slot1 --json --page 0");
    EXPECT_NE(r.out.find("LINKSAVE"), std::string::npos) << r.out << r.err;
    r = Cli("--link emulator-paged:paged.bin list slot1 --json --page 1");
    EXPECT_NE(r.out.find("\"user_blocks\":240"), std::string::npos) << r.out << r.err;
    EXPECT_EQ(Cli("--link emulator-paged:paged.bin list slot2").code, 1);
}

} // namespace
