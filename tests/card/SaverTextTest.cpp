#include "card/SaverText.h"

#include <gtest/gtest.h>

// One decoding wherever a name or description is shown: 0xC9 is always "É",
// and what cannot be shown is a blank, as descriptions are cleaned.
TEST(SaverTextTest, BytesBecomeOneCharacterEach) {
    EXPECT_EQ(SaverText("SONIC ADV"), "SONIC ADV");
    EXPECT_EQ(SaverText("\xC9T\xC9\xFF"), "\xC3\x89T\xC3\x89\xC3\xBF");
    EXPECT_EQ(SaverText(std::string("A\0\x01\x1F\x7F\x80\x9FZ", 8)), "A      Z");
}
