// porvane-cli as scripts use it: output files replaced only with --force and
// never left half written, --version, COMMAND --help, and the manual page and
// shell completion naming every command and option the program has.
#include "app/CliFixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace clitest;

const std::vector<std::string> kCommands = {
    "list",        "export", "import", "delete", "copy",    "format", "new",    "save-card",
    "upload-card", "icons",  "logo",   "check",  "convert", "disasm", "doctor", "speed"};

std::string ReadText(const fs::path& path) {
    const Bytes bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

// Files in dir whose names start with a dot: the temporaries of a write.
std::vector<std::string> Leftovers(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name[0] == '.')
            names.push_back(name);
    }
    return names;
}

// Options ("--xyz") that a command's --help text names.
std::set<std::string> OptionsIn(const std::string& text) {
    std::set<std::string> options;
    const std::regex option("--[a-z][a-z-]*");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
         it != std::sregex_iterator(); ++it)
        options.insert(it->str());
    return options;
}

class CliScriptTest : public CliFixture {
  protected:
    // a.dcm with SAVE (3 icon frames), its export, a logo picture and a box.
    void Files() {
        NewCard("a.dcm");
        WriteFileBytes(P("s.dci"), MakeDci("SAVE", 4, false, 3, 9));
        ASSERT_EQ(Cli("import a.dcm s.dci").code, 0);
        Bytes bmp(2102, 0);
        const uint32_t head[] = {2102, 0, 1078, 40, 32, 32};
        bmp[0] = 'B';
        bmp[1] = 'M';
        for (int i = 0; i < 6; ++i)
            for (int k = 0; k < 4; ++k)
                bmp[2 + 4 * i + k] = static_cast<uint8_t>(head[i] >> (8 * k));
        bmp[26] = 1;
        bmp[28] = 8;
        bmp[35] = 0x04;
        WriteFileBytes(P("p.bmp"), bmp);
        NewCard("emu/slot1.dcm", "241");
    }
};

TEST_F(CliScriptTest, OutputFilesAreReplacedOnlyWithForce) {
    Files();
    const Bytes old = {'o', 'l', 'd'};
    struct Case {
        std::string command;
        std::string out;
    };
    const std::vector<Case> cases = {
        {"export a.dcm SAVE out.dci", "out.dci"},
        {"new out.dcm", "out.dcm"},
        {"--link emulator:emu save-card slot1 out2.dcm", "out2.dcm"},
        {"logo p.bmp logo.dci", "logo.dci"},
        {"icons a.dcm SAVE ic", "ic/frame2.bmp"},
    };
    fs::create_directories(P("ic"));
    for (const Case& c : cases) {
        WriteFileBytes(P(c.out), old);
        ::chmod(P(c.out).c_str(), 0640);
        Result r = Cli(c.command);
        EXPECT_EQ(r.code, 1) << c.command;
        EXPECT_NE(r.err.find("exists; not overwritten (--force replaces it)"), std::string::npos)
            << r.err;
        EXPECT_EQ(ReadFileBytes(P(c.out)), old) << c.command;

        r = Cli(c.command + " --force");
        ASSERT_EQ(r.code, 0) << c.command << ": " << r.err;
        EXPECT_GT(ReadFileBytes(P(c.out)).size(), 1000u) << c.command;
        // A replaced file keeps its permissions.
        EXPECT_EQ(fs::status(P(c.out)).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read)
            << c.command;
    }
    EXPECT_EQ(DciBlocks(ReadFileBytes(P("out.dci"))), DciBlocks(ReadFileBytes(P("s.dci"))));
    EXPECT_EQ(ReadFileBytes(P("out2.dcm")), ReadFileBytes(P("emu/slot1.dcm")));
    // Every frame of icons: frame0 and frame1 were written beside frame2.
    EXPECT_EQ(ReadFileBytes(P("ic/frame0.bmp")).size(), 2102u);
    EXPECT_TRUE(Leftovers(dir_).empty());
    EXPECT_TRUE(Leftovers(P("ic")).empty());

    // A folder is no output file, forced or not.
    fs::create_directories(P("folder.dci"));
    Result r = Cli("export a.dcm SAVE folder.dci --force");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "porvane-cli: folder.dci is a folder, not a file.\n");
}

