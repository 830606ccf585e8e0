#include "app/CliFixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

using namespace clitest;

// Where needle last stands in hay; -1 when nowhere.
long LastIndexOf(const Bytes& hay, const Bytes& needle) {
    const auto at = std::find_end(hay.begin(), hay.end(), needle.begin(), needle.end());
    return at == hay.end() ? -1 : static_cast<long>(at - hay.begin());
}

Bytes BlockOf(const Bytes& card, int block) {
    return Bytes(card.begin() + block * 512, card.begin() + (block + 1) * 512);
}

class CliJournalTest : public CliFixture {
  protected:
    // The one history file in journal/ (an image keeps one line of changes).
    fs::path HistoryFile() {
        fs::path found;
        int count = 0;
        for (const auto& e : fs::directory_iterator(P("journal"))) {
            if (e.path().extension() == ".journal") {
                found = e.path();
                ++count;
            }
        }
        EXPECT_EQ(count, 1);
        return found;
    }

    // A card of ten savers of 2..11 blocks, A.dci..J.dci beside it.
    void TenSavers(const std::string& card) {
        NewCard(card);
        for (int i = 0; i < 10; ++i) {
            const std::string name(1, static_cast<char>('A' + i));
            WriteFileBytes(P(name + ".dci"),
                           MakeDci(name, 2 + i, false, 1, static_cast<uint8_t>(i * 9)));
            ASSERT_EQ(Cli("import " + card + " " + name + ".dci").code, 0) << name;
        }
    }
};

TEST_F(CliJournalTest, UndoTakesBackDeleteAndFormatByteForByte) {
    TenSavers("c.dcm");
    const Bytes ten = ReadFileBytes(P("c.dcm"));

    ASSERT_EQ(Cli("delete c.dcm D").code, 0);
    Result r = Cli("undo c.dcm");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Undid \"delete D\".\n");
    EXPECT_EQ(ReadFileBytes(P("c.dcm")), ten);

    ASSERT_EQ(Cli("format c.dcm 240").code, 0);
    const Bytes formatted = ReadFileBytes(P("c.dcm"));
    ASSERT_NE(formatted, ten);
    ASSERT_EQ(Cli("undo c.dcm").code, 0);
    EXPECT_EQ(ReadFileBytes(P("c.dcm")), ten);
    // The undo is a change too: undoing it formats again.
    r = Cli("undo c.dcm");
    EXPECT_EQ(r.out, "Undid \"undo format 240\".\n");
    EXPECT_EQ(ReadFileBytes(P("c.dcm")), formatted);

    r = Cli("history c.dcm --json");
    ASSERT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("{\"index\":11,"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"command\":\"format 240\",\"removed\":[\"A\",\"B\",\"C\",\"D\",\"E\","
                         "\"F\",\"G\",\"H\",\"I\",\"J\"],\"added\":[]"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"command\":\"redo format 240\""), std::string::npos) << r.out;
}

TEST_F(CliJournalTest, RecoverAfterFormatBringsBackWhatWasNotOverwritten) {
    TenSavers("c.dcm");
    Bytes blocks[10];
    for (int i = 0; i < 10; ++i) {
        const std::string name(1, static_cast<char>('A' + i));
        blocks[i] = DciBlocks(ReadFileBytes(P(name + ".dci")));
    }
    ASSERT_EQ(Cli("format c.dcm 200").code, 0);
    // Data savers run down from block 199: 30 blocks cover A..F (2+...+7 =
    // 27) and the first 3 of G's 8, and leave H, I and J alone.
    WriteFileBytes(P("new.dci"), MakeDci("NEW", 30, false, 1, 200));
    ASSERT_EQ(Cli("import c.dcm new.dci").code, 0);

    Result r = Cli("recover c.dcm");
    EXPECT_EQ(r.code, 0) << r.err;
    for (const char* lost : {"A", "B", "C", "D", "E", "F", "G"})
        EXPECT_NE(r.out.find(std::string("lost: ") + lost + ": its blocks were used"),
                  std::string::npos)
            << lost << "\n"
            << r.out;
    EXPECT_NE(r.out.find("Recovered H, I, J."), std::string::npos) << r.out;
    for (int i = 7; i < 10; ++i) {
        const std::string name(1, static_cast<char>('A' + i));
        ASSERT_EQ(Cli("export c.dcm " + name + " out" + name + ".dci").code, 0) << name;
        EXPECT_EQ(DciBlocks(ReadFileBytes(P("out" + name + ".dci"))), blocks[i]) << name;
    }
    EXPECT_EQ(Cli("export c.dcm G outG.dci").code, 1);
    EXPECT_EQ(Cli("check c.dcm").code, 0);
    // Nothing more to bring back: refused, card untouched.
    const Bytes after = ReadFileBytes(P("c.dcm"));
    EXPECT_EQ(Cli("recover c.dcm H").code, 1);
    EXPECT_EQ(ReadFileBytes(P("c.dcm")), after);
}

