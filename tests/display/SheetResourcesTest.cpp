#include <gtest/gtest.h>

#include <QFile>
#include <QImageReader>

#include "display/Artwork.h"
#include "display/SheetTable.h"

namespace pulsedesk::display {

// Names the sheet in test output instead of dumping its bytes.
void PrintTo(const SheetEntry& entry, std::ostream* out) { *out << entry.resourceName; }

namespace {

QRgb ToRgb(Rgb c) { return qRgb(c.r, c.g, c.b); }

class SheetResourceTest : public ::testing::TestWithParam<SheetEntry> {
  protected:
    void SetUp() override { sheet_ = LoadArtwork(GetParam().resourceName); }
    QRect GlyphBox(int g) const {
        const SheetGeometry& geometry = *GetParam().geometry;
        return {geometry.firstX + g * geometry.step, geometry.firstY, geometry.glyphWidth,
                geometry.glyphHeight};
    }
    int CountInBox(QRect box, QRgb colour) const {
        int count = 0;
        for (int y = box.top(); y <= box.bottom(); ++y) {
            for (int x = box.left(); x <= box.right(); ++x) count += sheet_.pixel(x, y) == colour;
        }
        return count;
    }
    QImage sheet_;
};

TEST_P(SheetResourceTest, IsAnEightBitPaletteBitmapOfTheListedSize) {
    const SheetEntry& entry = GetParam();
    QImageReader reader(ArtworkPath(entry.resourceName));
    EXPECT_EQ(reader.format(), "bmp");
    EXPECT_EQ(sheet_.size(), QSize(entry.width, entry.height));
    EXPECT_EQ(sheet_.format(), QImage::Format_Indexed8);
    EXPECT_EQ(sheet_.depth(), 8);
    EXPECT_EQ(sheet_.colorCount(), 256);
    // Bits per pixel in the file header itself.
    QFile file(ArtworkPath(entry.resourceName));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray header = file.read(30);
    EXPECT_EQ(static_cast<int>(header[28]) | (static_cast<int>(header[29]) << 8), 8);
}

TEST_P(SheetResourceTest, PaletteHoldsBackgroundSegmentsAndFrameRed) {
    const SheetEntry& entry = GetParam();
    const QList<QRgb> palette = sheet_.colorTable();
    EXPECT_TRUE(palette.contains(ToRgb(entry.Background())));
    EXPECT_TRUE(palette.contains(ToRgb(entry.segments)));
    EXPECT_TRUE(palette.contains(ToRgb(kFrameRed)));
    for (const QRgb colour : palette) {  // nothing but shades between the two, and the red
        if (colour == ToRgb(kFrameRed)) continue;
        const Rgb lo = entry.Background();
        const Rgb hi = entry.segments;
        EXPECT_TRUE(qGreen(colour) >= std::min(lo.g, hi.g) &&
                    qGreen(colour) <= std::max(lo.g, hi.g))
            << std::hex << colour;
    }
}

TEST_P(SheetResourceTest, CellsAreFramedInRedOutsideTheGlyphBoxes) {
    const SheetEntry& entry = GetParam();
    const QRgb red = ToRgb(kFrameRed);
    for (int x = 0; x < entry.width; ++x) {
        ASSERT_EQ(sheet_.pixel(x, 0), red) << x;
        ASSERT_EQ(sheet_.pixel(x, entry.height - 1), red) << x;
    }
    for (int g = 0; g <= entry.glyphCount; ++g) {
        for (int y = 0; y < entry.height; ++y) {
            ASSERT_EQ(sheet_.pixel(g * entry.geometry->step, y), red) << g << ", " << y;
        }
    }
    for (int g = 0; g < entry.glyphCount; ++g) {
        EXPECT_EQ(CountInBox(GlyphBox(g), red), 0) << "glyph " << g;
    }
}

TEST_P(SheetResourceTest, GlyphsAreSegmentsOnTheSheetBackground) {
    const SheetEntry& entry = GetParam();
    const SheetGeometry& g = *entry.geometry;
    const QRgb background = ToRgb(entry.Background());
    const QRgb segments = ToRgb(entry.segments);
    const int eight = CountInBox(GlyphBox(8), segments);
    EXPECT_GT(eight, g.glyphWidth * g.glyphHeight / 10);
    for (int glyph = 0; glyph < entry.glyphCount; ++glyph) {
        const QRect box = GlyphBox(glyph);
        EXPECT_EQ(sheet_.pixel(box.topLeft()), background) << glyph;
        const int lit = CountInBox(box, segments);
        EXPECT_GT(lit, 0) << glyph;
        EXPECT_LE(lit, eight) << glyph;  // no glyph lights more than an 8 with its point
        const QRect point(box.topLeft() + QPoint(g.pointX, g.pointY),
                          QSize(g.glyphWidth - g.pointX, g.glyphHeight - g.pointY));
        const bool hasPoint = entry.sizeClass != SizeClass::Small && glyph <= 9;
        EXPECT_EQ(CountInBox(point, background) < point.width() * point.height(), hasPoint)
            << "point of glyph " << glyph;
    }
}

TEST_P(SheetResourceTest, DashLightsOnlyTheMiddleSegmentWhereTheSheetHasOne) {
    const SheetEntry& entry = GetParam();
    if (entry.sizeClass == SizeClass::Small) {
        // Small sheets hold the ten digits only: no cell for a dash.
        EXPECT_EQ(entry.glyphCount, kDashGlyph);
        EXPECT_LT(entry.geometry->firstX + kDashGlyph * entry.geometry->step, entry.width + 1);
        EXPECT_GT(
            entry.geometry->firstX + kDashGlyph * entry.geometry->step + entry.geometry->glyphWidth,
            entry.width);
        return;
    }
    const QRect dash = GlyphBox(kDashGlyph);
    const QRgb background = ToRgb(entry.Background());
    const int third = dash.height() / 3;
    EXPECT_EQ(CountInBox(QRect(dash.left(), dash.top(), dash.width(), third), background),
              dash.width() * third);
    EXPECT_EQ(
        CountInBox(QRect(dash.left(), dash.bottom() - third + 1, dash.width(), third), background),
        dash.width() * third);
}

TEST_P(SheetResourceTest, BigAndMiddleDigitsLeanRightSmallOnesStandUpright) {
    const SheetEntry& entry = GetParam();
    // The left edge of the 8's lit pixels in its top rows against its bottom rows.
    const QRect box = GlyphBox(8);
    const QRgb background = ToRgb(entry.Background());
    auto leftmostLit = [&](int row) {
        for (int x = box.left(); x <= box.right(); ++x) {
            if (sheet_.pixel(x, row) != background) return x;
        }
        return box.right();
    };
    const int top = leftmostLit(box.top() + box.height() / 4);
    const int bottom = leftmostLit(box.top() + 3 * box.height() / 4);
    if (entry.sizeClass == SizeClass::Small) {
        EXPECT_EQ(top, bottom);
    } else {
        EXPECT_GT(top, bottom);
    }
}

INSTANTIATE_TEST_SUITE_P(AllSheets, SheetResourceTest, ::testing::ValuesIn(kSheetTable),
                         [](const auto& info) { return std::string(info.param.resourceName); });

TEST(SheetResourceTest, OnlyTheBigBlueSheetHoldsTheLettersEAndC) {
    for (const SheetEntry& entry : kSheetTable) {
        const bool letters = std::string(entry.resourceName) == "BigBlueDigs";
        EXPECT_EQ(entry.glyphCount > kLetterCGlyph, letters) << entry.resourceName;
        EXPECT_EQ((entry.width - 1) / entry.geometry->step, entry.glyphCount) << entry.resourceName;
    }
}

}  // namespace
}  // namespace pulsedesk::display
