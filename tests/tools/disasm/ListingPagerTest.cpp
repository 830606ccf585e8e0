#include "tools/disasm/ListingPager.h"
#include "base/ParseHex.h"
#include "tools/disasm/DisasmTestSupport.h"
#include "tools/disasm/HexText.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>

namespace {

constexpr int kPage = ListingPager::kLinesPerPage;

using porvane_test::ReadFileBytes;

} // namespace

TEST(ListingPager, PageTable) {
    DisasmTempDir dir;
    auto pager = std::make_unique<ListingPager>();

    // Shorter than a page: one page.
    ASSERT_TRUE(pager->Load(dir.Write("short.bin", {0x00, 0x23, 0x00, 0x5A, 0x01})));
    EXPECT_EQ(pager->PageCount(), 1);
    EXPECT_EQ(pager->PageLabel(), "page 1 of 1");
    ASSERT_EQ(pager->LineCount(), 3);
    EXPECT_EQ(pager->Line(1), "$0001 23 00 5A    MOV     #5AH,ACC");
    EXPECT_EQ(pager->Position(1), 1);
    EXPECT_EQ(pager->Position(2), 4);
    EXPECT_EQ(pager->EndAddress(), 5);

    // Ending exactly after a full page of one-byte lines: a second, empty page.
    ASSERT_TRUE(pager->Load(dir.Write("full.bin", std::vector<uint8_t>(kPage, 0x00))));
    EXPECT_EQ(pager->PageCount(), 2);
    EXPECT_EQ(pager->PageLabel(), "page 1 of 2");
    EXPECT_EQ(pager->LineCount(), kPage);
    EXPECT_EQ(pager->PageStart(1).position, kPage);
    EXPECT_EQ(pager->EndAddress(), kPage);
    ASSERT_TRUE(pager->ShowPage(1));
    EXPECT_EQ(pager->LineCount(), 0);
    EXPECT_EQ(pager->PageLabel(), "page 2 of 2");

    // A missing file: one empty page, every Goto overflows.
    EXPECT_FALSE(pager->Load(dir.File("missing.bin")));
    EXPECT_EQ(pager->PageCount(), 1);
    EXPECT_EQ(pager->LineCount(), 0);
    EXPECT_TRUE(pager->Goto(0).overflow);
}

TEST(ListingPager, GotoFindsPagesAndLines) {
    DisasmTempDir dir;
    // One page of NOPs, then a 3-byte MOV and a NOP on page 2.
    std::vector<uint8_t> bytes(kPage, 0x00);
    bytes.insert(bytes.end(), {0x23, 0x00, 0x5A, 0x00});
    auto pager = std::make_unique<ListingPager>();
    ASSERT_TRUE(pager->Load(dir.Write("two.bin", bytes)));
    ASSERT_EQ(pager->PageCount(), 2);

    auto result = pager->Goto(0);
    EXPECT_FALSE(result.overflow);
    EXPECT_FALSE(result.pageChanged);
    EXPECT_EQ(result.line, 0);

    result = pager->Goto(kPage);
    EXPECT_TRUE(result.pageChanged);
    EXPECT_EQ(result.line, 0);
    EXPECT_EQ(pager->CurrentPage(), 1);
    EXPECT_EQ(pager->PageLabel(), "page 2 of 2");
    ASSERT_EQ(pager->LineCount(), 2);
    EXPECT_EQ(pager->Line(0), "$2001 23 00 5A    MOV     #5AH,ACC");

    // Inside an instruction: the next line; inside the last one of a page: none.
    EXPECT_EQ(pager->Goto(kPage + 2).line, 1);
    ASSERT_TRUE(pager->Load(dir.Write("tail.bin", {0x00, 0x23, 0x00, 0x5A})));
    EXPECT_EQ(pager->Goto(2).line, -1);

    // At or beyond the end, as an unsigned number.
    EXPECT_TRUE(pager->Goto(4).overflow);
    EXPECT_TRUE(pager->Goto(0xFFFFFFFFu).overflow);
    EXPECT_EQ(pager->CurrentPage(), 0);
}