TEST_F(CliJournalTest, UndoAfterAnotherWriterIsRefusedAndChangesNothing) {
    // Over the emulated box: the slot's card is its file.
    TenSavers("emu/slot1.dcm");
    const std::string link = "--link emulator:emu ";
    ASSERT_EQ(Cli(link + "delete slot1 B").code, 0);
    // Another program renames saver C on the card.
    SetEntryByteInImage(P("emu/slot1.dcm"), 2, 4, 'Z');
    const Bytes foreign = ReadFileBytes(P("emu/slot1.dcm"));
    Result r = Cli(link + "undo slot1");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("No change in the history leaves this card as it is now"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(ReadFileBytes(P("emu/slot1.dcm")), foreign);

    // A change kept out of the history is "another writer" too.
    ASSERT_EQ(Cli("new d.dcm").code, 0);
    ASSERT_EQ(Cli("format d.dcm 200").code, 0);
    ASSERT_EQ(Cli("--no-journal format d.dcm 240").code, 0);
    const Bytes unrecorded = ReadFileBytes(P("d.dcm"));
    EXPECT_EQ(Cli("undo d.dcm").code, 1);
    EXPECT_EQ(ReadFileBytes(P("d.dcm")), unrecorded);
    // Deleting the history loses the undo, nothing else.
    fs::remove_all(P("journal"));
    EXPECT_EQ(Cli("undo d.dcm").code, 1);
    EXPECT_EQ(Cli("list d.dcm").code, 0);
}

TEST_F(CliJournalTest, AnOverwriteOnAFullCardIsTakenBackWithTheOldSaversData) {
    NewCard("c.dcm");
    // Two savers fill the 200 blocks; a new OLD of the same size can only
    // go over the old one's blocks.
    WriteFileBytes(P("old.dci"), MakeDci("OLD", 100, false, 1, 1));
    WriteFileBytes(P("rest.dci"), MakeDci("REST", 100, false, 1, 2));
    ASSERT_EQ(Cli("import c.dcm old.dci").code, 0);
    ASSERT_EQ(Cli("import c.dcm rest.dci").code, 0);
    const Bytes full = ReadFileBytes(P("c.dcm"));
    WriteFileBytes(P("new.dci"), MakeDci("OLD", 100, false, 1, 77));
    ASSERT_EQ(Cli("import c.dcm new.dci --overwrite").code, 0);
    ASSERT_NE(ReadFileBytes(P("c.dcm")), full);
    ASSERT_EQ(Cli("undo c.dcm").code, 0);
    EXPECT_EQ(ReadFileBytes(P("c.dcm")), full);

    // Recovering by name: a saver of that name on the card keeps it out.
    ASSERT_EQ(Cli("delete c.dcm REST").code, 0);
    WriteFileBytes(P("rest2.dci"), MakeDci("REST", 50, false, 1, 3));
    ASSERT_EQ(Cli("import c.dcm rest2.dci").code, 0);
    Result r = Cli("recover c.dcm REST");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("lost: REST: a saver of that name is on the card"), std::string::npos)
        << r.err;
    ASSERT_EQ(Cli("delete c.dcm REST").code, 0);
    ASSERT_EQ(Cli("delete c.dcm OLD").code, 0);
    r = Cli("recover c.dcm OLD");
    EXPECT_EQ(r.out, "Recovered OLD.\n") << r.err;
    ASSERT_EQ(Cli("export c.dcm OLD out.dci").code, 0);
    EXPECT_EQ(DciBlocks(ReadFileBytes(P("out.dci"))), DciBlocks(ReadFileBytes(P("old.dci"))));
}

