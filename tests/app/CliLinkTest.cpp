// porvane-cli's link options: --no-verify, and why a port could not be opened.
#include "app/CliFixture.h"

using namespace clitest;

class CliLinkTest : public CliFixture {};

TEST_F(CliLinkTest, NoVerifyStandsAmongTheLinkOptions) {
    NewCard("emu/slot1.dcm");
    NewCard("emu/slot2.dcm", "241");
    const Bytes card = ReadFileBytes(P("emu/slot1.dcm"));
    Result r = Cli("--no-verify --link emulator:emu save-card slot1 a.dcm");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadFileBytes(P("a.dcm")), card);
    r = Cli("--link emulator:emu --no-verify upload-card a.dcm slot2");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadFileBytes(P("emu/slot2.dcm")), card);
    // Verified (the default) on the same box.
    r = Cli("--link=emulator:emu save-card slot2 b.dcm");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(ReadFileBytes(P("b.dcm")), card);
    EXPECT_NE(Cli("--help").out.find("--no-verify"), std::string::npos);
}

TEST_F(CliLinkTest, APortThatCannotBeOpenedSaysWhy) {
    const Result r = Cli("--link ppdev:" + P("parport-none").string() + " list slot1");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("cannot open the link port"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("No such file or directory"), std::string::npos) << r.err;
}

TEST_F(CliLinkTest, DoctorFollowsTheLinkDownToTwoReadsOfARootBlock) {
    // A box with one card: exit 0, each slot named, the card's root read twice.
    NewCard("emu/slot1.dcm");
    Result r = Cli("--link emulator:emu doctor");
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("box: two-slot unit"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("slot1: card"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("slot2: empty"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("slot1: root block read twice: the reads agree"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("slot1: one verified block takes "), std::string::npos) << r.out;

    // No port at all: what was tried, what to try, exit 1 and quickly.
    r = Cli("--link ppdev:" + P("parport-none").string() + " doctor");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("ppdev module:"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("BasePort 0x378"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("cannot open the link port"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("--link emulator:DIR"), std::string::npos) << r.out;
    EXPECT_EQ(Cli("doctor extra").code, 2);
}

TEST_F(CliLinkTest, SpeedFindsCountsAndKeepsThemOnlyWhenAsked) {
    NewCard("emu/slot2.dcm");
    const Bytes card = ReadFileBytes(P("emu/slot2.dcm"));
    Result r = Cli("--link emulator:emu speed");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.rfind("Old: short 0100, long 1200, longest 1B00 (a 20-saver refresh", 0), 0u)
        << r.out;
    EXPECT_NE(r.out.find("nothing written"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(P("RUD2.cfg")));
    // --save keeps the bar's counts beside the other settings.
    WriteFileBytes(P("RUD2.cfg"), Bytes{'6', '3', '2', '\r', '\n'});
    r = Cli("--link emulator:emu speed --save");
    ASSERT_EQ(r.code, 0) << r.err;
    const size_t at = r.out.find("speed bar: ");
    ASSERT_NE(at, std::string::npos) << r.out;
    const long bar = std::stol(r.out.substr(at + 11));
    const std::string lines = "632\r\n" + std::to_string(bar / 16) + "\r\n" + std::to_string(bar) +
                              "\r\n" + std::to_string(bar * 3 / 2) + "\r\n";
    const Bytes cfg = ReadFileBytes(P("RUD2.cfg"));
    EXPECT_EQ(std::string(cfg.begin(), cfg.end()).rfind(lines, 0), 0u);
    EXPECT_EQ(ReadFileBytes(P("emu/slot2.dcm")), card);
    // No card to read: the counts stay.
    fs::remove(P("emu/slot2.dcm"));
    r = Cli("--link emulator:emu speed --save");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("There is no card in the box"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFileBytes(P("RUD2.cfg")), cfg);
}

// Each command over the socket box, its reads counted by the box: a
// 20-saver card's listing without header blocks, the same-card check's one
// read a block, the history's hash of the deleted saver and the read-backs.
TEST_F(CliLinkTest, CommandsReadOnlyWhatTheyNeed) {
    NewCard("emu/slot1.dcm");
    for (int i = 0; i < 20; ++i) {
        const std::string name = "SAVER" + std::to_string(100 + i);
        WriteFileBytes(P("s.dci"), MakeDci(name, 3, false, 1, static_cast<uint8_t>(i)));
        ASSERT_EQ(Cli("--no-journal import emu/slot1.dcm s.dci").code, 0);
    }
    const auto reads = [&](const std::string& command) {
        const std::string box = "'" PORVANE_BIN_DIR "/porvane-linkbox' --link emulator:emu "
                                "--socket box.sock --once --stats stats.txt";
        fs::remove(P("stats.txt"));
        const Result r = Cli("--link socket:box.sock " + command,
                             "(" + box + " &) && for i in $(seq 500); do [ -S box.sock ] && " +
                                 "break; sleep 0.01; done && sleep 0.1 && ");
        EXPECT_EQ(r.code, 0) << command << ": " << r.err;
        for (int i = 0; i < 500 && !fs::exists(P("stats.txt")); ++i)
            std::system("sleep 0.01");
        const Bytes stats = ReadFileBytes(P("stats.txt"));
        return std::stol(std::string(stats.begin(), stats.end()).substr(12));
    };
    // 30 + 15 + 6 + 2 (106 when every header was listed and checked twice).
    EXPECT_LE(reads("delete slot1 SAVER105"), 53);
    // The system blocks once, verified, the saver it brings back (its hash),
    // and the read-backs (100 after a listing).
    EXPECT_LE(reads("undo slot1"), 38);
}
