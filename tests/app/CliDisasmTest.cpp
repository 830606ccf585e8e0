#include "tools/disasm/DisasmTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <sys/wait.h>

namespace {

struct RunResult {
    int exitCode = -1;
    std::vector<std::string> out;
    std::vector<std::string> err;
};

std::vector<std::string> ReadLines(std::istream& in) {
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Runs porvane-cli with the arguments (already quoted for the shell).
RunResult RunCli(const DisasmTempDir& dir, const std::string& arguments) {
    const std::string errFile = (dir.Path() / "stderr.txt").string();
    const std::string command =
        std::string("'") + PORVANE_BIN_DIR + "/porvane-cli' " + arguments + " 2>'" + errFile + "'";
    RunResult result;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return result;
    std::string out;
    char buffer[4096];
    for (size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        out.append(buffer, got);
    const int status = ::pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream outStream(out);
    result.out = ReadLines(outStream);
    std::ifstream errStream(errFile);
    result.err = ReadLines(errStream);
    return result;
}

std::string Quote(const std::string& text) {
    return "'" + text + "'";
}

// Length and mnemonic of every opcode, row by row (high nibble), as the
// processor's manual lists them.
constexpr const char* kLengths[16] = {
    "1222111122222222", "3322111122222222", "3333222222222222", "1333333322222222",
    "1333333333333333", "1133222233333333", "2222111133333333", "2222111133333333",
    "2222111133333333", "2222111133333333", "1222111122222222", "1222111122222222",
    "1122111122222222", "1222111122222222", "1222111122222222", "1222111122222222",
};
constexpr const char* kMnemonics[16] = {
    "NOP BR LD LD LD LD LD LD CALL CALL CALL CALL CALL CALL CALL CALL",
    "CALLR BRF ST ST ST ST ST ST CALL CALL CALL CALL CALL CALL CALL CALL",
    "CALLF JMPF MOV MOV MOV MOV MOV MOV JMP JMP JMP JMP JMP JMP JMP JMP",
    "MUL BE BE BE BE BE BE BE JMP JMP JMP JMP JMP JMP JMP JMP",
    "DIV BNE BNE BNE BNE BNE BNE BNE BPC BPC BPC BPC BPC BPC BPC BPC",
    "... ... DBNZ DBNZ DBNZ DBNZ DBNZ DBNZ BPC BPC BPC BPC BPC BPC BPC BPC",
    "PUSH PUSH INC INC INC INC INC INC BP BP BP BP BP BP BP BP",
    "POP POP DEC DEC DEC DEC DEC DEC BP BP BP BP BP BP BP BP",
    "BZ ADD ADD ADD ADD ADD ADD ADD BN BN BN BN BN BN BN BN",
    "BNZ ADDC ADDC ADDC ADDC ADDC ADDC ADDC BN BN BN BN BN BN BN BN",
    "RET SUB SUB SUB SUB SUB SUB SUB NOT1 NOT1 NOT1 NOT1 NOT1 NOT1 NOT1 NOT1",
    "RETI SUBC SUBC SUBC SUBC SUBC SUBC SUBC NOT1 NOT1 NOT1 NOT1 NOT1 NOT1 NOT1 NOT1",
    "ROR LDC XCH XCH XCH XCH XCH XCH CLR1 CLR1 CLR1 CLR1 CLR1 CLR1 CLR1 CLR1",
    "RORC OR OR OR OR OR OR OR CLR1 CLR1 CLR1 CLR1 CLR1 CLR1 CLR1 CLR1",
    "ROL AND AND AND AND AND AND AND SET1 SET1 SET1 SET1 SET1 SET1 SET1 SET1",
    "ROLC XOR XOR XOR XOR XOR XOR XOR SET1 SET1 SET1 SET1 SET1 SET1 SET1 SET1",
};

std::string MnemonicOf(int opcode) {
    std::istringstream row(kMnemonics[opcode >> 4]);
    std::string word;
    for (int column = 0; column <= (opcode & 0xF); ++column)
        row >> word;
    return word;
}

std::string Hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

} // namespace

TEST(CliDisasm, EveryOpcodeGivesOneLine) {
    DisasmTempDir dir;
    std::vector<uint8_t> bytes;
    std::vector<size_t> starts;
    for (int opcode = 0; opcode < 256; ++opcode) {
        starts.push_back(bytes.size());
        const int length = kLengths[opcode >> 4][opcode & 0xF] - '0';
        const uint8_t operands[2] = {0x02, 0x3F};
        bytes.push_back(static_cast<uint8_t>(opcode));
        bytes.insert(bytes.end(), operands, operands + length - 1);
    }
    const std::string file = dir.Write("all.bin", bytes);
    const RunResult run = RunCli(dir, "disasm " + Quote(file));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.err.empty());
    ASSERT_EQ(run.out.size(), 256u);

    for (int opcode = 0; opcode < 256; ++opcode) {
        const std::string& line = run.out[opcode];
        const size_t start = starts[opcode];
        const size_t end = opcode < 255 ? starts[opcode + 1] : bytes.size();
        std::string byteText;
        // Appended piece by piece: g++ 12 at -O2 warns falsely (-Wrestrict)
        // on a literal put before a temporary string.
        for (size_t i = start; i < end; ++i) {
            if (i > start)
                byteText += ' ';
            byteText += Hex(bytes[i], 2);
        }
        byteText.resize(10, ' ');
        std::string mnemonic = MnemonicOf(opcode);
        mnemonic.resize(8, ' ');
        ASSERT_GE(line.size(), 26u) << line;
        std::string address = "$";
        address += Hex(static_cast<uint32_t>(start), 4);
        address += ' ';
        EXPECT_EQ(line.substr(0, 6), address) << line;
        EXPECT_EQ(line.substr(6, 12), byteText + "  ") << line;
        EXPECT_EQ(line.substr(18, 8), mnemonic) << line;
    }

    // Whole lines for each operand form (operand bytes 02 3F throughout).
    const std::pair<int, const char*> whole[] = {
        {0x00, "$0000 00          NOP     "},
        {0x01, "$0001 01 02       BR      $0005"},
        {0x03, "$0005 03 02       LD      B"},
        {0x07, "$000A 07          LD      @R3"},
        {0x0F, "$0019 0F 02       CALL    $0702"},
        {0x10, "$001B 10 02 3F    CALLR   $3F1F"},
        {0x1F, "$0037 1F 02       CALL    $0F02"},
        {0x20, "$0039 20 02 3F    CALLF   $023F"},
        {0x23, "$0042 23 02 3F    MOV     #3FH,B"},
        {0x25, "$0047 25 02       MOV     #02H,@R1"},
        {0x31, "$005E 31 02 3F    BE      #02H,$00A0"},
        {0x37, "$0070 37 02 3F    BE      @R3,#02H,$00B2"},
        {0x4F, "$00AE 4F 02 3F    BPC     fx2,7,$00F0"},
        {0x50, "$00B1 50          ...     "},
        {0x51, "$00B2 51          ...     "},
        {0x53, "$00B6 53 02 3F    DBNZ    B,$00F8"},
        {0x55, "$00BB 55 02       DBNZ    @R1,$00BF"},
        {0x7C, "$0115 7C 02 3F    BP      B,4,$0157"},
        {0x81, "$0123 81 02       ADD     #02H"},
        {0xC1, "$01A0 C1          LDC     "},
        {0xFB, "$0200 FB 02       SET1    B,3"},
        {0xFF, "$0208 FF 02       SET1    B,7"},
    };
    for (const auto& [opcode, text] : whole)
        EXPECT_EQ(run.out[opcode], text);
}

TEST(CliDisasm, FromAddressStartsThere) {
    DisasmTempDir dir;
    std::vector<uint8_t> bytes(0x4010, 0x00);
    bytes[0x4002] = 0x01;
    bytes[0x4003] = 0xFE;
    const std::string file = dir.Write("code.bin", bytes);
    RunResult run = RunCli(dir, "disasm " + Quote(file) + " --from 4002");
    EXPECT_EQ(run.exitCode, 0);
    ASSERT_EQ(run.out.size(), 13u);
    EXPECT_EQ(run.out[0], "$4002 01 FE       BR      $4002");
    EXPECT_EQ(run.out.back(), "$400F 00          NOP     ");

    run = RunCli(dir, "disasm --from=0x400e " + Quote(file));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.size(), 2u);
    run = RunCli(dir, "disasm " + Quote(file) + " --from 10000");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.empty());

    run = RunCli(dir, "disasm " + Quote(dir.Write("empty.bin", {})));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_TRUE(run.out.empty());
    EXPECT_TRUE(run.err.empty());
}

TEST(CliDisasm, ExitCodes) {
    DisasmTempDir dir;
    const std::string file = Quote(dir.Write("code.bin", {0x00}));
    RunResult run = RunCli(dir, "disasm " + Quote((dir.Path() / "missing.bin").string()));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_TRUE(run.out.empty());
    EXPECT_EQ(run.err.size(), 1u);

    const char* badUsages[] = {"",         " --from", " --from 12G4", " --from 123456789",
                               " --bogus", " extra"};
    for (const char* usage : badUsages) {
        const bool withFile = std::string(usage) != "";
        run = RunCli(dir, "disasm" + (withFile ? " " + file : std::string()) + usage);
        EXPECT_EQ(run.exitCode, 2) << usage;
        EXPECT_TRUE(run.out.empty()) << usage;
    }
}
