// porvane-cli with whole folders: export --all and the import of a folder.
#include "app/CliFixture.h"

#include <algorithm>
#include <set>

namespace {

using namespace clitest;

class CliFolderTest : public CliFixture {
  protected:
    // Every saver of an image: its directory entry (natural order, byte 2,
    // the first block, cleared; without tail bytes 26-31 too), then its
    // blocks in chain order; sorted, so that two cards holding the same
    // savers anywhere compare equal.
    std::vector<std::string> Savers(const std::string& card, bool tail = true) {
        std::vector<std::string> savers;
        const Bytes image = ReadFileBytes(P(card));
        auto block = [&](int b) {
            Bytes bytes(image.begin() + b * 512, image.begin() + (b + 1) * 512);
            SwapWords(bytes.data());
            return bytes;
        };
        const Bytes fat = block(254);
        for (int b = 253; b >= 241; --b) {
            const Bytes dir = block(b);
            for (int e = 0; e < 16; ++e) {
                Bytes saver(dir.begin() + 32 * e, dir.begin() + 32 * e + 32);
                if (saver[24] == 0)
                    continue;
                int at = saver[0] == 0xCC ? 0 : saver[2];
                for (int n = 0; n < saver[24] && at < 241; ++n) {
                    saver.insert(saver.end(), image.begin() + at * 512,
                                 image.begin() + (at + 1) * 512);
                    at = fat[2 * at] | fat[2 * at + 1] << 8;
                }
                saver[2] = 0;
                if (!tail)
                    std::fill(saver.begin() + 26, saver.begin() + 32, 0);
                savers.emplace_back(saver.begin(), saver.end());
            }
        }
        std::sort(savers.begin(), savers.end());
        return savers;
    }
};

// A card out as a folder of files and into an empty card is the same card:
// every saver byte for byte, its entry too but for the first block.
TEST_F(CliFolderTest, ExportAllThenImportTheFolderGivesTheSameSavers) {
    NewCard("a.dcm");
    WriteFileBytes(P("game.dci"), MakeDci("A GAME", 3, true, 1, 1));
    WriteFileBytes(P("slash.dci"), MakeDci("SAVE/ONE", 2, false, 0, 2));
    WriteFileBytes(P("same.dci"), MakeDci("SAVE ONE", 4, false, 2, 3));
    WriteFileBytes(P("sjis.dci"), MakeDci("\x83\x5A\x81\x5B", 1, false, 0, 4));
    for (const char* file : {"game.dci", "slash.dci", "same.dci", "sjis.dci"})
        ASSERT_EQ(Cli(std::string("import a.dcm ") + file).code, 0) << file;
    ASSERT_EQ(Cli("import a.dcm same.dci --append").code, 0);

    Result r = Cli("export a.dcm --all out");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "Exported 5 of 5 savers.");
    std::set<std::string> written;
    for (const auto& entry : fs::directory_iterator(P("out")))
        written.insert(entry.path().filename().string());
    EXPECT_EQ(written, (std::set<std::string>{"A_GAME.DCI", "SAVE_ONE.DCI", "SAVE_ONE~2.DCI",
                                              "SAVE_ONE~3.DCI", "____.DCI"}));
    // Nothing is replaced without --force, and nothing at all is written.
    const Bytes kept = ReadFileBytes(P("out/A_GAME.DCI"));
    WriteFileBytes(P("out/A_GAME.DCI"), Bytes{1});
    fs::remove(P("out/____.DCI"));
    r = Cli("export a.dcm --all out");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("A_GAME.DCI exists"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(P("out/____.DCI")));
    ASSERT_EQ(Cli("export a.dcm --all out --force").code, 0);
    EXPECT_EQ(ReadFileBytes(P("out/A_GAME.DCI")), kept);

    // Two savers of one name: the second comes in beside the first.
    NewCard("b.dcm");
    r = Cli("import b.dcm out --append");
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "Imported 5 of 5 files.");
    EXPECT_EQ(Savers("b.dcm"), Savers("a.dcm"));
    // The same through VMS + VMI pairs (the entry as far as a VMI holds it).
    ASSERT_EQ(Cli("export a.dcm --all pairs --as vms").code, 0);
    EXPECT_TRUE(fs::exists(P("pairs/SAVE_O~2.VMI")));
    NewCard("c.dcm");
    r = Cli("import c.dcm pairs --append");
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(Savers("c.dcm", false), Savers("a.dcm", false));
}

// A folder with a saver of a name already there, a VMI that does not fit its
// VMS, one the console's browser wrote (a fixed checksum) and a VMS alone:
// the others go on, the advice goes to stderr, the summary says what became
// of each file, and the exit status tells that one was refused.
TEST_F(CliFolderTest, FolderImportGoesOnPastARefusalAndSaysWhy) {
    NewCard("a.dcm");
    fs::create_directories(P("in"));
    WriteFileBytes(P("in/one.dci"), MakeDci("ONE", 1, false, 0, 1));
    ASSERT_EQ(Cli("import a.dcm in/one.dci").code, 0);
    WriteFileBytes(P("two.dci"), MakeDci("TWO", 2, false, 0, 2));
    ASSERT_EQ(Cli("import a.dcm two.dci").code, 0);
    ASSERT_EQ(Cli("export a.dcm TWO in/pair.VMS").code, 0);
    ASSERT_EQ(Cli("delete a.dcm TWO").code, 0);
    Bytes vmi = ReadFileBytes(P("in/pair.VMI"));
    std::copy_n("ADD@", 4, vmi.begin());
    WriteFileBytes(P("in/pair.VMI"), vmi);
    ASSERT_EQ(Cli("export a.dcm ONE in/short.VMS").code, 0);
    Bytes shortVms = ReadFileBytes(P("in/short.VMS"));
    shortVms.resize(100);
    WriteFileBytes(P("in/short.VMS"), shortVms);
    WriteFileBytes(P("in/lone.vms"), Bytes(512, 0));

    Result r = Cli("import a.dcm in --game");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "Imported 2 of 4 files.\n"
                     "  imported lone.vms (LONE)\n"
                     "  refused  one.dci (ONE): a saver of that name is on the card\n"
                     "  imported pair.VMI (TWO)\n"
                     "  refused  short.VMI: in/short.VMI: the VMI gives 512 bytes of data, but "
                     "in/short.VMS holds 100\n");
    EXPECT_NE(r.err.find("pair.VMI: its checksum does not match"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("lone.vms: no VMI beside it"), std::string::npos) << r.err;
    const std::string listed = Cli("list a.dcm").out;
    EXPECT_NE(listed.find("LONE          game      0"), std::string::npos) << listed;
    EXPECT_NE(listed.find("TWO           data"), std::string::npos) << listed;
    // Files named one by one take the same road; --overwrite answers the
    // question of the name.
    r = Cli("import a.dcm in/one.dci two.dci --overwrite");
    EXPECT_EQ(r.code, 0) << r.out;
}

} // namespace
