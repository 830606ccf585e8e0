#include "tools/disasm/DisasmTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

namespace {

struct Case {
    uint32_t address;
    const char* bytes; // as the byte column shows them, e.g. "31 05 00"
    const char* mnemonic;
    const char* operands;
};

std::vector<uint8_t> ParseBytes(const std::string& text) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < text.size(); i += 3)
        bytes.push_back(static_cast<uint8_t>(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
    return bytes;
}

std::string Expected(const Case& c) {
    char address[8];
    std::snprintf(address, sizeof address, "%04X", c.address & 0xFFFF);
    std::string line = std::string("$") + address + " " + c.bytes;
    line.resize(6 + 10, ' ');
    line += "  ";
    line += c.mnemonic;
    line.resize(18 + 8, ' ');
    return line + c.operands;
}

// Decodes each case as the only instruction of a file, listed from its address.
void CheckCases(const std::vector<Case>& cases) {
    DisasmTempDir dir;
    Disasm86k reader;
    for (const Case& c : cases) {
        const std::string file = dir.Write("code.bin", ParseBytes(c.bytes));
        ASSERT_TRUE(reader.Open(file));
        reader.Counter = c.address;
        EXPECT_EQ(reader.NextLine(), Expected(c)) << "bytes " << c.bytes;
        EXPECT_EQ(reader.NextLine(), "") << "bytes " << c.bytes;
        reader.Close();
    }
}

} // namespace

TEST(Disasm86kDecode, LineColumns) {
    DisasmTempDir dir;
    Disasm86k reader;
    ASSERT_TRUE(reader.Open(dir.Write("code.bin", {0x00, 0x01, 0xFE, 0x00, 0x23, 0x00, 0x5A})));
    EXPECT_EQ(reader.NextLine(), "$0000 00          NOP     ");
    EXPECT_EQ(reader.NextLine(), "$0001 01 FE       BR      $0001");
    EXPECT_EQ(reader.NextLine(), "$0003 00          NOP     ");
    EXPECT_EQ(reader.NextLine(), "$0004 23 00 5A    MOV     #5AH,ACC");
    EXPECT_EQ(reader.NextLine(), "");
}

TEST(Disasm86kDecode, RelativeBranches) {
    // clang-format off
    CheckCases({
        {0x0000, "01 FE", "BR", "$0000"},              // points at itself
        {0x0000, "01 80", "BR", "$FF82"},              // backwards past 0 wraps
        {0x0100, "01 7F", "BR", "$0181"},
        {0x0010, "80 10", "BZ", "$0022"},
        {0x0010, "90 FE", "BNZ", "$0010"},
        {0x0010, "55 FE", "DBNZ", "@R1,$0010"},
        {0x0100, "10 FE FF", "CALLR", "$0100"},        // s16 from the instruction + 2
        {0x0000, "11 00 80", "BRF", "$8002"},
        {0x1234, "11 34 12", "BRF", "$246A"},
        {0x0010, "31 05 00", "BE", "#05H,$0013"},      // after the instruction + s8
        {0x0010, "33 00 F0", "BE", "ACC,$0003"},
        {0x0010, "36 07 FD", "BE", "@R2,#07H,$0010"},
        {0x0020, "41 FF 10", "BNE", "#FFH,$0033"},
        {0x0020, "42 7F 00", "BNE", "fx7F,$0023"},
        {0x0020, "47 80 FD", "BNE", "@R3,#80H,$0020"},
    });
    // clang-format on
}

TEST(Disasm86kDecode, ThreeByteBitBranchesEndRelative) {
    // clang-format off
    CheckCases({
        {0x0010, "48 05 00", "BPC", "fx5,0,$0013"}, // like BE 31 05 00 above
        {0x0F1D, "78 02 3F", "BP", "B,0,$0F5F"},
        {0x0F1D, "58 02 3F", "BPC", "B,0,$0F5F"},
        {0x0F1D, "53 02 3F", "DBNZ", "B,$0F5F"},
        {0x0F1D, "98 02 3F", "BN", "B,0,$0F5F"},
        {0x0F1D, "52 02 3F", "DBNZ", "fx2,$0F5F"},
        {0x0040, "59 01 FD", "BPC", "PSW,1,$0040"}, // to itself
        {0x0000, "6F 7F 80", "BP", "fx7F,7,$FF83"},
        {0x0000, "8C 27 00", "BN", "fx27,4,$0003"},
        {0x0000, "9F 27 00", "BN", "VCCR,7,$0003"},
    });
    // clang-format on
}

