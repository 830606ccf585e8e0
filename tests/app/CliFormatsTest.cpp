// porvane-cli with emulators' card dumps, VMS + VMI pairs and Shift-JIS
// descriptions.
#include "app/CliFixture.h"

namespace {

using namespace clitest;

class CliFormatsTest : public CliFixture {};

TEST_F(CliFormatsTest, DumpsPairsAndJapaneseDescriptionsTravelBetweenCards) {
    NewCard("a.dcm");
    Bytes dci = MakeDci("JP SAVE", 3, false, 1, 5);
    // "セーブ" in code page 932 at the start of the description.
    const uint8_t sjis[] = {0x83, 0x5A, 0x81, 0x5B, 0x83, 0x75};
    for (int i = 0; i < 6; ++i)
        dci[32 + (i ^ 3)] = sjis[i];
    WriteFileBytes(P("jp.dci"), dci);
    WriteFileBytes(P("game.dci"), MakeDci("A GAME", 2, true, 1, 9));
    ASSERT_EQ(Cli("import a.dcm jp.dci").code, 0);
    ASSERT_EQ(Cli("import a.dcm game.dci").code, 0);

    // The dump lists, checks and converts back as the DCM does.
    ASSERT_EQ(Cli("convert a.dcm a.vmu").code, 0);
    EXPECT_NE(ReadFileBytes(P("a.vmu")), ReadFileBytes(P("a.dcm")));
    const std::string listed = Cli("list a.dcm --json").out;
    EXPECT_NE(listed.find("\"description_text\":\"セーブ"), std::string::npos) << listed;
    // The plain listing shows the decoded text too, the tab of the header
    // filtered out as every control character.
    const std::string plain = Cli("list a.dcm").out;
    EXPECT_NE(plain.find("  セーブ"), std::string::npos) << plain;
    EXPECT_EQ(plain.find('\t'), std::string::npos) << plain;
    Result r = Cli("list a.vmu --json");
    EXPECT_EQ(r.out, listed);
    EXPECT_TRUE(r.err.empty()) << r.err;
    EXPECT_EQ(Cli("check a.vmu").code, 0);
    ASSERT_EQ(Cli("convert a.vmu back.img --to dcm").code, 0);
    EXPECT_EQ(ReadFileBytes(P("back.img")), ReadFileBytes(P("a.dcm")));
    EXPECT_EQ(Cli("convert a.vmu back.img").code, 1); // exists, no --force
    // ".bin" is card order, as the window's "BIN file format" writes it; a
    // raw dump only when asked for.
    ASSERT_EQ(Cli("convert a.vmu a.bin").code, 0);
    EXPECT_EQ(ReadFileBytes(P("a.bin")), ReadFileBytes(P("a.dcm")));
    ASSERT_EQ(Cli("convert a.dcm raw.bin --to raw").code, 0);
    EXPECT_EQ(ReadFileBytes(P("raw.bin")), ReadFileBytes(P("a.vmu")));
    // One byte too long is no image.
    Bytes longer = ReadFileBytes(P("a.dcm"));
    longer.push_back(0);
    WriteFileBytes(P("long.dcm"), longer);
    r = Cli("convert long.dcm long.vmu");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("IS NOT SUPPORTED"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(P("long.vmu")));

    // Both savers out as pairs and into an empty card.
    NewCard("b.dcm");
    for (const char* name : {"JP SAVE", "A GAME"}) {
        const std::string base = name[0] == 'J' ? "jpsave" : "Game";
        ASSERT_EQ(Cli("export a.vmu '" + std::string(name) + "' " + base + ".VMI").code, 0);
        EXPECT_EQ(ReadFileBytes(P(base + ".VMS")).size(), name[0] == 'J' ? 1536u : 1024u);
        r = Cli("import b.dcm " + base + ".VMI");
        EXPECT_EQ(r.code, 0) << r.err;
    }
    const std::string copied = Cli("list b.dcm").out;
    EXPECT_EQ(copied, Cli("list a.dcm").out);
    EXPECT_NE(copied.find("A GAME        game      0     2"), std::string::npos) << copied;

    r = Cli("export a.dcm 'JP SAVE' ninechars.VMS");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("1 to 8 characters"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(P("ninechars.VMS")) || fs::exists(P("ninechars.VMI")));
}

} // namespace
