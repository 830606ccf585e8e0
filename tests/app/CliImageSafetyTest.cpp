// porvane-cli on card images: never a write in a guessed byte order, never a
// half-written card read, never a change cut off by a file-size limit, and
// a one-block data saver marked a game keeps its block.
#include "app/CliFixture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

namespace {

using namespace clitest;

class CliImageSafetyTest : public CliFixture {
  protected:
    // a.dcm holding XSAVE (3 blocks), YSAVE (2) and ZSAVE (4).
    void ThreeSavers() {
        NewCard("a.dcm");
        const char* names[] = {"XSAVE", "YSAVE", "ZSAVE"};
        for (int k = 0; k < 3; ++k) {
            const std::string dci = std::string(names[k]) + ".dci";
            WriteFileBytes(P(dci), MakeDci(names[k], k == 1 ? 2 : k + 3, false, 0, uint8_t(k)));
            ASSERT_EQ(Cli("import a.dcm " + dci).code, 0) << dci;
        }
    }
    // The saver exported from card holds the blocks of the file it came from.
    void ExpectSaver(const std::string& card, const std::string& name) {
        fs::remove(P("out.dci"));
        const Result r = Cli("export " + card + " " + name + " out.dci");
        ASSERT_EQ(r.code, 0) << card << " " << name << ": " << r.err;
        EXPECT_EQ(DciBlocks(ReadFileBytes(P("out.dci"))),
                  DciBlocks(ReadFileBytes(P(name + ".dci"))))
            << card << " " << name;
    }
    // Files whose names start with a dot: left-over temporary files.
    int HiddenFiles() const {
        int n = 0;
        for (const auto& entry : fs::directory_iterator(dir_))
            n += entry.path().filename().string()[0] == '.';
        return n;
    }
};

Bytes Natural(Bytes card) {
    SwapWords(card.data(), card.size());
    return card;
}

} // namespace

TEST_F(CliImageSafetyTest, AnImageIsNeverWrittenInAnotherOrderThanItsOwn) {
    ThreeSavers();
    // A raw dump under a DCM's name, its root damaged (14 directory blocks):
    // its table and directory tell it is a raw dump.
    Bytes dump = Natural(ReadFileBytes(P("a.dcm")));
    dump[255 * 512 + 0x4C] = 14;
    WriteFileBytes(P("card.dcm"), dump);
    Result r = Cli("list card.dcm");
    ASSERT_EQ(r.code, 0) << r.err;
    for (const char* name : {"XSAVE", "YSAVE", "ZSAVE"})
        EXPECT_NE(r.out.find(name), std::string::npos) << r.out;
    r = Cli("check --repair card.dcm");
    EXPECT_EQ(r.code, 0) << r.out;
    ASSERT_EQ(Cli("delete card.dcm '#1'").code, 0);
    for (const char* name : {"XSAVE", "ZSAVE"})
        ExpectSaver("card.dcm", name);
    // Its root mended in its own order.
    dump[255 * 512 + 0x4C] = 13;
    const Bytes mended = ReadFileBytes(P("card.dcm"));
    EXPECT_TRUE(std::equal(dump.begin() + 255 * 512, dump.end(), mended.begin() + 255 * 512));

    // The table's system links damaged too: nothing tells the order, and
    // every write is refused with the file as it was.
    NewCard("emu/slot1.dcm");
    dump = Natural(ReadFileBytes(P("a.dcm")));
    dump[255 * 512 + 0x4C] = 14;
    for (int b = 241; b < 256; ++b)
        dump[254 * 512 + 2 * b] = 0x12;
    WriteFileBytes(P("un.dcm"), dump);
    const Bytes slot = ReadFileBytes(P("emu/slot1.dcm"));
    for (const char* command :
         {"delete un.dcm XSAVE", "import un.dcm XSAVE.dci --append", "format un.dcm 200",
          "check --repair un.dcm", "copy un.dcm XSAVE a.dcm --move --append", "undo un.dcm",
          "recover un.dcm", "--link emulator:emu upload-card un.dcm slot1",
          "convert un.dcm out.bin"}) {
        r = Cli(command);
        EXPECT_EQ(r.code, 1) << command;
        EXPECT_NE(r.err.find("The byte order of un.dcm cannot be told"), std::string::npos)
            << command << ": " << r.err;
        EXPECT_NE(r.err.find("convert un.dcm COPY --to dcm"), std::string::npos) << r.err;
        EXPECT_EQ(ReadFileBytes(P("un.dcm")), dump) << command;
    }
    EXPECT_EQ(ReadFileBytes(P("emu/slot1.dcm")), slot);
    EXPECT_EQ(Cli("list un.dcm").code, 0);
    // Stated, the order holds for the copy, whose root now tells it.
    r = Cli("convert un.dcm stated.bin --to raw");
    ASSERT_EQ(r.code, 0) << r.err;
    ASSERT_EQ(Cli("check --repair stated.bin").code, 0);
    for (const char* name : {"XSAVE", "YSAVE", "ZSAVE"})
        ExpectSaver("stated.bin", name);
}

