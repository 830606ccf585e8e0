// porvane-cli with whole folders: export --all and the import of a folder.
#include "app/CliFixture.h"

#include <algorithm>
#include <map>

namespace {

using namespace clitest;

class CliFolderTest : public CliFixture {
  protected:
    // The files of a folder by name, byte 2 of each (the first block of a
    // single-saver file's entry) cleared, and bytes 26-31 too without tail.
    std::map<std::string, Bytes> Files(const std::string& folder, bool tail = true) {
        std::map<std::string, Bytes> files;
        for (const auto& entry : fs::directory_iterator(P(folder))) {
            Bytes bytes = ReadFileBytes(entry.path());
            bytes[2] = 0;
            if (!tail)
                std::fill(bytes.begin() + 26, bytes.begin() + 32, 0);
            files[entry.path().filename().string()] = bytes;
        }
        return files;
    }
};

// A card out as a folder of files and into an empty card is the same card:
// every saver byte for byte, its entry too but for the first block (a card
// exported again gives the same files).
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
    const auto exported = Files("out");
    std::vector<std::string> names;
    for (const auto& [name, bytes] : exported)
        names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"A_GAME.DCI", "SAVE_ONE.DCI", "SAVE_ONE~2.DCI",
                                               "SAVE_ONE~3.DCI", "____.DCI"}));
    // Nothing is replaced without --force, and nothing at all is written.
    WriteFileBytes(P("out/A_GAME.DCI"), Bytes{1});
    fs::remove(P("out/____.DCI"));
    r = Cli("export a.dcm --all out");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("A_GAME.DCI exists"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(P("out/____.DCI")));
    ASSERT_EQ(Cli("export a.dcm --all out --force").code, 0);
    EXPECT_EQ(Files("out"), exported);

    // Two savers of one name: the second comes in beside the first.
    NewCard("b.dcm");
    r = Cli("import b.dcm out --append");
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "Imported 5 of 5 files.");
    ASSERT_EQ(Cli("export b.dcm --all back").code, 0);
    EXPECT_EQ(Files("back"), exported);
    // The same through VMS + VMI pairs, the entry as far as a VMI holds it.
    ASSERT_EQ(Cli("export a.dcm --all pairs --as vms").code, 0);
    EXPECT_TRUE(fs::exists(P("pairs/SAVE_O~2.VMI")));
    NewCard("c.dcm");
    r = Cli("import c.dcm pairs --append");
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    ASSERT_EQ(Cli("export c.dcm --all back2").code, 0);
    EXPECT_EQ(Files("back2", false), Files("out", false));
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
    WriteFileBytes(P("in/notes.txt"), Bytes{1});
    fs::create_directories(P("in/sub.dci"));

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