// A forced replace that fails half way leaves the old file as it was and no
// temporary behind.
TEST_F(CliScriptTest, AFailedForcedReplaceKeepsTheOldFile) {
    Files();
    ASSERT_EQ(Cli("new out.dcm").code, 0);
    ASSERT_EQ(Cli("format out.dcm 240").code, 0);
    const Bytes old = ReadFileBytes(P("out.dcm"));
    // Files of at most 64 KB: the 128 KB card image can't be written.
    const std::string small = "trap '' XFSZ; ulimit -f 64; ";
    Result r = Cli("--link emulator:emu save-card slot1 out.dcm --force", small);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(ReadFileBytes(P("out.dcm")), old);
    r = Cli("new out.dcm --force", small);
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(ReadFileBytes(P("out.dcm")), old);

    // Frames: one short file spoils none of the old ones.
    ASSERT_EQ(Cli("icons a.dcm SAVE ic").code, 0);
    const Bytes frame0 = ReadFileBytes(P("ic/frame0.bmp"));
    WriteFileBytes(P("s2.dci"), MakeDci("SAVE", 4, false, 3, 77));
    ASSERT_EQ(Cli("import a.dcm s2.dci --overwrite").code, 0);
    r = Cli("icons a.dcm SAVE ic --force", "trap '' XFSZ; ulimit -f 2; ");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(ReadFileBytes(P("ic/frame0.bmp")), frame0);
    EXPECT_TRUE(Leftovers(dir_).empty());
    EXPECT_TRUE(Leftovers(P("ic")).empty());
    ASSERT_EQ(Cli("icons a.dcm SAVE ic --force").code, 0);
    EXPECT_NE(ReadFileBytes(P("ic/frame0.bmp")), frame0);
}

TEST_F(CliScriptTest, VersionAndHelpOfEveryCommand) {
    const std::regex version("porvane-(cli|linkbox) [0-9]+\\.[0-9]+(\\.[0-9]+)*\n");
    Result r = Cli("--version");
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(std::regex_match(r.out, version)) << r.out;
    for (const char* option : {"--version", "--help"}) {
        const std::string command = "cd '" + dir_.string() +
                                    "' && '" PORVANE_BIN_DIR "/porvane-linkbox' " + option +
                                    " >lb.txt 2>lb-err.txt";
        EXPECT_EQ(std::system(command.c_str()), 0) << option;
        EXPECT_TRUE(ReadText(P("lb-err.txt")).empty());
        const std::string out = ReadText(P("lb.txt"));
        if (option == std::string("--version"))
            EXPECT_TRUE(std::regex_match(out, version)) << out;
        else
            EXPECT_EQ(out.rfind("usage: porvane-linkbox", 0), 0u) << out;
    }

    for (const std::string& command : kCommands) {
        // --help wins wherever it stands among the command's options.
        for (const std::string& args :
             {command + " --help", command + " x y --help", command + " -h"}) {
            r = Cli(args);
            EXPECT_EQ(r.code, 0) << args;
            EXPECT_TRUE(r.err.empty()) << args << ": " << r.err;
            EXPECT_EQ(r.out.rfind("usage: porvane-cli " + command + " ", 0), 0u) << r.out;
        }
    }
    // After "--" it is a plain argument again.
    EXPECT_EQ(Cli("delete a.dcm -- --help").code, 1);
    EXPECT_EQ(Cli("frobnicate --help").code, 2);
}

