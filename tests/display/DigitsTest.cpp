#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "GlyphCheck.h"
#include "display/Digits.h"
#include "display/PanelLayout.h"

namespace pulsedesk::display {
namespace {

using testing::GlyphDrawnAt;

struct ExpectedGlyph {
    int glyph;  // -1: nothing drawn
    bool keepPoint;
};

// "5EC-07.25": digits, "-" the dash, "E", "C", "_" an empty place; "." keeps the point before it.
std::vector<ExpectedGlyph> Parse(const std::string& shown) {
    std::vector<ExpectedGlyph> glyphs;
    for (const char c : shown) {
        if (c == '.') {
            glyphs.back().keepPoint = true;
        } else if (c == '-') {
            glyphs.push_back({kDashGlyph, false});
        } else if (c == 'E') {
            glyphs.push_back({kLetterEGlyph, false});
        } else if (c == 'C') {
            glyphs.push_back({kLetterCGlyph, false});
        } else if (c == '_') {
            glyphs.push_back({-1, false});
        } else {
            glyphs.push_back({c - '0', false});
        }
    }
    return glyphs;
}

bool BoxIs(const QImage& image, QRect box, QRgb colour) {
    for (int y = box.top(); y <= box.bottom(); ++y) {
        for (int x = box.left(); x <= box.right(); ++x) {
            if ((image.pixel(x, y) & 0xFFFFFF) != (colour & 0xFFFFFF)) return false;
        }
    }
    return true;
}

// The glyphs of `shown` stand edge to edge from origin, and everything else is background.
void ExpectShown(const QImage& image, const DigitSheet& sheet, QPoint origin,
                 const std::string& shown, std::uint32_t background) {
    const SheetGeometry& g = sheet.Geometry();
    const QRgb fill = ToQRgb(background);
    const QRect pointBox(g.pointX, g.pointY, g.glyphWidth - g.pointX, g.glyphHeight - g.pointY);
    const auto glyphs = Parse(shown);
    for (size_t i = 0; i < glyphs.size(); ++i) {
        const QPoint at = origin + QPoint(static_cast<int>(i) * g.glyphWidth, 0);
        const QRect place(at, QSize(g.glyphWidth, g.glyphHeight));
        if (glyphs[i].glyph < 0) {
            EXPECT_TRUE(BoxIs(image, place, fill)) << "place " << i << " of " << shown;
        } else {
            EXPECT_TRUE(GlyphDrawnAt(image, at, sheet.Sheet(), sheet.GlyphBox(glyphs[i].glyph),
                                     pointBox, glyphs[i].keepPoint, fill))
                << "place " << i << " of " << shown;
        }
    }
    // Outside the glyphs' row only background.
    const QRect row(origin, QSize(static_cast<int>(glyphs.size()) * g.glyphWidth, g.glyphHeight));
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (!row.contains(x, y)) {
                ASSERT_EQ(image.pixel(x, y) & 0xFFFFFF, fill & 0xFFFFFF) << x << ", " << y;
            }
        }
    }
}

constexpr QSize Size(std::string_view control) { return layout::PlaceOf(control).size(); }

QImage Indicator(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::magenta);  // anything the drawing must paint over
    return image;
}

class DrawNumberTest : public ::testing::Test {
  protected:
    DigitSheet green_{BigGreenDigs};
    QImage counter_ = Indicator(Size("ImageCounter"));
};

TEST_F(DrawNumberTest, ZeroInEightPlacesDrawsEightZerosWithEveryPointBlanked) {
    green_.SetFormatText("00000000");
    green_.DrawNumber(0, counter_, kLitBackgroundColour);
    ExpectShown(counter_, green_, {13, 6}, "00000000", kLitBackgroundColour);
}