// Undo and recover write only what they can prove: the data they bring back,
// the card they bring it to, the record they bring it from and the place
// they put it.
TEST_F(CliJournalTest, UndoRefusesASaverWhoseBlocksAnotherProgramReused) {
    NewCard("c.dcm");
    WriteFileBytes(P("x.dci"), MakeDci("XSAVE", 3, false, 1, 10));
    WriteFileBytes(P("o.dci"), MakeDci("OTHER", 3, false, 1, 99));
    ASSERT_EQ(Cli("import c.dcm x.dci").code, 0);
    ASSERT_EQ(Cli("delete c.dcm XSAVE").code, 0);
    const Bytes deleted = ReadFileBytes(P("c.dcm"));
    // Another program fills the freed blocks and deletes again: the system
    // blocks are byte for byte as after the delete.
    ASSERT_EQ(Cli("--no-journal import c.dcm o.dci").code, 0);
    ASSERT_EQ(Cli("--no-journal delete c.dcm OTHER").code, 0);
    const Bytes reused = ReadFileBytes(P("c.dcm"));
    ASSERT_TRUE(BlockOf(reused, 254) == BlockOf(deleted, 254));
    EXPECT_EQ(Cli("recover c.dcm XSAVE").code, 1);
    Result r = Cli("undo c.dcm");
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(ReadFileBytes(P("c.dcm")) == reused);

    // Only the middle block changed: the card still looks as the delete left
    // it, and the saver's own hash refuses it, by name.
    Bytes one = deleted;
    one[198 * 512 + 100] ^= 0xFF;
    WriteFileBytes(P("c.dcm"), one);
    r = Cli("undo c.dcm");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("XSAVE"), std::string::npos) << r.err;
    EXPECT_TRUE(ReadFileBytes(P("c.dcm")) == one);
}

TEST_F(CliJournalTest, AHistoryIsNeverShownForNorAppliedToAnotherCard) {
    // Card A in slot 1: its only saver deleted through the box.
    NewCard("emu/slot1.dcm");
    WriteFileBytes(P("x.dci"), MakeDci("XSAVE", 3, false, 1, 10));
    WriteFileBytes(P("old.dci"), MakeDci("OLD", 3, false, 1, 55));
    ASSERT_EQ(Cli("import emu/slot1.dcm x.dci").code, 0);
    const std::string link = "--link emulator:emu ";
    ASSERT_EQ(Cli(link + "delete slot1 XSAVE").code, 0);
    const Bytes a = ReadFileBytes(P("emu/slot1.dcm"));
    // Card B: formatted here over an old saver, so its system blocks are
    // those of A; it goes into slot 1.
    NewCard("b.dcm");
    ASSERT_EQ(Cli("import b.dcm old.dci").code, 0);
    ASSERT_EQ(Cli("format b.dcm 200").code, 0);
    ASSERT_TRUE(BlockOf(ReadFileBytes(P("b.dcm")), 254) ==
                BlockOf(ReadFileBytes(P("emu/slot1.dcm")), 254));
    fs::copy_file(P("b.dcm"), P("emu/slot1.dcm"), fs::copy_options::overwrite_existing);
    const Bytes b = ReadFileBytes(P("emu/slot1.dcm"));

    Result r = Cli(link + "history slot1");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.find("XSAVE"), std::string::npos) << r.out;
    r = Cli(link + "undo slot1");
    EXPECT_EQ(r.code, 1) << r.out;
    r = Cli(link + "recover slot1");
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_TRUE(ReadFileBytes(P("emu/slot1.dcm")) == b);
    // Card A back in the slot: its history is there again.
    WriteFileBytes(P("emu/slot1.dcm"), a);
    r = Cli(link + "history slot1");
    EXPECT_NE(r.out.find("delete XSAVE"), std::string::npos) << r.out;
}

