#include "pin_text.h"

#include <gtest/gtest.h>

using namespace trhost;

TEST(PinText, NumbersAreWholeFiniteTexts) {
    EXPECT_EQ(ParseNumber("10"), 10.0);
    EXPECT_EQ(ParseNumber(".0001"), 0.0001);
    EXPECT_EQ(ParseNumber("-2.5e1"), -25.0);
    for (const char* bad : {"", " 1", "1 ", "1,", "abc", "nan", "inf", "1e999", "0x", "0x10", "1e"}) {
        EXPECT_FALSE(ParseNumber(bad)) << bad;
    }
}

TEST(PinText, RangeTextHasFourNumbers) {
    auto range = ParseRangeText("20,.0001,20,.0001");
    ASSERT_TRUE(range);
    EXPECT_EQ(range->top, 20.0);
    EXPECT_EQ(range->bottom, 0.0001);
    EXPECT_EQ(range->Low(), 0.0001);
    EXPECT_EQ(range->High(), 20.0);
    for (const char* bad : {"", "10,0,10", "10,0,10,0,1", "10,,10,0", "a,b,c,d"}) {
        EXPECT_FALSE(ParseRangeText(bad)) << bad;
    }
}

TEST(PinText, ListTextPairsNamesWithValues) {
    auto choices = ParseListText("sine=0,triangle=1,square=2");
    ASSERT_TRUE(choices);
    ASSERT_EQ(choices->size(), 3u);
    EXPECT_EQ((*choices)[1].name, "triangle");
    EXPECT_EQ((*choices)[1].value, 1);
    EXPECT_EQ((*choices)[2].value, 2);
    for (const char* bad : {"", "sine", "=0", "sine=", "sine=x", "a=1,,b=2", "a=70000"}) {
        EXPECT_FALSE(ParseListText(bad)) << bad;
    }
}