TEST_F(DrawNumberTest, PointInTheFormatKeepsThePointOfTheGlyphBeforeIt) {
    green_.SetFormatText("0000.0000");
    green_.DrawNumber(12345678, counter_, kLitBackgroundColour);
    ExpectShown(counter_, green_, {13, 6}, "1234.5678", kLitBackgroundColour);
    // The format text is left as it was set, so a repeated call draws the same.
    EXPECT_EQ(green_.FormatText(), "0000.0000");
    QImage again = Indicator(Size("ImageCounter"));
    green_.DrawNumber(12345678, again, kLitBackgroundColour);
    EXPECT_EQ(again, counter_);
}

TEST_F(DrawNumberTest, CommaIsPreferredToAPointAndALeadingMarkKeepsNothing) {
    green_.SetFormatText("0.00,00");
    green_.DrawNumber(7, counter_, kLitBackgroundColour);
    // The comma wins: it goes, glyph 4 keeps its point, and the "." counts as a sixth place.
    ExpectShown(counter_, green_, {13 + 38, 6}, "0000.07", kLitBackgroundColour);
    green_.SetFormatText(".0000");
    green_.DrawNumber(42, counter_, kLitBackgroundColour);
    ExpectShown(counter_, green_, {89, 6}, "0042", kLitBackgroundColour);
}

TEST_F(DrawNumberTest, NegativeValueShowsTheDashAndOneDigitFewer) {
    green_.SetFormatText("00000000");
    green_.DrawNumber(-1, counter_, kLitBackgroundColour);
    ExpectShown(counter_, green_, {13, 6}, "-0000000", kLitBackgroundColour);
    green_.DrawNumber(-12345, counter_, kLitBackgroundColour);
    ExpectShown(counter_, green_, {13, 6}, "-0001234", kLitBackgroundColour);
    green_.DrawNumber(INT32_MIN, counter_, kLitBackgroundColour);
    ExpectShown(counter_, green_, {13, 6}, "-2147483", kLitBackgroundColour);
}

TEST_F(DrawNumberTest, ValueWiderThanThePlacesShowsItsLeftmostDigits) {
    green_.SetFormatText("00000000");
    green_.DrawNumber(123456789, counter_, kLitBackgroundColour);
    ExpectShown(counter_, green_, {13, 6}, "12345678", kLitBackgroundColour);
}

TEST_F(DrawNumberTest, MoreThanNinePlacesArePaddedLikeAnyOther) {
    DigitSheet small(SmallGreenDigs);
    small.SetFormatText("000000000000");
    QImage wide = Indicator(QSize(160, 21));
    small.DrawNumber(2024, wide, kLitBackgroundColour);
    ExpectShown(wide, small, {14, 4}, "000000002024", kLitBackgroundColour);
}

TEST(DrawCodedTextTest, DrawsThePictureExamples) {
    DigitSheet blue(BigBlueDigs);
    QImage timer = Indicator(Size("ImageCounter"));
    const std::uint8_t clock[] = {0x12, 0x34, 0x56};
    blue.SetFormatText("00:00:00");
    blue.DrawCodedText(clock, timer, kLitBackgroundColour);
    ExpectShown(timer, blue, {13, 6}, "12-34-56", kLitBackgroundColour);

    const std::uint8_t seconds[] = {0x07, 0x25};
    blue.SetFormatText("SEC:00.00");
    blue.DrawCodedText(seconds, timer, kLitBackgroundColour);
    ExpectShown(timer, blue, {13, 6}, "5EC-07.25", kLitBackgroundColour);

    DigitSheet middle(MiddleBlueDigs);
    QImage threshold = Indicator(Size("ImageThreshold"));
    const std::uint8_t volts[] = {0x12, 0x50};
    middle.SetFormatText("0.000");
    middle.DrawCodedText(volts, threshold, kLitBackgroundColour);
    ExpectShown(threshold, middle, {15, 5}, "1.250", kLitBackgroundColour);
    middle.SetFormatText(":0.000");
    middle.DrawCodedText(volts, threshold, kLitBackgroundColour);
    ExpectShown(threshold, middle, {7, 5}, "-1.250", kLitBackgroundColour);
}

