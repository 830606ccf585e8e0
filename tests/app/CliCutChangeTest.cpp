// porvane-cli over a socket box that stops answering after its Nth block
// write: the command fails and says the card may need a check; the next
// command on the card takes the cut change back, says so, and the card is
// byte for byte as it was in its system blocks and checks clean.
#include "app/CliFixture.h"
#include "link/support/LinkTestSupport.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace clitest;

class CliCutChangeTest : public CliFixture {
  protected:
    static Bytes SystemBlocks(const Bytes& card) {
        return Bytes(card.begin() + 241 * 512, card.end());
    }
};

TEST_F(CliCutChangeTest, AChangeCutOffByTheLinkIsTakenBackByTheNextCommand) {
    struct Case {
        const char* prepare; // run whole first, through the in-process box
        const char* command;
        uint32_t writes; // the box stops after this many
    };
    const Case cases[] = {
        {"", "delete slot1 B", 1},
        {"", "copy slot2 D slot1", 4},
        {"", "copy slot1 B slot2 --move", 5},
        {"delete slot1 B", "undo slot1", 1},
        {"delete slot1 B", "recover slot1 B", 1},
        {"", "format slot1 200", 2},
    };
    const std::string inProcess = "--link emulator:emu ";
    NewCard("emu/slot1.dcm");
    NewCard("emu/slot2.dcm");
    for (const char* name : {"A", "B", "C"})
        WriteFileBytes(P(std::string(name) + ".dci"), MakeDci(name, 2, false, 1, name[0]));
    WriteFileBytes(P("D.dci"), MakeDci("D", 3, false, 1, 'D'));
    for (const char* name : {"A", "B", "C"})
        ASSERT_EQ(Cli(inProcess + "import slot1 " + name + ".dci").code, 0);
    ASSERT_EQ(Cli(inProcess + "import slot2 D.dci").code, 0);
    const Bytes start[2] = {ReadFileBytes(P("emu/slot1.dcm")), ReadFileBytes(P("emu/slot2.dcm"))};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        fs::remove_all(P("journal"));
        WriteFileBytes(P("emu/slot1.dcm"), start[0]);
        WriteFileBytes(P("emu/slot2.dcm"), start[1]);
        if (*c.prepare != '\0') {
            ASSERT_EQ(Cli(inProcess + c.prepare).code, 0);
        }
        const Bytes before[2] = {ReadFileBytes(P("emu/slot1.dcm")),
                                 ReadFileBytes(P("emu/slot2.dcm"))};

        Result r;
        {
            linktest::LinkboxProcess box("emulator:" + P("emu").string(), P("box.sock").string(),
                                         {"--stop-after-writes", std::to_string(c.writes)});
            ASSERT_TRUE(box.Started());
            r = Cli("--link socket:" + P("box.sock").string() + " " + c.command);
        }
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find("the card may need \"Check card...\""), std::string::npos) << r.err;

        // The next command on the card puts it right, and says which.
        r = Cli(inProcess + "check slot1");
        EXPECT_EQ(r.code, 0) << r.out << r.err;
        EXPECT_NE(r.err.find("was cut off before it was done; it has been taken back. The card "
                             "check finds no problem."),
                  std::string::npos)
            << r.err;
        EXPECT_TRUE(SystemBlocks(ReadFileBytes(P("emu/slot1.dcm"))) == SystemBlocks(before[0]));
        r = Cli(inProcess + "check slot2");
        EXPECT_EQ(r.code, 0) << r.out << r.err;
        EXPECT_EQ(r.err, "");
        // Nothing left to settle: a further command says nothing of it.
        r = Cli(inProcess + "list slot1");
        EXPECT_EQ(r.err, "");
        for (const char* name : {"A  ", "C  "})
            EXPECT_NE(r.out.find(name), std::string::npos) << r.out;
    }
}

} // namespace