// Past 64 KB the text shows the wrapped address; Goto and patches use the
// line's true position.
TEST(ListingPager, BeyondSixtyFourKilobytesUsesTruePositions) {
    DisasmTempDir dir;
    const std::string file = dir.Write("big.bin", std::vector<uint8_t>(0x10010, 0x00));
    auto pager = std::make_unique<ListingPager>();
    ASSERT_TRUE(pager->Load(file));
    EXPECT_EQ(pager->PageCount(), 9);

    const auto result = pager->Goto(0x10005);
    ASSERT_GE(result.line, 0);
    EXPECT_EQ(pager->CurrentPage(), 7);
    const int line = result.line;
    EXPECT_EQ(pager->Position(line), 0x10005);
    EXPECT_EQ(pager->Line(line).substr(0, 5), "$0005");

    const uint8_t patch[1] = {0xA0};
    ASSERT_TRUE(pager->Patch(pager->Position(line), patch, 1));
    const std::vector<uint8_t> after = ReadFileBytes(file);
    ASSERT_EQ(after.size(), 0x10010u);
    EXPECT_EQ(after[0x10005], 0xA0);
    EXPECT_EQ(after[0x0005], 0x00);
}

TEST(ListingPager, PatchNeverGrowsTheFile) {
    DisasmTempDir dir;
    const std::string file = dir.Write("code.bin", {0x00, 0x23, 0x00, 0x5A});
    auto pager = std::make_unique<ListingPager>();
    ASSERT_TRUE(pager->Load(file));
    const uint8_t bytes[3] = {0x22, 0x01, 0x7F};
    ASSERT_TRUE(pager->Patch(1, bytes, 3));
    EXPECT_EQ(ReadFileBytes(file), (std::vector<uint8_t>{0x00, 0x22, 0x01, 0x7F}));
    EXPECT_FALSE(pager->Patch(2, bytes, 3));
    EXPECT_FALSE(pager->Patch(-1, bytes, 1));
    EXPECT_EQ(ReadFileBytes(file), (std::vector<uint8_t>{0x00, 0x22, 0x01, 0x7F}));
}

TEST(ListingPager, ByteColumnsAndHexFields) {
    std::string bytes[3];
    ListingPager::ByteColumns("$0004 23 00 5A    MOV     #5AH,ACC", bytes);
    EXPECT_EQ(bytes[0] + "|" + bytes[1] + "|" + bytes[2], "23|00|5A");
    ListingPager::ByteColumns("$0000 00          NOP     ", bytes);
    EXPECT_EQ(bytes[0] + "|" + bytes[1] + "|" + bytes[2], "00||");

    EXPECT_EQ(ParseHex("1A5"), 0x1A5);
    EXPECT_EQ(ParseHex("FFFFFFFF"), -1);
    EXPECT_EQ(ParseHex(""), 0xFFFF);
    EXPECT_EQ(ParseHex("1g"), 0xFFFF);

    // Refused texts put the last value back with as many digits as they had.
    auto check = disasm::CheckHexField("5G", 0x3C);
    EXPECT_FALSE(check.accepted);
    EXPECT_EQ(check.text, "3C");
    check = disasm::CheckHexField("", 0x1234);
    EXPECT_FALSE(check.accepted);
    EXPECT_EQ(check.text, "1234");
    check = disasm::CheckHexField("", 0);
    EXPECT_EQ(check.text, "0");
    check = disasm::CheckHexField("G", 0x05);
    EXPECT_EQ(check.text, "5");
    check = disasm::CheckHexField("005A", 0);
    EXPECT_TRUE(check.accepted);
    EXPECT_EQ(check.value, 0x5Au);
    check = disasm::CheckHexField("FFFF", 0);
    EXPECT_TRUE(check.accepted);
    EXPECT_EQ(check.value, 0xFFFFu);
}