TEST_F(CliJournalTest, ADamagedHistoryRecordIsRefusedWhole) {
    NewCard("c.dcm");
    WriteFileBytes(P("x.dci"), MakeDci("XSAVE", 3, false, 1, 10));
    WriteFileBytes(P("y.dci"), MakeDci("YSAVE", 2, false, 1, 20));
    ASSERT_EQ(Cli("import c.dcm x.dci").code, 0); // blocks 199, 198, 197
    ASSERT_EQ(Cli("import c.dcm y.dci").code, 0); // blocks 196, 195
    const Bytes both = ReadFileBytes(P("c.dcm"));
    ASSERT_EQ(Cli("delete c.dcm XSAVE").code, 0);
    const Bytes deleted = ReadFileBytes(P("c.dcm"));
    const fs::path history = HistoryFile();
    const Bytes good = ReadFileBytes(history);

    // The removed saver's first block made to point into YSAVE.
    const std::string name = "XSAVE       ";
    Bytes bad = good;
    const long at = LastIndexOf(bad, Bytes(name.begin(), name.end()));
    ASSERT_GT(at, 2);
    ASSERT_EQ(bad[at - 2], 199);
    bad[at - 2] = 196;
    WriteFileBytes(history, bad);
    Result r = Cli("recover c.dcm XSAVE");
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_TRUE(ReadFileBytes(P("c.dcm")) == deleted);
    EXPECT_EQ(Cli("check c.dcm").code, 0);

    // One byte of the stored table as it was, on YSAVE's link.
    bad = good;
    const long table = LastIndexOf(bad, BlockOf(both, 254));
    ASSERT_GT(table, 0);
    bad[table + 4 * (196 * 2 / 4) + 3 - (196 * 2) % 4] ^= 0x40;
    WriteFileBytes(history, bad);
    r = Cli("undo c.dcm");
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_TRUE(ReadFileBytes(P("c.dcm")) == deleted);

    // The sound record still takes the delete back.
    WriteFileBytes(history, good);
    EXPECT_EQ(Cli("undo c.dcm").code, 0);
    EXPECT_TRUE(ReadFileBytes(P("c.dcm")) == both);
}

TEST_F(CliJournalTest, RecoverNeverPlacesASaverBeyondTheUserBlocks) {
    NewCard("c.dcm", "241");
    WriteFileBytes(P("x.dci"), MakeDci("XSAVE", 3, false, 1, 10));
    ASSERT_EQ(Cli("import c.dcm x.dci").code, 0); // blocks 240, 239, 238
    ASSERT_EQ(Cli("format c.dcm 200").code, 0);
    const Bytes formatted = ReadFileBytes(P("c.dcm"));
    Result r = Cli("recover c.dcm");
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_NE(r.err.find("XSAVE"), std::string::npos) << r.err;
    EXPECT_TRUE(ReadFileBytes(P("c.dcm")) == formatted);
    EXPECT_EQ(Cli("check c.dcm").code, 0);
}

// A change the history cannot keep is told of by the command that made it.
TEST_F(CliJournalTest, AChangeLeftOutOfTheHistoryIsToldOnStderr) {
    NewCard("c.dcm");
    WriteFileBytes(P("x.dci"), MakeDci("XSAVE", 3, false, 1, 10));
    ASSERT_EQ(Cli("import c.dcm x.dci").code, 0);
    fs::remove_all(P("journal"));
    WriteFileBytes(P("journal"), Bytes{'x'});
    Result r = Cli("delete c.dcm XSAVE");
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.err.find("not in the history"), std::string::npos) << r.err;
    EXPECT_EQ(Cli("list c.dcm").out.find("XSAVE"), std::string::npos);
    // A command that changes nothing says nothing of it.
    r = Cli("list c.dcm");
    EXPECT_EQ(r.err, "");
}

// Names reach the terminal cleaned, as list shows them.
TEST_F(CliJournalTest, HistoryUndoAndRecoverPrintNamesCleaned) {
    NewCard("c.dcm");
    const std::string hostile = "E\x1b]2;OWN\x07";
    WriteFileBytes(P("e.dci"), MakeDci(hostile, 2, false, 1, 30));
    ASSERT_EQ(Cli("import c.dcm e.dci").code, 0);
    ASSERT_EQ(Cli("delete c.dcm '#0'").code, 0);
    for (const char* command : {"history c.dcm", "recover c.dcm", "undo c.dcm", "undo c.dcm"}) {
        const Result r = Cli(command);
        EXPECT_EQ(r.out.find('\x1b'), std::string::npos) << command;
        EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << command;
        EXPECT_EQ(r.out.find('\x07'), std::string::npos) << command;
        EXPECT_NE((r.out + r.err).find("E ]2;OWN"), std::string::npos) << command << r.out << r.err;
    }
}

} // namespace
