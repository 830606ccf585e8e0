#include "tools/disasm/DisasmTestSupport.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

// Pseudo-random bytes, the same on every run.
std::vector<uint8_t> Noise(size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    for (auto& byte : bytes) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(seed >> 16);
    }
    return bytes;
}

} // namespace

TEST(Disasm86kReader, EmptyMissingAndUnreadable) {
    DisasmTempDir dir;
    auto reader = std::make_unique<Disasm86k>();
    ASSERT_TRUE(reader->Open(dir.Write("empty.bin", {})));
    EXPECT_EQ(reader->NextLine(), "");
    EXPECT_EQ(reader->Counter, 0u);

    EXPECT_FALSE(reader->Open((dir.Path() / "missing.bin").string()));
    EXPECT_FALSE(reader->IsOpen());
    EXPECT_EQ(reader->NextLine(), "");
    EXPECT_FALSE(reader->Open(dir.Path().string())); // a folder
    EXPECT_EQ(reader->NextLine(), "");
    uint8_t byte = 0;
    EXPECT_FALSE(reader->ReadByte(byte));
    reader->Close();
    reader->Close(); // closing twice is harmless
}

TEST(Disasm86kReader, TruncatedLastInstruction) {
    DisasmTempDir dir;
    Disasm86k reader;
    struct Case {
        std::vector<uint8_t> bytes;
        const char* last;
    } cases[] = {
        {{0x00, 0x31}, "$0001 31          BE      "},
        {{0x31, 0x05}, "$0000 31 05       BE      #05H"},
        {{0x34, 0x05}, "$0000 34 05       BE      @R0,#05H"},
        {{0x34}, "$0000 34          BE      @R0"},
        {{0x48}, "$0000 48          BPC     "},
        {{0x48, 0x05}, "$0000 48 05       BPC     fx5,0"},
        {{0x53, 0x02}, "$0000 53 02       DBNZ    B"},
        {{0x23, 0x00}, "$0000 23 00       MOV     ACC"},
        // A two-byte operand cut in half still shows the byte that is there.
        {{0x20, 0x12}, "$0000 20 12       CALLF   "},
        {{0x10, 0xFE}, "$0000 10 FE       CALLR   "},
        {{0x0F}, "$0000 0F          CALL    "},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(reader.Open(dir.Write("cut.bin", c.bytes)));
        const std::vector<std::string> lines = ListAll(reader);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), c.last);
        EXPECT_EQ(reader.NextLine(), "");
        EXPECT_EQ(reader.GetPosition(), static_cast<int64_t>(c.bytes.size()));
        EXPECT_FALSE(reader.ReadFailed());
    }
}

// Operand forms that read no byte still show when the file ends before the
// bytes of the others: the bit number of NOT1, CLR1 and SET1, and @Rj after a
// missing immediate. The bit of BPC, BP and BN stays with its address byte.
TEST(Disasm86kReader, TruncatedInstructionKeepsByteFreeForms) {
    DisasmTempDir dir;
    Disasm86k reader;
    struct Case {
        std::vector<uint8_t> bytes;
        const char* last;
    } cases[] = {
        {{0x00, 0xAB}, "$0001 AB          NOT1    3"},   {{0xBE}, "$0000 BE          NOT1    6"},
        {{0xC9}, "$0000 C9          CLR1    1"},         {{0xDF}, "$0000 DF          CLR1    7"},
        {{0xE8}, "$0000 E8          SET1    0"},         {{0xFB}, "$0000 FB          SET1    3"},
        {{0xFB, 0x02}, "$0000 FB 02       SET1    B,3"}, {{0x25}, "$0000 25          MOV     @R1"},
        {{0x7A}, "$0000 7A          BP      "},          {{0x9D}, "$0000 9D          BN      "},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(reader.Open(dir.Write("cut.bin", c.bytes)));
        const std::vector<std::string> lines = ListAll(reader);
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), c.last);
        EXPECT_EQ(reader.GetPosition(), static_cast<int64_t>(c.bytes.size()));
    }
}

TEST(Disasm86kReader, SmallFileStopsAtItsEnd) {
    DisasmTempDir dir;
    Disasm86k reader;
    std::vector<uint8_t> bytes(1024, 0x00);
    bytes[1023] = 0x50;
    ASSERT_TRUE(reader.Open(dir.Write("small.bin", bytes)));
    const std::vector<std::string> lines = ListAll(reader);
    ASSERT_EQ(lines.size(), 1024u);
    EXPECT_EQ(lines[1022], "$03FE 00          NOP     ");
    EXPECT_EQ(lines[1023], "$03FF 50          ...     ");
    EXPECT_EQ(reader.NextLine(), "");
    EXPECT_EQ(reader.Counter, 1024u);
}

