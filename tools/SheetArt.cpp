#include "tools/SheetArt.h"

#include <QPainter>
#include <QPolygonF>
#include <QTransform>
#include <cmath>
#include <cstring>

namespace pulsedesk::tools {
namespace {

using display::SheetEntry;
using display::SizeClass;

constexpr int kShadeCount = 255;  // palette entries 0..254
constexpr int kRedIndex = 255;

// Segment bits: a (top), b (upper right), c (lower right), d (bottom), e (lower left),
// f (upper left), g (middle).
enum Segment { A = 1, B = 2, C = 4, D = 8, E = 16, F = 32, G = 64 };

constexpr int kGlyphSegments[] = {
    A | B | C | D | E | F,      // 0
    B | C,                      // 1
    A | B | D | E | G,          // 2
    A | B | C | D | G,          // 3
    B | C | F | G,              // 4
    A | C | D | F | G,          // 5
    A | C | D | E | F | G,      // 6
    A | B | C,                  // 7
    A | B | C | D | E | F | G,  // 8
    A | B | C | D | F | G,      // 9
    G,                          // dash
    A | D | E | F | G,          // E
    A | D | E | F,              // C
};

// How a digit sits in its glyph box: the upright body, stroke, gaps between segments, slant
// (horizontal shift per pixel of height), the decimal point (empty: none), and whether the
// segments have pointed ends (too small to read at the small size, which uses square bars).
struct DigitStyle {
    QRectF body;
    qreal stroke;
    qreal gap;
    qreal slant;
    QRectF point;
    bool pointedEnds;
};

DigitStyle StyleOf(SizeClass size) {
    switch (size) {
        case SizeClass::Big:
            return {QRectF(1.5, 1, 26.5, 44), 5.4, 0.9, 0.11, QRectF(32, 40, 5, 5), true};
        case SizeClass::Middle:
            return {QRectF(1, 1, 10.5, 17), 2.6, 0.5, 0.11, QRectF(14, 16, 2.2, 2), true};
        case SizeClass::Small:
            break;
    }
    return {QRectF(1, 0, 9, 12), 2, 0, 0, QRectF(), false};
}

QPolygonF HorizontalSegment(qreal left, qreal right, qreal y, qreal half, qreal gap) {
    return QPolygonF({{left + gap, y},
                      {left + gap + half, y - half},
                      {right - gap - half, y - half},
                      {right - gap, y},
                      {right - gap - half, y + half},
                      {left + gap + half, y + half}});
}

QPolygonF VerticalSegment(qreal x, qreal top, qreal bottom, qreal half, qreal gap) {
    return QPolygonF({{x, top + gap},
                      {x + half, top + gap + half},
                      {x + half, bottom - gap - half},
                      {x, bottom - gap},
                      {x - half, bottom - gap - half},
                      {x - half, top + gap + half}});
}

// Square bars, pixel-aligned for a stroke of 2; the upright bars run through the corners, or a 1
// would fall apart into two dots at this size.
QPolygonF SquareSegment(Segment segment, const QRectF& body, qreal stroke) {
    const qreal half = stroke / 2;
    const qreal middle = body.top() + body.height() / 2;
    const qreal innerLeft = body.left() + stroke;
    const qreal innerRight = body.right() - stroke;
    auto across = [&](qreal y) { return QRectF(innerLeft, y, innerRight - innerLeft, stroke); };
    auto down = [&](qreal x, qreal top, qreal bottom) {
        return QRectF(x, top, stroke, bottom - top);
    };
    switch (segment) {
        case A:
            return QPolygonF(across(body.top()));
        case G:
            return QPolygonF(across(middle - half));
        case D:
            return QPolygonF(across(body.bottom() - stroke));
        case F:
            return QPolygonF(down(body.left(), body.top(), middle + half));
        case B:
            return QPolygonF(down(innerRight, body.top(), middle + half));
        case E:
            return QPolygonF(down(body.left(), middle - half, body.bottom()));
        case C:
            return QPolygonF(down(innerRight, middle - half, body.bottom()));
    }
    return {};
}

QPolygonF SegmentShape(Segment segment, const DigitStyle& style) {
    if (!style.pointedEnds) return SquareSegment(segment, style.body, style.stroke);
    const qreal half = style.stroke / 2;
    const QRectF& body = style.body;
    const qreal left = body.left() + half;
    const qreal right = body.right() - half;
    const qreal top = body.top() + half;
    const qreal middle = body.top() + body.height() / 2;
    const qreal bottom = body.bottom() - half;
    switch (segment) {
        case A:
            return HorizontalSegment(left, right, top, half, style.gap);
        case G:
            return HorizontalSegment(left, right, middle, half, style.gap);
        case D:
            return HorizontalSegment(left, right, bottom, half, style.gap);
        case F:
            return VerticalSegment(left, top, middle, half, style.gap);
        case B:
            return VerticalSegment(right, top, middle, half, style.gap);
        case E:
            return VerticalSegment(left, middle, bottom, half, style.gap);
        case C:
            return VerticalSegment(right, middle, bottom, half, style.gap);
    }
    return {};
}

// Leans the body to the right, keeping its bottom edge in place.
QTransform SlantOf(const DigitStyle& style) {
    return QTransform(1, 0, -style.slant, 1, style.slant * style.body.bottom(), 0);
}

void PaintGlyph(QPainter& painter, int glyph, const DigitStyle& style) {
    const QTransform slant = SlantOf(style);
    for (int bit = A; bit <= G; bit <<= 1) {
        if (kGlyphSegments[glyph] & bit) {
            painter.drawPolygon(slant.map(SegmentShape(static_cast<Segment>(bit), style)));
        }
    }
    const bool isDigit = glyph <= 9;
    if (isDigit && !style.point.isEmpty()) {
        painter.drawRoundedRect(style.point, style.point.width() / 4, style.point.height() / 4);
    }
}

// White, smoothed glyph shapes on transparent: the alpha channel is each pixel's coverage.
QImage RenderCoverage(const SheetEntry& entry) {
    QImage coverage(entry.width, entry.height, QImage::Format_ARGB32_Premultiplied);
    coverage.fill(Qt::transparent);
    QPainter painter(&coverage);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    const display::SheetGeometry& geometry = *entry.geometry;
    const DigitStyle style = StyleOf(entry.sizeClass);
    for (int glyph = 0; glyph < entry.glyphCount; ++glyph) {
        const QRect box(geometry.firstX + glyph * geometry.step, geometry.firstY,
                        geometry.glyphWidth, geometry.glyphHeight);
        painter.save();
        painter.setClipRect(box);
        painter.translate(box.topLeft());
        PaintGlyph(painter, glyph, style);
        painter.restore();
    }
    return coverage;
}

QList<QRgb> SheetPalette(const SheetEntry& entry) {
    const display::Rgb from = entry.Background();
    const display::Rgb to = entry.segments;
    auto shade = [](int a, int b, int k) {
        return a + static_cast<int>(std::lround((b - a) * k / double(kShadeCount - 1)));
    };
    QList<QRgb> palette;
    for (int k = 0; k < kShadeCount; ++k) {
        palette.append(
            qRgb(shade(from.r, to.r, k), shade(from.g, to.g, k), shade(from.b, to.b, k)));
    }
    palette.append(qRgb(display::kFrameRed.r, display::kFrameRed.g, display::kFrameRed.b));
    return palette;
}

void DrawCellFrames(QImage& sheet, const SheetEntry& entry) {
    const int step = entry.geometry->step;
    for (int x = 0; x < sheet.width(); x += step) {
        for (int y = 0; y < sheet.height(); ++y) sheet.setPixel(x, y, kRedIndex);
    }
    for (int x = 0; x < sheet.width(); ++x) {
        sheet.setPixel(x, 0, kRedIndex);
        sheet.setPixel(x, sheet.height() - 1, kRedIndex);
    }
}

}  // namespace

QImage RenderSheet(const SheetEntry& entry) {
    const QImage coverage = RenderCoverage(entry);
    QImage sheet(entry.width, entry.height, QImage::Format_Indexed8);
    // The BMP writer copies whole scan lines, so their alignment padding must be defined too.
    std::memset(sheet.bits(), 0, static_cast<size_t>(sheet.sizeInBytes()));
    sheet.setColorTable(SheetPalette(entry));
    for (int y = 0; y < sheet.height(); ++y) {
        const auto* source = reinterpret_cast<const QRgb*>(coverage.constScanLine(y));
        uchar* target = sheet.scanLine(y);
        for (int x = 0; x < sheet.width(); ++x) {
            target[x] = static_cast<uchar>((qAlpha(source[x]) * (kShadeCount - 1) + 127) / 255);
        }
    }
    DrawCellFrames(sheet, entry);
    return sheet;
}

}  // namespace pulsedesk::tools