TEST(DrawCodedTextTest, OddDigitCountTakesTheLowHalfOfTheFirstByte) {
    DigitSheet middle(MiddleBlueDigs);
    QImage image = Indicator(Size("ImageCounterThreshold"));
    const std::uint8_t data[] = {0x94, 0x67};
    middle.SetFormatText("000");
    middle.DrawCodedText(data, image, kLitBackgroundColour);
    ExpectShown(image, middle, {53, 5}, "467", kLitBackgroundColour);
}

TEST(DrawCodedTextTest, LettersMissingFromASheetLeaveTheirPlacesEmpty) {
    DigitSheet grey(BigGreyDigs);
    QImage timer = Indicator(Size("ImageCounter"));
    const std::uint8_t seconds[] = {0x00, 0x00};
    grey.SetFormatText("SEC:00.00");
    grey.DrawCodedText(seconds, timer, kUnlitBackgroundColour);
    ExpectShown(timer, grey, {13, 6}, "5__-00.00", kUnlitBackgroundColour);
}

// Where the first glyph of every indicator of the panel lands.
struct IndicatorCase {
    const char* name;
    SheetIndex sheet;
    QSize size;
    const char* format;
    bool coded;
    const char* shown;
    QPoint origin;
};

class IndicatorPlacementTest : public ::testing::TestWithParam<IndicatorCase> {};

TEST_P(IndicatorPlacementTest, FirstGlyphLandsWhereThePanelExpects) {
    const IndicatorCase& c = GetParam();
    DigitSheet sheet(c.sheet);
    QImage image = Indicator(c.size);
    sheet.SetFormatText(c.format);
    const std::uint8_t data[] = {0x88, 0x88, 0x88};
    const bool lit = kSheetTable[c.sheet].lit;
    const std::uint32_t background = lit ? kLitBackgroundColour : kUnlitBackgroundColour;
    if (c.coded) {
        sheet.DrawCodedText(data, image, background);
    } else {
        sheet.DrawNumber(88888888, image, background);
    }
    ExpectShown(image, sheet, c.origin, c.shown, background);
}

