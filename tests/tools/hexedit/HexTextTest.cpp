#include "tools/hexedit/HexText.h"
#include "tools/hexedit/HexLayout.h"
#include "tools/hexedit/Translation.h"

#include <gtest/gtest.h>

namespace {

std::vector<uint8_t> Bytes(std::string_view text) {
    return {text.begin(), text.end()};
}

} // namespace

TEST(HexText, ClipboardAndFileForms) {
    const std::vector<uint8_t> twoBytes = {0x0A, 0xFF};
    EXPECT_EQ(ToHexText(twoBytes, false), "0AFF");
    EXPECT_EQ(FromHexText("0a ff", false), twoBytes);
    EXPECT_EQ(FromHexText("0A-FF", false), twoBytes);
    // An unpaired last digit is dropped.
    EXPECT_EQ(FromHexText("ABC", false), std::vector<uint8_t>{0xAB});
    EXPECT_TRUE(FromHexText("xyz", false).empty());

    // Swapped nibbles: the low digit first, both ways.
    const std::vector<uint8_t> one = {0x1F};
    EXPECT_EQ(ToHexText(one, true), "F1");
    EXPECT_EQ(FromHexText("F1", true), one);
}

TEST(HexText, GotoForms) {
    EXPECT_EQ(ParseGotoPosition("0x10"), 16);
    EXPECT_EQ(ParseGotoPosition("0X10"), 16);
    EXPECT_EQ(ParseGotoPosition("$10"), 16);
    EXPECT_EQ(ParseGotoPosition("16"), 16);
    EXPECT_EQ(ParseGotoPosition(" 16 "), 16);
    EXPECT_EQ(ParseGotoPosition("abc"), -1);
    EXPECT_EQ(ParseGotoPosition("$"), -1);
    EXPECT_EQ(ParseGotoPosition(""), -1);
    EXPECT_EQ(ParseGotoPosition("-3"), -1);
    EXPECT_EQ(ParseGotoPosition("99999999999999999999"), -1);
}

TEST(HexText, FindTextForms) {
    // "t abc": text mode, the blank after the t included.
    auto request = ParseFindText("t abc");
    ASSERT_TRUE(request);
    EXPECT_TRUE(request->textMode);
    EXPECT_FALSE(request->ignoreCase);
    EXPECT_EQ(request->bytes, Bytes(" abc"));

    request = ParseFindText("Tabc");
    ASSERT_TRUE(request);
    EXPECT_TRUE(request->ignoreCase);
    EXPECT_EQ(request->bytes, Bytes("abc"));

    EXPECT_EQ(ParseFindText("41 42")->bytes, (std::vector<uint8_t>{0x41, 0x42}));
    EXPECT_EQ(ParseFindText("4142")->bytes, (std::vector<uint8_t>{0x41, 0x42}));
    EXPECT_EQ(ParseFindText("123")->bytes, (std::vector<uint8_t>{0x01, 0x23}));
    EXPECT_FALSE(ParseFindText("xyz"));
    EXPECT_FALSE(ParseFindText("t"));
}

TEST(HexText, FindBytesHonoursCaseAndCharacterSet) {
    const std::vector<uint8_t> data = Bytes("xxABCxabc");
    const std::vector<uint8_t> abc = Bytes("abc");
    EXPECT_EQ(FindBytes(data, abc, false, Translation::Ansi, 0), 6);
    EXPECT_EQ(FindBytes(data, abc, true, Translation::Ansi, 0), 2);
    EXPECT_EQ(FindBytes(data, abc, true, Translation::Ansi, 3), 6);
    EXPECT_EQ(FindBytes(data, abc, true, Translation::Ansi, 7), -1);
    EXPECT_EQ(FindBytes(data, {}, true, Translation::Ansi, 0), -1);

    // Windows-1252 folds its accented capitals; EBCDIC has its own letters.
    const std::vector<uint8_t> accented = {0xC9}; // É
    const std::vector<uint8_t> small = {0xE9};    // é
    EXPECT_EQ(FindBytes(accented, small, true, Translation::Ansi, 0), 0);
    const auto ebcdicAbc = EncodeText(Translation::Ebcdic, "ABC", false);
    ASSERT_TRUE(ebcdicAbc);
    EXPECT_EQ(*ebcdicAbc, (std::vector<uint8_t>{0xC1, 0xC2, 0xC3}));
    const auto ebcdicSmall = EncodeText(Translation::Ebcdic, "abc", false);
    EXPECT_EQ(FindBytes(*ebcdicAbc, *ebcdicSmall, true, Translation::Ebcdic, 0), 0);
}

