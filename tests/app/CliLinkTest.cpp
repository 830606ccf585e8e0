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

    // No port at all: what was tried, what to try, exit 1 and quickly.
    r = Cli("--link ppdev:" + P("parport-none").string() + " doctor");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("ppdev module:"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("BasePort 0x378"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("cannot open the link port"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("--link emulator:DIR"), std::string::npos) << r.out;
    EXPECT_EQ(Cli("doctor extra").code, 2);
}
