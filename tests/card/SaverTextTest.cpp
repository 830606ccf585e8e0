#include "card/SaverText.h"

#include <gtest/gtest.h>

#include <string>

// One decoding for every place a saver's name or description is shown: the
// byte 0xC9 is the same letter everywhere, and nothing undecodable reaches
// the screen as a broken character.
TEST(SaverTextTest, BytesBecomeOneCharacterEach) {
    EXPECT_EQ(SaverText("SONIC ADV"), "SONIC ADV");
    EXPECT_EQ(SaverText("\xC9T\xC9"), "\xC3\x89T\xC3\x89"); // ÉTÉ
    EXPECT_EQ(SaverText("\xA0\xFF"), "\xC2\xA0\xC3\xBF");
    // Controls, DEL and the C1 range are blanks, as descriptions are cleaned.
    EXPECT_EQ(SaverText(std::string("A\0\x01\x1F\x7F\x80\x9FZ", 8)), "A      Z");
    EXPECT_EQ(SaverText(""), "");
}