TEST_F(CliImageSafetyTest, EveryReaderOfAWholeImageWaitsForItsWriter) {
    ThreeSavers();
    NewCard("emu/slot1.dcm");
    const Bytes slot = ReadFileBytes(P("emu/slot1.dcm"));
    // Another writer between its directory write and its table write.
    const Bytes whole = ReadFileBytes(P("a.dcm"));
    SetEntryByteInImage(P("a.dcm"), 0, 2, 0);
    const Bytes half = ReadFileBytes(P("a.dcm"));
    const int fd = open(P("a.dcm").c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    for (const char* command :
         {"convert a.dcm copy.vmu", "--link emulator:emu upload-card a.dcm slot1", "check a.dcm"}) {
        const Result r = Cli(command);
        EXPECT_EQ(r.code, 1) << command;
        EXPECT_NE(r.err.find("a.dcm is in use by another program"), std::string::npos)
            << command << ": " << r.err;
    }
    EXPECT_FALSE(fs::exists(P("copy.vmu")));
    EXPECT_EQ(HiddenFiles(), 0);
    EXPECT_EQ(ReadFileBytes(P("emu/slot1.dcm")), slot);
    EXPECT_EQ(ReadFileBytes(P("a.dcm")), half);

    // Done, and only reading it: readers go together, a writer waits.
    WriteFileBytes(P("a.dcm"), whole);
    ASSERT_EQ(flock(fd, LOCK_SH), 0);
    ASSERT_EQ(Cli("convert a.dcm copy.vmu").code, 0);
    ASSERT_EQ(Cli("--link emulator:emu upload-card a.dcm slot1").code, 0);
    EXPECT_EQ(Natural(ReadFileBytes(P("copy.vmu"))), whole);
    EXPECT_EQ(ReadFileBytes(P("emu/slot1.dcm")), whole);
    EXPECT_EQ(Cli("delete a.dcm XSAVE").code, 1);
    EXPECT_EQ(ReadFileBytes(P("a.dcm")), whole);
    close(fd);
}

TEST_F(CliImageSafetyTest, AFileSizeLimitNeverCutsAChangeShort) {
    ThreeSavers();
    WriteFileBytes(P("new.dci"), MakeDci("NEW", 5, false, 0, 9));
    const Bytes card = ReadFileBytes(P("a.dcm"));
    // 254 blocks of 512 bytes: every block but the table and the root. The
    // limit is not lifted for the program (no trap): it must not be killed.
    // An import leaves its blocks in free space: the savers are what counts.
    const struct {
        const char* command;
        int limit;
        const char* output;
        bool byteForByte;
    } cases[] = {
        {"delete a.dcm XSAVE", 254, "", true},          {"format a.dcm 241", 254, "", true},
        {"import a.dcm new.dci", 254, "", false},       {"convert a.dcm b.bin", 254, "b.bin", true},
        {"export a.dcm XSAVE x.vms", 1, "x.vms", true},
    };
    for (const auto& c : cases) {
        WriteFileBytes(P("a.dcm"), card);
        const Result r = Cli(c.command, "ulimit -f " + std::to_string(c.limit) + "; ");
        EXPECT_EQ(r.code, 1) << c.command << ": " << r.err;
        if (c.byteForByte) {
            EXPECT_EQ(ReadFileBytes(P("a.dcm")), card) << c.command;
        } else {
            EXPECT_EQ(Cli("check a.dcm").code, 0) << c.command;
            for (const char* name : {"XSAVE", "YSAVE", "ZSAVE"})
                ExpectSaver("a.dcm", name);
        }
        EXPECT_FALSE(c.output[0] != '\0' && fs::exists(P(c.output))) << c.command;
        EXPECT_EQ(HiddenFiles(), 0) << c.command;
    }

    // The box's program under the limit lives on when its card file cannot
    // grow: the write fails on the link instead.
    ASSERT_EQ(Cli("convert a.dcm emu/slot1.dcm --to dcm").code, 0);
    const std::string box = "'" PORVANE_BIN_DIR "/porvane-linkbox' --link emulator:emu --socket '" +
                            P("box.sock").string() + "' --once";
    const std::string run = "cd '" + dir_.string() + "' && { (ulimit -f 254; exec " + box +
                            ") & sleep 0.5; '" PORVANE_BIN_DIR "/porvane-cli' --link socket:'" +
                            P("box.sock").string() +
                            "' delete slot1 XSAVE >/dev/null 2>&1; wait $!; echo $? >box.rc; }";
    ASSERT_EQ(std::system(run.c_str()), 0);
    const Bytes rc = ReadFileBytes(P("box.rc"));
    EXPECT_EQ(std::string(rc.begin(), rc.end()), "0\n");
}

TEST_F(CliImageSafetyTest, AOneBlockDataSaverMarkedAGameKeepsItsBlock) {
    NewCard("a.dcm");
    WriteFileBytes(P("XDATA.dci"), MakeDci("XDATA", 1, false, 0, 5));
    ASSERT_EQ(Cli("import a.dcm XDATA.dci").code, 0);
    SetEntryByteInImage(P("a.dcm"), 0, 0, 0xCC);
    Result r = Cli("check a.dcm --json");
    EXPECT_NE(r.out.find("\"kind\":\"type_damaged\""), std::string::npos) << r.out;
    r = Cli("check --repair a.dcm");
    EXPECT_EQ(r.out.find("first block to 0"), std::string::npos) << r.out;
    WriteFileBytes(P("NEXT.dci"), MakeDci("NEXT", 1, false, 0, 6));
    ASSERT_EQ(Cli("import a.dcm NEXT.dci").code, 0);
    ExpectSaver("a.dcm", "XDATA");
    ExpectSaver("a.dcm", "NEXT");
}