TEST(Translation, TablesRoundTripAndMask) {
    for (auto set : {Translation::Ansi, Translation::Dos8, Translation::Ascii7, Translation::Mac,
                     Translation::Ebcdic})
        for (int b = 0; b < 256; ++b) {
            const char32_t c = ToUnicode(set, static_cast<uint8_t>(b));
            if (c != kNoCharacter) {
                EXPECT_EQ(FromUnicode(set, c), b) << static_cast<int>(set) << " " << b;
            }
        }
    EXPECT_EQ(ToUnicode(Translation::Dos8, 0xB0), U'\u2591');
    EXPECT_EQ(ToUnicode(Translation::Mac, 0xA5), U'\u2022');
    EXPECT_EQ(ToUnicode(Translation::Ascii7, 0xE9), kNoCharacter);
    EXPECT_EQ(DisplayCharacter(Translation::Ansi, 0x09, true), U'.');
    EXPECT_EQ(DisplayCharacter(Translation::Ansi, 0x09, false), U'\u2409');
    EXPECT_EQ(DisplayCharacter(Translation::Ansi, 0x81, false), U'.');
    EXPECT_EQ(DecodeUtf8("a\xC3\xA9\xFF"), (std::u32string{U'a', U'\u00E9', 0xFFFD}));
    EXPECT_EQ(EncodeText(Translation::Ascii7, "caf\xC3\xA9", true),
              (std::vector<uint8_t>{'c', 'a', 'f', '?'}));
    EXPECT_FALSE(EncodeText(Translation::Ascii7, "caf\xC3\xA9", false));
}

TEST(HexLayout, ColumnsOffsetsAndHits) {
    HexOptions options;
    HexLayout layout(options, 100);
    EXPECT_EQ(layout.OffsetText(0x10), "000010:");
    EXPECT_EQ(layout.HexStart(), 8);
    EXPECT_EQ(layout.HexCell(1, 0), 11);
    EXPECT_EQ(layout.LineCount(), 7);

    options.BytesPerColumn = 4;
    options.OffsetDisplay = 2;
    options.ShowMarkerColumn = true;
    layout = HexLayout(options, 0x10000);
    EXPECT_EQ(layout.OffsetText(8), "000010:");
    EXPECT_EQ(layout.HexStart(), 10);
    // Bytes 0-3 share a group of eight digits, byte 4 starts the next.
    EXPECT_EQ(layout.HexCell(3, 1), 17);
    EXPECT_EQ(layout.HexCell(4, 0), 19);
    const auto hit = layout.HitTest(17.5);
    EXPECT_EQ(hit.field, HexField::Hex);
    EXPECT_EQ(hit.index, 3);
    EXPECT_EQ(hit.digit, 1);
    EXPECT_EQ(layout.HitTest(18.2).index, 3); // the blank after a group
    EXPECT_EQ(layout.HitTest(layout.CharStart() + 5.5).field, HexField::Char);
    EXPECT_EQ(layout.HitTest(layout.CharStart() + 5.5).index, 5);

    options.OffsetDisplay = 3;
    layout = HexLayout(options, 10);
    EXPECT_EQ(layout.OffsetText(8), "");
    EXPECT_EQ(layout.HexStart(), 2);
}
