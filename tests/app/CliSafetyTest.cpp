// porvane-cli on damaged cards and odd files: refusals change nothing, the
// card check finds each damage and its repair loses no saver.
#include "app/CliFixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>

namespace {

using namespace clitest;

constexpr uint16_t kEnd = 0xFFFA;

class CliSafetyTest : public CliFixture {
  protected:
    // a.dcm: ALPHA (3 blocks at 199..197), BRAVO (2 at 196, 195) and GAME
    // (3 at 0..2), all placed by the program itself.
    void ThreeSavers(const std::string& card = "a.dcm") {
        NewCard(card);
        WriteFileBytes(P("alpha.dci"), MakeDci("ALPHA", 3, false, 0, 1));
        WriteFileBytes(P("bravo.dci"), MakeDci("BRAVO", 2, false, 0, 2));
        WriteFileBytes(P("game.dci"), MakeDci("GAME", 3, true, 0, 3));
        for (const char* dci : {"alpha.dci", "bravo.dci", "game.dci"})
            ASSERT_EQ(Cli("import " + card + " " + dci).code, 0) << dci;
    }
    // Each saver on card exported, compared with the file it came from
    // (only the first blocks of ALPHA when its size was lowered).
    void ExpectSaversWhole(const std::string& card, bool alpha = true) {
        for (const char* name : {"ALPHA", "BRAVO", "GAME"}) {
            if (!alpha && std::string(name) == "ALPHA")
                continue;
            fs::remove(P("x.dci"));
            const std::string lower = name == std::string("ALPHA")   ? "alpha"
                                      : name == std::string("BRAVO") ? "bravo"
                                                                     : "game";
            ASSERT_EQ(Cli("export " + card + " " + name + " x.dci").code, 0) << card << name;
            EXPECT_EQ(DciBlocks(ReadFileBytes(P("x.dci"))),
                      DciBlocks(ReadFileBytes(P(lower + ".dci"))))
                << card << " " << name;
        }
    }
};

// 1. A refused overwrite deletes nothing.
TEST_F(CliSafetyTest, RefusedOverwriteLeavesTheCardByteForByte) {
    NewCard("a.dcm");
    WriteFileBytes(P("old.dci"), MakeDci("OLD", 5, false, 0, 1));
    ASSERT_EQ(Cli("import a.dcm old.dci").code, 0);
    // 190 leaked blocks: the listing counts 195 free, the table has 5.
    std::vector<std::pair<int, uint16_t>> leaks;
    for (int b = 0; b < 190; ++b)
        leaks.emplace_back(b, kEnd);
    SetFatInImage(P("a.dcm"), leaks);
    const Bytes before = ReadFileBytes(P("a.dcm"));
    WriteFileBytes(P("new.dci"), MakeDci("OLD", 20, false, 0, 2));
    Result r = Cli("import a.dcm new.dci --overwrite");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "porvane-cli: NOT ENOUGH SPACE.\n");
    NewCard("b.dcm");
    ASSERT_EQ(Cli("import b.dcm new.dci").code, 0);
    EXPECT_EQ(Cli("copy b.dcm OLD a.dcm --overwrite").code, 1);
    EXPECT_EQ(ReadFileBytes(P("a.dcm")), before);

    // A directory chain that runs into a saver's block: every write refused.
    ThreeSavers("c.dcm");
    SetFatInImage(P("c.dcm"), {{245, 197}});
    const Bytes damaged = ReadFileBytes(P("c.dcm"));
    r = Cli("import c.dcm alpha.dci --overwrite");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("directory is damaged"), std::string::npos) << r.err;
    EXPECT_EQ(Cli("delete c.dcm BRAVO").code, 1);
    EXPECT_EQ(ReadFileBytes(P("c.dcm")), damaged);
}