INSTANTIATE_TEST_SUITE_P(
    Panel, IndicatorPlacementTest,
    ::testing::Values(
        IndicatorCase{
            "Counter", BigGreenDigs, Size("ImageCounter"), "00000000", false, "88888888", {13, 6}},
        IndicatorCase{"CounterDim",
                      BigGreyDigs,
                      Size("ImageCounter"),
                      "00000000",
                      false,
                      "88888888",
                      {13, 6}},
        IndicatorCase{"CountLimit",
                      MiddleBlueDigs,
                      Size("ImageCounterThreshold"),
                      "00000000",
                      false,
                      "88888888",
                      {10, 5}},
        IndicatorCase{
            "Timer", BigBlueDigs, Size("ImageTimer"), "00:00:00", true, "88-88-88", {13, 6}},
        IndicatorCase{"CountTime",
                      MiddleGreyDigs,
                      Size("ImageDuration"),
                      "00:00:00",
                      true,
                      "88-88-88",
                      {10, 5}},
        IndicatorCase{
            "Threshold", MiddleBlueDigs, Size("ImageThreshold"), "0.000", true, "8.888", {15, 5}},
        IndicatorCase{"NegativeThreshold",
                      MiddleGreyDigs,
                      Size("ImageThreshold"),
                      ":0.000",
                      true,
                      "-8.888",
                      {7, 5}},
        IndicatorCase{"RecordNumber",
                      SmallGreenDigs,
                      Size("ImageRecords"),
                      "0000000",
                      false,
                      "8888888",
                      {6, 4}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(UnlitSheetTest, DimIndicatorShowsFaintDigitsOnGrey) {
    DigitSheet grey(BigGreyDigs);
    QImage counter = Indicator(Size("ImageCounter"));
    grey.SetFormatText("00000000");
    grey.DrawNumber(88888888, counter, kUnlitBackgroundColour);
    int segmentPixels = 0;
    for (int y = 0; y < counter.height(); ++y) {
        for (int x = 0; x < counter.width(); ++x) {
            const QRgb pixel = counter.pixel(x, y);
            ASSERT_EQ(qRed(pixel), qGreen(pixel));
            ASSERT_EQ(qGreen(pixel), qBlue(pixel));
            ASSERT_GE(qRed(pixel), 80);
            ASSERT_LE(qRed(pixel), 101);
            segmentPixels += qRed(pixel) == 101 ? 1 : 0;
        }
    }
    // Eight 8s fill a good part of their boxes with segment grey.
    EXPECT_GT(segmentPixels, 8 * 38 * 46 / 5);
}

TEST(DigitSheetTest, ConstructionLoadsTheSheetAndStartsWithThreeZeros) {
    for (const SheetEntry& entry : kSheetTable) {
        DigitSheet sheet(entry);
        EXPECT_EQ(sheet.FormatText(), "000");
        EXPECT_EQ(sheet.GlyphCount(), entry.glyphCount) << entry.resourceName;
        EXPECT_EQ(sheet.Sheet().size(), QSize(entry.width, entry.height));
    }
}

TEST(DigitSheetTest, MissingResourceIsAnErrorNamingIt) {
    const SheetEntry missing{"NoSuchDigs", SizeClass::Big, &kBigGeometry, 441, 49, 11, true, {}};
    try {
        DigitSheet sheet(missing);
        FAIL() << "constructed without its bitmap";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("NoSuchDigs"), std::string::npos) << error.what();
    }
}

TEST(DigitSheetTest, SheetTooSmallForItsGeometryIsAnError) {
    // A small sheet is 15 pixels high; big glyphs need 47 rows.
    const SheetEntry wrong{"SmallGreenDigs", SizeClass::Big, &kBigGeometry, 131, 15, 10, true, {}};
    EXPECT_THROW(DigitSheet{wrong}, std::runtime_error);
}

TEST(DigitSheetTest, ImagesThatAreNotThirtyTwoBitAreRefused) {
    DigitSheet sheet(SmallGreenDigs);
    QImage indexed(89, 21, QImage::Format_Indexed8);
    EXPECT_THROW(sheet.DrawNumber(1, indexed, 0), std::invalid_argument);
    const std::uint8_t data[] = {0x01, 0x23};
    EXPECT_THROW(sheet.DrawCodedText(data, indexed, 0), std::invalid_argument);
}

TEST(DigitSheetTest, ImageSmallerThanTheTextIsClippedNotOverrun) {
    DigitSheet green(BigGreenDigs);
    green.SetFormatText("00000000");
    QImage tiny = Indicator(QSize(50, 20));
    green.DrawNumber(88888888, tiny, kLitBackgroundColour);
    // x0 = (50 - 304) / 2 = -127 truncated, y0 = (20 - 46) / 2 = -13: place 3 starts at -13.
    const QRect box = green.GlyphBox(8);
    EXPECT_EQ(tiny.pixel(0, 0), green.Sheet().pixel(box.left() + 13, box.top() + 13));
}

TEST(ColourTest, ConvertsBgrValuesToQtColours) {
    EXPECT_EQ(ToQRgb(0x00FFFF), qRgb(255, 255, 0));  // the progress bar's yellow
    EXPECT_EQ(ToQRgb(0x505050), qRgb(80, 80, 80));
    EXPECT_EQ(ToQRgb(0x123456), qRgb(0x56, 0x34, 0x12));
    EXPECT_EQ(ToQRgb(0), qRgb(0, 0, 0));
    EXPECT_EQ(ToCssColour(0x123456), "#563412");  // the memo's style sheet
}

TEST(ToBcdTest, PacksTheLastTwoDecimalDigits) {
    EXPECT_EQ(ToBcd(88), 0x88);
    EXPECT_EQ(ToBcd(123), 0x23);
    EXPECT_EQ(ToBcd(0), 0x00);
    EXPECT_EQ(ToBcd(9), 0x09);
    EXPECT_EQ(ToBcd(255), 0x55);
}

}  // namespace
}  // namespace pulsedesk::display
