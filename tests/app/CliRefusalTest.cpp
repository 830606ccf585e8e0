// porvane-cli refusals that keep every card byte for byte, and failed writes
// that leave the card as it was.
#include "app/CliFixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace clitest;

class CliRefusalTest : public CliFixture {
  protected:
    // a.dcm: ALPHA (3 blocks at 199..197), BRAVO (2 at 196, 195).
    void TwoSavers(const std::string& card = "a.dcm") {
        NewCard(card);
        WriteAll(P("alpha.dci"), MakeDci("ALPHA", 3, false, 0, 1));
        WriteAll(P("bravo.dci"), MakeDci("BRAVO", 2, false, 0, 2));
        for (const char* dci : {"alpha.dci", "bravo.dci"})
            ASSERT_EQ(Cli("import " + card + " " + dci).code, 0) << dci;
    }
};

TEST_F(CliRefusalTest, ExportOntoItsCardAndAMoveThatCannotDeleteChangeNothing) {
    TwoSavers();
    Bytes before = ReadAll(P("a.dcm"));
    Result r = Cli("export a.dcm ALPHA a.dcm --force");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("is the card being read"), std::string::npos) << r.err;
    EXPECT_EQ(Cli("export a.dcm ALPHA ./a.dcm --force").code, 1);
    EXPECT_EQ(ReadAll(P("a.dcm")), before);

    // The source's directory chain runs into a saver's block.
    SetFatInImage(P("a.dcm"), {{245, 197}});
    before = ReadAll(P("a.dcm"));
    NewCard("b.dcm");
    const Bytes empty = ReadAll(P("b.dcm"));
    r = Cli("copy a.dcm BRAVO b.dcm --move");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("nothing was copied"), std::string::npos) << r.err;
    EXPECT_EQ(ReadAll(P("a.dcm")), before);
    EXPECT_EQ(ReadAll(P("b.dcm")), empty);
}

TEST_F(CliRefusalTest, DeleteOrFormatWhoseTableWriteFailsLeavesTheCardAsItWas) {
    TwoSavers();
    const Bytes before = ReadAll(P("a.dcm"));
    // Writes up to block 253 go through; the table (block 254) is beyond
    // the file-size limit (dash counts 512-byte units).
    const std::string limit = "trap '' XFSZ; ulimit -f 254; ";
    for (const char* command : {"delete a.dcm ALPHA", "format a.dcm 200"}) {
        Result r = Cli(command, limit);
        EXPECT_EQ(r.code, 1) << command;
        EXPECT_EQ(ReadAll(P("a.dcm")), before) << command;
    }
    EXPECT_EQ(Cli("check a.dcm").code, 0);

    // A repair that leaves a problem says why, for each one left.
    SetFatInImage(P("a.dcm"), {{198, 0xFFFA}, {50, 0xFFFA}});
    Result r = Cli("check a.dcm --repair");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("not repaired: The listing's free count"), std::string::npos) << r.out;
}

} // namespace