TEST(Disasm86kDecode, AbsoluteTargets) {
    // clang-format off
    CheckCases({
        {0x0FFD, "3F 0E", "JMP", "$0F0E"},      // top bits from 0x0FFF
        {0x0FFE, "3F 0E", "JMP", "$1F0E"},      // top bits from 0x1000
        {0x0100, "08 34", "CALL", "$0034"},
        {0x2000, "1F 00", "CALL", "$2F00"},
        {0xFFFE, "28 FF", "JMP", "$00FF"},      // two bytes past wraps to 0
        {0x8000, "1B 12", "CALL", "$8B12"},
        {0x0000, "20 12 34", "CALLF", "$1234"}, // high byte first
        {0x0000, "21 AB CD", "JMPF", "$ABCD"},
    });
    // clang-format on
}

TEST(Disasm86kDecode, DataAndRegisterOperands) {
    // clang-format off
    CheckCases({
        {0x0000, "23 00 5A", "MOV", "#5AH,ACC"}, // address byte first, data shown first
        {0x0000, "22 00 5A", "MOV", "#5AH,fx0"},
        {0x0000, "25 12", "MOV", "#12H,@R1"},
        {0x0000, "02 00", "LD", "fx0"},
        {0x0000, "03 00", "LD", "ACC"},
        {0x0000, "07", "LD", "@R3"},
        {0x0000, "13 06", "ST", "SP"},
        {0x0000, "61 00", "PUSH", "ACC"},
        {0x0000, "70 80", "POP", "fx80"},
        {0x0000, "63 1A", "INC", "T1LC"},
        {0x0000, "81 3F", "ADD", "#3FH"},
        {0x0000, "B1 00", "SUBC", "#00H"},
        {0x0000, "C3 66", "XCH", "VTRBF"},
        {0x0000, "E2 A7", "AND", "fxA7"},
    });
    // clang-format on
}

TEST(Disasm86kDecode, BitInstructions) {
    // clang-format off
    CheckCases({
        {0x0000, "F8 02", "SET1", "B,0"},           // bit 4 of the opcode is address bit 8
        {0x0000, "FC 02", "SET1", "B,4"},           // bits 0-2 are the bit number
        {0x0000, "FB 02", "SET1", "B,3"},
        {0x0000, "FF 27", "SET1", "VCCR,7"},
        {0x0000, "EF 27", "SET1", "fx27,7"},
        {0x0000, "A9 05", "NOT1", "fx5,1"},
        {0x0000, "BE 01", "NOT1", "PSW,6"},
        {0x0000, "CD 1D", "CLR1", "fx1D,5"},
        {0x0000, "DA 1D", "CLR1", "T1HR,2"},
        {0x0000, "4C 05 00", "BPC", "fx5,4,$0003"},
    });
    // clang-format on
}

TEST(Disasm86kDecode, OperandlessOpcodes) {
    // clang-format off
    CheckCases({
        {0x0000, "00", "NOP", ""},
        {0x0000, "50", "...", ""},
        {0x0000, "51", "...", ""},
        {0x0000, "A0", "RET", ""},
        {0x0000, "C0", "ROR", ""},
        {0x0000, "C1", "LDC", ""},
    });
    // clang-format on
}

TEST(Disasm86kDecode, RegisterNames) {
    const std::pair<uint32_t, const char*> cases[] = {
        {0x000, "fx0"},  {0x005, "fx5"},   {0x1A7, "fxA7"},  {0x180, "fx80"}, {0x0FF, "fxFF"},
        {0x100, "ACC"},  {0x10D, "EXT"},   {0x113, "T0LR"},  {0x115, "T0HR"}, {0x118, "T1CNT"},
        {0x11A, "T1LC"}, {0x11B, "T1LR"},  {0x11C, "T1HC"},  {0x11D, "T1HR"}, {0x11E, "fx1E"},
        {0x127, "VCCR"}, {0x135, "SBUF1"}, {0x146, "P1FCR"}, {0x15F, "ISL"},  {0x164, "VRMAD1"},
        {0x17F, "BTCR"}, {0x01A, "fx1A"},  {0x301, "PSW"}, // bits above 8 are ignored
    };
    for (const auto& [address, name] : cases)
        EXPECT_STREQ(Disasm86k::RegisterName(address), name) << std::hex << address;
}
