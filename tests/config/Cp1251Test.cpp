#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "config/Cp1251.h"

namespace pulsedesk::config {
namespace {

const std::string kAllBytes = [] {
    std::string bytes;
    for (int b = 0; b < 256; ++b) bytes.push_back(static_cast<char>(b));
    return bytes;
}();

TEST(Cp1251, RussianTextBothWays) {
    const std::string cp1251 = "\xCF\xC5\xD0\xC8\xCE\xC4\xC8\xD7\xC5\xD1\xCA\xC8\xC9 \xB8\xA8 \xB9";
    const std::string utf8 = "ПЕРИОДИЧЕСКИЙ ёЁ №";
    EXPECT_EQ(Cp1251ToUtf8(cp1251), utf8);
    EXPECT_EQ(Utf8ToCp1251(utf8), cp1251);
}

TEST(Cp1251, EveryDefinedByteSurvivesTheRoundTrip) {
    for (int b = 0; b < 256; ++b) {
        if (b == 0x98) continue;
        const std::string byte(1, static_cast<char>(b));
        EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(byte)), byte) << "byte " << b;
    }
}

TEST(Cp1251, UndefinedByte98BecomesTheReplacementCharacter) {
    EXPECT_EQ(Cp1251ToUtf8("a\x98z"), "a\xEF\xBF\xBDz");
    EXPECT_EQ(Utf8ToCp1251("\xEF\xBF\xBD"), "?");
}

TEST(Cp1251, AgreesWithTheSystemsCodePageTables) {
    iconv_t converter = ::iconv_open("UTF-8", "CP1251");
    if (converter == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "no CP1251 in iconv";
    for (int b = 0; b < 256; ++b) {
        if (b == 0x98) continue;
        char in = static_cast<char>(b);
        char out[8] = {};
        char* inPtr = &in;
        char* outPtr = out;
        std::size_t inLeft = 1;
        std::size_t outLeft = sizeof(out);
        ASSERT_NE(::iconv(converter, &inPtr, &inLeft, &outPtr, &outLeft), static_cast<size_t>(-1));
        EXPECT_EQ(Cp1251ToUtf8(std::string(1, in)), std::string(out, outPtr)) << "byte " << b;
    }
    ::iconv_close(converter);
}

TEST(Cp1251, CharactersOutsideTheCodePageBecomeQuestionMarks) {
    EXPECT_EQ(Utf8ToCp1251("a€b"),
              "a\x88"
              "b");
    EXPECT_EQ(Utf8ToCp1251("ä日本😀"), "????");
    EXPECT_EQ(Utf8ToCp1251("\xC2\x98"), "?");  // U+0098 is no Windows-1251 character
}

TEST(Cp1251, MalformedUtf8BecomesQuestionMarksByteForByte) {
    EXPECT_EQ(Utf8ToCp1251("\xC0\xAF"), "??");            // overlong "/"
    EXPECT_EQ(Utf8ToCp1251("\xED\xA0\x80"), "???");       // surrogate
    EXPECT_EQ(Utf8ToCp1251("\xF4\x90\x80\x80"), "????");  // above U+10FFFF
    EXPECT_EQ(Utf8ToCp1251("a\xD0"), "a?");               // cut short at the end
    EXPECT_EQ(Utf8ToCp1251("\x80x\xFF"), "?x?");
    EXPECT_EQ(Utf8ToCp1251("\xD0z\xD0\xB0"), "?z\xE0");
    EXPECT_EQ(Utf8ToCp1251(Cp1251ToUtf8(kAllBytes)).size(), 256u);
    EXPECT_EQ(Utf8ToCp1251(kAllBytes).size(), 256u);  // raw bytes are no UTF-8 above 0x7F
}

TEST(Cp1251, NulAndControlBytesPassThrough) {
    const std::string text("a\0\r\n\x7F", 5);
    EXPECT_EQ(Cp1251ToUtf8(text), text);
    EXPECT_EQ(Utf8ToCp1251(text), text);
}

TEST(VisibleText, ControlCharactersAndMalformedBytesAreShownNotObeyed) {
    const struct {
        std::string text, shown;
    } cases[] = {
        {"Проба\t4 ©", "Проба\t4 ©"},
        {"\x1B[2J\x07", "\\x1B[2J\\x07"},
        {std::string("a\0b\r\n\x7F", 6), "a\\x00b\\x0D\\x0A\\x7F"},
        {"\xC2\x9B"
         "1m",
         "\\xC2\\x9B1m"},                                             // the 8-bit CSI
        {"\xEF\xBF\xBE\xEF\xBF\xBD", "\\xEF\\xBF\\xBE\xEF\xBF\xBD"},  // U+FFFE, then U+FFFD
        {"\xFF\xC3", "\\xFF\\xC3"},
    };
    for (const auto& c : cases) EXPECT_EQ(VisibleText(c.text), c.shown) << c.shown;
}

}  // namespace
}  // namespace pulsedesk::config