TEST(Disasm86kReader, InstructionAcrossWindowBoundary) {
    DisasmTempDir dir;
    Disasm86k reader;
    std::vector<uint8_t> bytes(Disasm86k::kWindowSize * 2 + 10, 0x00);
    const size_t edge = Disasm86k::kWindowSize;
    bytes[edge - 1] = 0x31; // BE #05H,r8 with its last two bytes in the next chunk
    bytes[edge] = 0x05;
    bytes[edge + 1] = 0x10;
    bytes[edge + 2] = 0x81; // ADD #imm8
    bytes[edge + 3] = 0xA5;
    bytes[2 * edge - 1] = 0x21; // JMPF across the second boundary
    bytes[2 * edge] = 0xBE;
    bytes[2 * edge + 1] = 0xEF;
    ASSERT_TRUE(reader.Open(dir.Write("big.bin", bytes)));
    const std::vector<std::string> lines = ListAll(reader);
    ASSERT_EQ(lines.size(), bytes.size() - 5);
    EXPECT_EQ(lines[edge - 1], "$3FFF 31 05 10    BE      #05H,$4012");
    EXPECT_EQ(lines[edge], "$4002 81 A5       ADD     #A5H");
    EXPECT_EQ(lines[2 * edge - 4], "$7FFF 21 BE EF    JMPF    $BEEF");
    EXPECT_EQ(lines.back(), "$8009 00          NOP     ");

    // Seeking back into the first chunk and forward again reloads the window.
    reader.Counter = edge - 1;
    EXPECT_TRUE(reader.SeekTo(edge - 1));
    EXPECT_EQ(reader.NextLine(), "$3FFF 31 05 10    BE      #05H,$4012");
    reader.Counter = 10;
    EXPECT_TRUE(reader.SeekTo(10));
    EXPECT_EQ(reader.NextLine(), "$000A 00          NOP     ");
    reader.Counter = 2 * edge;
    EXPECT_TRUE(reader.SeekTo(2 * edge));
    EXPECT_EQ(reader.NextLine(), "$8000 BE EF       NOT1    fxEF,6");
}

TEST(Disasm86kReader, PagesFromSeekMatchOnePass) {
    // The code window lists every page by reopening, setting Counter and
    // seeking; the lines must be those of one pass over the whole file.
    DisasmTempDir dir;
    const std::string file = dir.Write("noise.bin", Noise(3 * Disasm86k::kWindowSize + 777, 7));
    Disasm86k reader;
    ASSERT_TRUE(reader.Open(file));
    const std::vector<std::string> all = ListAll(reader);
    reader.Close();

    std::vector<std::string> paged;
    ASSERT_TRUE(reader.Open(file));
    std::vector<int64_t> starts{0};
    for (std::string line; reader.NextLine(line);)
        if (reader.Counter / 5000 != reader.LineStart / 5000)
            starts.push_back(reader.GetPosition());
    reader.Close();
    for (const int64_t start : starts) {
        ASSERT_TRUE(reader.Open(file));
        reader.Counter = static_cast<uint32_t>(start);
        ASSERT_TRUE(reader.SeekTo(start));
        std::string line;
        while (reader.NextLine(line)) {
            paged.push_back(line);
            if (reader.Counter / 5000 != reader.LineStart / 5000)
                break;
        }
        reader.Close();
    }
    EXPECT_GT(starts.size(), 5u);
    EXPECT_EQ(paged, all);
}

TEST(Disasm86kReader, AddressWrapsAfterFFFF) {
    DisasmTempDir dir;
    Disasm86k reader;
    std::vector<uint8_t> bytes(0x10002, 0x00);
    bytes[0xFFFE] = 0x01; // BR +0 at 0xFFFE goes to the wrapped 0x0000
    bytes[0xFFFF] = 0x00;
    ASSERT_TRUE(reader.Open(dir.Write("wrap.bin", bytes)));
    const std::vector<std::string> lines = ListAll(reader);
    ASSERT_EQ(lines.size(), 0x10001u);
    EXPECT_EQ(lines[0xFFFE], "$FFFE 01 00       BR      $0000");
    EXPECT_EQ(lines[0xFFFF], "$0000 00          NOP     ");
    EXPECT_EQ(lines[0x10000], "$0001 00          NOP     ");
    EXPECT_EQ(reader.Counter, 0x10002u); // the counter itself keeps counting
}

TEST(Disasm86kReader, SeekOutsideTheFile) {
    DisasmTempDir dir;
    Disasm86k reader;
    ASSERT_TRUE(reader.Open(dir.Write("short.bin", {0x00, 0x00, 0x00})));
    EXPECT_TRUE(reader.SeekTo(3));
    EXPECT_EQ(reader.NextLine(), "");
    EXPECT_TRUE(reader.SeekTo(Disasm86k::kWindowSize * 4));
    EXPECT_EQ(reader.NextLine(), "");
    EXPECT_FALSE(reader.SeekTo(-1));
    EXPECT_EQ(reader.NextLine(), "");
    reader.Counter = 2;
    EXPECT_TRUE(reader.SeekTo(2));
    EXPECT_EQ(reader.NextLine(), "$0002 00          NOP     ");

    // Opening again starts over at address 0.
    reader.Counter = 0x500;
    ASSERT_TRUE(reader.Open(dir.Write("other.bin", {0x50})));
    EXPECT_EQ(reader.NextLine(), "$0000 50          ...     ");
}
