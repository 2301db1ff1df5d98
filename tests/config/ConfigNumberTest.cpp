#include <gtest/gtest.h>

#include <optional>

#include "config/ConfigNumber.h"

namespace pulsedesk::config {
namespace {

std::optional<int32_t> IntegerText(std::string_view text) {
    int32_t value = 0;
    if (!ParseIntegerText(text, value)) return std::nullopt;
    return value;
}

TEST(IntegerText, DecimalWithOptionalSignAndLeadingSpaces) {
    EXPECT_EQ(IntegerText("5"), 5);
    EXPECT_EQ(IntegerText("+5"), 5);
    EXPECT_EQ(IntegerText("-12"), -12);
    EXPECT_EQ(IntegerText("   007"), 7);
    EXPECT_EQ(IntegerText("2147483647"), 2147483647);
    EXPECT_EQ(IntegerText("-2147483648"), INT32_MIN);
}

TEST(IntegerText, HexadecimalAfterEveryMarkerTakenAs32Bits) {
    for (const char* text : {"$10", "x10", "X10", "0x10", "0X10", " $10"}) {
        EXPECT_EQ(IntegerText(text), 16) << text;
    }
    EXPECT_EQ(IntegerText("$a0A020"), 0xA0A020);
    EXPECT_EQ(IntegerText("$FFFFFFFF"), -1);
    EXPECT_EQ(IntegerText("$80000000"), INT32_MIN);
    EXPECT_EQ(IntegerText("$000000010"), 16);  // leading zeros do not count as digits
}

TEST(IntegerText, EverythingElseIsNoIntegerText) {
    for (const char* text :
         {"", "   ", "-", "+", "abc", "5 ", "5x", "1.5", "\t5", "$", "0x", "-$10", "+0x10", "$10G",
          "$100000000", "2147483648", "-2147483649", "99999999999999999999", "١"}) {
        EXPECT_EQ(IntegerText(text), std::nullopt) << text;
    }
}

TEST(ConfigNumber, ColourSpellingsAllGiveTheSameValue) {
    for (const char* text : {"0x00a0a020", "0XA0A020", "$A0A020", "x00A0A020", "10526752"}) {
        EXPECT_EQ(ParseConfigNumber(text, 7), 0xA0A020) << text;
    }
}

TEST(ConfigNumber, TextsThatAreNoNumberGiveTheDefault) {
    for (const char* text : {"teal", "10526752x", "", "-", "0xG1", "0x12 ", " 0x10G"}) {
        EXPECT_EQ(ParseConfigNumber(text, 200), 200) << text;
    }
}

TEST(ConfigNumber, ZeroXPrefixWrapsIn32BitsAndAloneIsZero) {
    EXPECT_EQ(ParseConfigNumber("0X", 200), 0);
    EXPECT_EQ(ParseConfigNumber("0x1FF", 200), 511);
    EXPECT_EQ(ParseConfigNumber("0xFFFFFFFF", 200), -1);
    EXPECT_EQ(ParseConfigNumber("0x123456789", 200), 0x23456789);
    EXPECT_EQ(ParseConfigNumber(" 0x10", 200), 16);  // a blank defeats the branch, not the number
}

TEST(ConfigNumber, CallersKeepTheLowBitsTheyNeed) {
    // The shadow opacity keeps only its low 8 bits.
    EXPECT_EQ(ParseConfigNumber("300", 200), 300);
    EXPECT_EQ(ParseConfigNumber("300", 200) & 0xFF, 44);
    EXPECT_EQ(ParseConfigNumber("0x1FF", 200) & 0xFF, 255);
}

}  // namespace
}  // namespace pulsedesk::config
