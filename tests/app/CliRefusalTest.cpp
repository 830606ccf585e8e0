// porvane-cli refusals that keep every card byte for byte, and failed writes
// that leave the card as it was.
#include "app/CliFixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace clitest;

using CliRefusalTest = CliFixture;

TEST_F(CliRefusalTest, RefusedOrFailedCommandsLeaveTheCardAsItWas) {
    NewCard("a.dcm");
    WriteFileBytes(P("alpha.dci"), MakeDci("ALPHA", 3, false, 0, 1));
    WriteFileBytes(P("bravo.dci"), MakeDci("BRAVO", 2, false, 0, 2));
    ASSERT_EQ(Cli("import a.dcm alpha.dci").code, 0);
    ASSERT_EQ(Cli("import a.dcm bravo.dci").code, 0);
    const Bytes before = ReadFileBytes(P("a.dcm"));
    Result r = Cli("export a.dcm ALPHA ./a.dcm --force");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("is the card being read"), std::string::npos) << r.err;

    // Writes up to block 253 go through; the table (block 254) is beyond the
    // file-size limit (dash counts 512-byte units).
    for (const char* command : {"delete a.dcm ALPHA", "format a.dcm 200"}) {
        EXPECT_EQ(Cli(command, "trap '' XFSZ; ulimit -f 254; ").code, 1) << command;
        EXPECT_EQ(ReadFileBytes(P("a.dcm")), before) << command;
    }

    // A source whose directory chain runs into a saver's block.
    SetFatInImage(P("a.dcm"), {{245, 197}});
    const Bytes damaged = ReadFileBytes(P("a.dcm"));
    NewCard("b.dcm");
    const Bytes empty = ReadFileBytes(P("b.dcm"));
    r = Cli("copy a.dcm BRAVO b.dcm --move");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("nothing was copied"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFileBytes(P("a.dcm")), damaged);
    EXPECT_EQ(ReadFileBytes(P("b.dcm")), empty);

    // A repair that leaves a problem says why, for each one left.
    SetFatInImage(P("b.dcm"), {{60, 0xFFFA}});
    ASSERT_EQ(Cli("import b.dcm alpha.dci").code, 0);
    SetFatInImage(P("b.dcm"), {{198, 0xFFFA}});
    r = Cli("check b.dcm --repair");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("not repaired: The listing's free count"), std::string::npos) << r.out;
}

} // namespace