// What the program offers, the manual page and the completion describe:
// every command, and every option of every command's --help.
TEST_F(CliScriptTest, ManualAndCompletionNameEveryCommandAndOption) {
    const std::string man = ReadText(PORVANE_SOURCE_DIR "/data/man/porvane-cli.1");
    const std::string completion = ReadText(PORVANE_SOURCE_DIR "/data/completion/porvane-cli");
    ASSERT_FALSE(man.empty());
    ASSERT_FALSE(completion.empty());
    // troff writes a hyphen in an option as "\-".
    const std::regex dash("\\\\-");
    const std::string manText = std::regex_replace(man, dash, "-");
    // The completion's list of commands is the program's.
    const size_t listed = completion.find("local commands='");
    ASSERT_NE(listed, std::string::npos);
    const size_t start = listed + 16;
    std::istringstream words(completion.substr(start, completion.find('\'', start) - start));
    std::set<std::string> completed;
    for (std::string word; words >> word;)
        completed.insert(word);
    EXPECT_EQ(completed, std::set<std::string>(kCommands.begin(), kCommands.end()));
    for (const std::string& command : kCommands) {
        EXPECT_NE(manText.find(".BI \"" + command + " "), std::string::npos) << command;
        const Result r = Cli(command + " --help");
        for (const std::string& option : OptionsIn(r.out)) {
            if (option == "--link" || option == "--no-verify")
                continue; // global, before the command
            EXPECT_NE(manText.find(option), std::string::npos) << command << " " << option;
            EXPECT_NE(completion.find(option), std::string::npos) << command << " " << option;
        }
    }
    for (const char* global :
         {"--link", "--no-verify", "--version", "emulator-paged:", "socket:"}) {
        EXPECT_NE(manText.find(global), std::string::npos) << global;
        EXPECT_NE(completion.find(global), std::string::npos) << global;
    }
}

// The completion offers what fits where it stands: slots and card images
// for a volume, .DCI files for a single saver, the command's own options.
TEST_F(CliScriptTest, CompletionOffersWhatFitsEachArgument) {
    for (const char* name : {"a.dcm", "B.DCM", "c.dci", "D.DCI", "p.bmp", "x.txt"})
        WriteFileBytes(P(name), Bytes{1});
    fs::create_directories(P("sub"));
    fs::remove_all(P("emu"));
    // The words of a command line, the last one being completed; the offers
    // sorted, one blank after each.
    auto complete = [&](const std::string& words) {
        std::ofstream(P("complete.sh"))
            << "source '" PORVANE_SOURCE_DIR "/data/completion/porvane-cli'\n"
            << "COMP_WORDS=(" << words << ")\n"
            << "COMP_CWORD=$((${#COMP_WORDS[@]} - 1))\n"
            << "_porvane_cli\n"
            << "printf '%s\\n' \"${COMPREPLY[@]}\" | LC_ALL=C sort | tr '\\n' ' '\n";
        const std::string command = "cd '" + dir_.string() + "' && bash complete.sh >c.txt 2>&1";
        EXPECT_EQ(std::system(command.c_str()), 0) << words;
        return ReadText(P("c.txt"));
    };
    EXPECT_EQ(complete("porvane-cli list ''"), "B.DCM a.dcm slot1 slot2 sub ");
    EXPECT_EQ(complete("porvane-cli --link emulator:emu import slot1 ''"), "D.DCI c.dci sub ");
    EXPECT_EQ(complete("porvane-cli save-card ''"), "slot1 slot2 ");
    EXPECT_EQ(complete("porvane-cli upload-card --page 2 ''"), "B.DCM a.dcm sub ");
    EXPECT_EQ(complete("porvane-cli logo ''"), "p.bmp sub ");
    EXPECT_EQ(complete("porvane-cli format a.dcm ''"), "200 240 241 ");
    EXPECT_EQ(complete("porvane-cli copy a.dcm NAME ''"), "B.DCM a.dcm slot1 slot2 sub ");
    EXPECT_EQ(complete("porvane-cli export a.dcm --"), "--all --as --force --help --page ");
    EXPECT_EQ(complete("porvane-cli --link ''"),
              "auto emulator-paged: emulator: io ppdev: socket: ");
    WriteFileBytes(P("e.vmu"), Bytes{1});
    WriteFileBytes(P("s.VMS"), Bytes{1});
    EXPECT_EQ(complete("porvane-cli convert --to raw ''"), "B.DCM a.dcm e.vmu sub ");
    EXPECT_EQ(complete("porvane-cli export e.vmu NAME ''"), "D.DCI c.dci s.VMS sub ");
}

} // namespace