// 4. The card check and its repair.
TEST_F(CliSafetyTest, CheckFindsEachDamageAndRepairLosesNoSaver) {
    ThreeSavers();
    Result r = Cli("check a.dcm");
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "a.dcm: 200 user blocks, 3 savers, 192 BLOCKS FREE (the table has 192 free)\n"
                     "clean.\n");
    EXPECT_EQ(Cli("check").code, 2);
    EXPECT_EQ(Cli("check a.dcm --frob").code, 2);

    struct Damage {
        const char* card;
        const char* kind;
        void (*apply)(const fs::path&);
    };
    const Damage damages[] = {
        {"dir.dcm", "system_chains",
         [](const fs::path& p) {
             SetFatInImage(p, {{245, 197}});
         }},
        {"leak.dcm", "leaked_blocks",
         [](const fs::path& p) {
             SetFatInImage(p, {{100, kEnd}, {101, kEnd}});
         }},
        {"size.dcm", "chain_short", [](const fs::path& p) { SetEntryByteInImage(p, 0, 24, 9); }},
        {"game.dcm", "game_first_block",
         [](const fs::path& p) { SetEntryByteInImage(p, 2, 2, 196); }},
        {"loop.dcm", "chain_no_end",
         [](const fs::path& p) {
             SetFatInImage(p, {{197, 199}});
         }},
    };
    for (const Damage& d : damages) {
        fs::copy_file(P("a.dcm"), P(d.card));
        d.apply(P(d.card));
        r = Cli(std::string("check ") + d.card + " --json");
        EXPECT_EQ(r.code, 1) << d.card;
        EXPECT_NE(r.out.find(std::string("\"kind\":\"") + d.kind + "\""), std::string::npos)
            << r.out;
        r = Cli(std::string("check ") + d.card + " --repair");
        EXPECT_EQ(r.code, 0) << d.card << "\n" << r.out << r.err;
        EXPECT_NE(r.out.find("repaired: "), std::string::npos) << r.out;
        EXPECT_EQ(Cli(std::string("check ") + d.card).code, 0) << d.card;
        ExpectSaversWhole(d.card);
    }

    // ALPHA cross-linked into BRAVO: the repair names both and touches
    // neither; deleting ALPHA keeps BRAVO, and the card can then be mended.
    fs::copy_file(P("a.dcm"), P("cross.dcm"));
    SetFatInImage(P("cross.dcm"), {{199, 196}});
    r = Cli("check cross.dcm --repair");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("ALPHA (entry 0) and BRAVO (entry 1) share blocks"), std::string::npos)
        << r.out;
    ASSERT_EQ(Cli("delete cross.dcm ALPHA").code, 0);
    EXPECT_EQ(Cli("check cross.dcm --repair").code, 0);
    ExpectSaversWhole("cross.dcm", false);
}

// 5. Smaller faults of porvane-cli.
TEST_F(CliSafetyTest, OddFilesAndNamesAreHandled) {
    ThreeSavers();
    // A FIFO for the settings file is skipped with a warning, never read.
    ASSERT_EQ(::mkfifo(P("RUD2.cfg").c_str(), 0600), 0);
    Result r = Cli("--link ppdev:/dev/porvane-no-such-port list slot1", "timeout 20 ");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("RUD2.cfg is not a regular file"), std::string::npos) << r.err;

    // Folders and FIFOs given as files say what they are, and are not opened.
    fs::create_directories(P("folder.dcm"));
    r = Cli("list folder.dcm");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "porvane-cli: folder.dcm is a folder, not a file.\n");
    ASSERT_EQ(::mkfifo(P("pipe.dci").c_str(), 0600), 0);
    for (const char* command : {"import a.dcm pipe.dci", "list pipe.dci", "disasm pipe.dci"}) {
        r = Cli(command, "timeout 20 ");
        EXPECT_EQ(r.code, 1) << command;
        EXPECT_NE(r.err.find("pipe.dci is not a regular file"), std::string::npos) << r.err;
    }

    // Names a shell can't pass, or that look like options, by index.
    WriteFileBytes(P("nul.dci"), MakeDci(std::string("NUL\0NAME", 8), 1, false, 0, 4));
    WriteFileBytes(P("dash.dci"), MakeDci("--DASH", 1, false, 0, 5));
    ASSERT_EQ(Cli("import a.dcm nul.dci").code, 0);
    ASSERT_EQ(Cli("import a.dcm -- dash.dci").code, 0);
    ASSERT_EQ(Cli("export a.dcm '#4' dash-out.dci").code, 0);
    EXPECT_EQ(DciBlocks(ReadFileBytes(P("dash-out.dci"))), DciBlocks(ReadFileBytes(P("dash.dci"))));
    ASSERT_EQ(Cli("delete a.dcm '#3'").code, 0);
    EXPECT_EQ(Cli("list a.dcm").out.find("NUL"), std::string::npos);
    EXPECT_EQ(Cli("delete a.dcm '#3'").code, 1); // no saver there any more

    // Frames cut off by a full disk fail the command and are removed.
    WriteFileBytes(P("icons.dci"), MakeDci("ICONS", 4, false, 3, 6));
    ASSERT_EQ(Cli("import a.dcm icons.dci").code, 0);
    r = Cli("icons a.dcm ICONS frames", "trap '' XFSZ; ulimit -f 2; ");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(P("frames/frame0.bmp")));
}

// A saver name from a file reaches the terminal through the cleaning the
// listing uses: no byte of it is a control code, on any refusal.
TEST_F(CliSafetyTest, NamesFromFilesReachTheTerminalCleaned) {
    NewCard("a.dcm");
    NewCard("b.dcm");
    const std::string hostile = "\x1b]0;PWN\x07\x1b[2J";
    WriteFileBytes(P("pwn.dci"), MakeDci(hostile, 1, false, 0, 7));
    ASSERT_EQ(Cli("import a.dcm pwn.dci").code, 0);
    ASSERT_EQ(Cli("import b.dcm pwn.dci").code, 0);
    for (const char* command : {"import a.dcm pwn.dci", "copy a.dcm '#0' b.dcm"}) {
        const Result r = Cli(command);
        EXPECT_EQ(r.code, 1) << command;
        EXPECT_EQ(r.err, "porvane-cli: Saver  ]0;PWN  [2J exists on the card (use --overwrite or "
                         "--append)\n")
            << command;
    }
}

} // namespace
