#include "app/CliFixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace clitest;

class CliJournalTest : public CliFixture {
  protected:
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
    EXPECT_NE(r.err.find("The card was changed since \"delete B\""), std::string::npos) << r.err;
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

} // namespace
