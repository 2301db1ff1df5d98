#include "display/Digits.h"

#include <QRect>
#include <charconv>
#include <cstring>
#include <stdexcept>
#include <string>

#include "display/Artwork.h"

namespace pulsedesk::display {
namespace {

bool HasFourBytePixels(const QImage& image) {
    switch (image.format()) {
        case QImage::Format_RGB32:
        case QImage::Format_ARGB32:
        case QImage::Format_ARGB32_Premultiplied:
            return true;
        default:
            return false;
    }
}

void RequireFourBytePixels(const QImage& image) {
    if (!HasFourBytePixels(image)) {
        throw std::invalid_argument("indicator image must be 32 bits per pixel");
    }
}

// Fills box, clipped to the image, without going through a painter.
void FillBox(QImage& image, QRect box, QRgb colour) {
    box = box.intersected(image.rect());
    if (box.isEmpty()) return;
    uchar* bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    for (int y = box.top(); y <= box.bottom(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(bits + y * stride) + box.left();
        std::fill(row, row + box.width(), colour);
    }
}

// Copies source's box unscaled to target with its top-left at `at`, clipped to the target.
void CopyBox(const QImage& source, QRect box, QImage& target, QPoint at) {
    QRect placed = QRect(at, box.size()).intersected(target.rect());
    if (placed.isEmpty()) return;
    const QPoint shift = placed.topLeft() - at;
    const uchar* from = source.constBits();
    uchar* to = target.bits();
    const size_t rowBytes = static_cast<size_t>(placed.width()) * sizeof(QRgb);
    for (int y = 0; y < placed.height(); ++y) {
        const auto* sourceRow = reinterpret_cast<const QRgb*>(from + (box.top() + shift.y() + y) *
                                                                         source.bytesPerLine()) +
                                box.left() + shift.x();
        auto* targetRow = reinterpret_cast<QRgb*>(to + (placed.top() + y) * target.bytesPerLine()) +
                          placed.left();
        std::memcpy(targetRow, sourceRow, rowBytes);
    }
}

int GlyphForPictureChar(char c) {
    switch (c) {
        case ':':
            return kDashGlyph;
        case 'S':
            return 5;
        case 'E':
            return kLetterEGlyph;
        case 'C':
            return kLetterCGlyph;
        default:
            return -1;  // a digit place
    }
}

bool IsPointMark(char c) { return c == '.' || c == ','; }

// The places of a number's format text and the 0-based glyph whose point stays lit (-1: none).
struct NumberPlaces {
    int count;
    int keptPoint;
};

NumberPlaces NumberPlacesOf(std::string_view format) {
    size_t mark = format.find(',');
    if (mark == std::string_view::npos) mark = format.find('.');
    if (mark == std::string_view::npos) return {static_cast<int>(format.size()), -1};
    return {static_cast<int>(format.size()) - 1, static_cast<int>(mark) - 1};
}

// Glyph i of value written as "%.<places>d": "-" first for negatives, then the magnitude's
// digits zero-padded to at least `places`.
class PaddedNumber {
  public:
    PaddedNumber(std::int32_t value, int places) : negative_(value < 0) {
        const auto magnitude =
            static_cast<std::uint32_t>(negative_ ? -static_cast<std::int64_t>(value) : value);
        length_ = static_cast<int>(std::to_chars(digits_, digits_ + sizeof digits_, magnitude).ptr -
                                   digits_);
        padding_ = places > length_ ? places - length_ : 0;
    }
    int GlyphAt(int i) const {
        if (negative_) {
            if (i == 0) return kDashGlyph;
            --i;
        }
        return i < padding_ ? 0 : digits_[i - padding_] - '0';
    }

  private:
    bool negative_;
    char digits_[10]{};
    int length_ = 0;
    int padding_ = 0;
};

// Hands out packed decimal digits from the right: low half, then high half, then the byte before.
class DigitsFromRight {
  public:
    DigitsFromRight(const std::uint8_t* data, int digitPlaces)
        : data_(data), byte_((digitPlaces + 1) / 2 - 1) {}
    int Next() {
        const std::uint8_t packed = data_[byte_];
        lowHalf_ = !lowHalf_;
        if (lowHalf_) return packed & 0x0F;
        --byte_;
        return packed >> 4;
    }

  private:
    const std::uint8_t* data_;
    int byte_;
    bool lowHalf_ = false;
};

}  // namespace

std::uint8_t ToBcd(std::uint8_t value) {
    const int v = value % 100;
    return static_cast<std::uint8_t>(((v / 10) << 4) | (v % 10));
}

DigitSheet::DigitSheet(SheetIndex index) : DigitSheet(kSheetTable.at(static_cast<size_t>(index))) {}

DigitSheet::DigitSheet(const SheetEntry& entry)
    : geometry_(*entry.geometry),
      sheet_(LoadArtwork(entry.resourceName).convertToFormat(QImage::Format_RGB32)) {
    const int usableHeight = sheet_.height() - geometry_.firstY;
    glyphCount_ = (sheet_.width() - geometry_.firstX) / geometry_.step;
    if (usableHeight < geometry_.glyphHeight || glyphCount_ < 1) {
        throw std::runtime_error(std::string("Bitmap resource ") + entry.resourceName +
                                 " is too small for its glyphs");
    }
}

QRect DigitSheet::GlyphBox(int glyph) const {
    return {geometry_.firstX + glyph * geometry_.step, geometry_.firstY, geometry_.glyphWidth,
            geometry_.glyphHeight};
}

void DigitSheet::DrawGlyph(int glyph, QPoint at, bool keepPoint, QImage& image,
                           QRgb background) const {
    // A glyph the sheet does not hold (such as a letter on a sheet without letters) stays blank.
    if (glyph < 0 || glyph >= glyphCount_) return;
    CopyBox(sheet_, GlyphBox(glyph), image, at);
    if (!keepPoint) {
        const QPoint corner = at + QPoint(geometry_.pointX, geometry_.pointY);
        FillBox(image,
                QRect(corner, QSize(geometry_.glyphWidth - geometry_.pointX,
                                    geometry_.glyphHeight - geometry_.pointY)),
                background);
    }
}

void DigitSheet::DrawNumber(std::int32_t value, QImage& image, std::uint32_t background) const {
    RequireFourBytePixels(image);
    const NumberPlaces places = NumberPlacesOf(formatText_);
    const PaddedNumber text(value, places.count);
    const int width = geometry_.glyphWidth;
    const QPoint origin((image.width() - places.count * width) / 2,
                        (image.height() - geometry_.glyphHeight) / 2);
    const QRgb fill = ToQRgb(background);
    image.fill(fill);
    for (int i = 0; i < places.count; ++i) {
        DrawGlyph(text.GlyphAt(i), origin + QPoint(i * width, 0), i == places.keptPoint, image,
                  fill);
    }
}

void DigitSheet::DrawCodedText(const std::uint8_t* data, QImage& image,
                               std::uint32_t background) const {
    RequireFourBytePixels(image);
    int marks = 0;
    int figures = 0;
    for (const char c : formatText_) {
        marks += IsPointMark(c) ? 1 : 0;
        figures += GlyphForPictureChar(c) >= 0 ? 1 : 0;
    }
    const int glyphs = static_cast<int>(formatText_.size()) - marks;
    DigitsFromRight digits(data, glyphs - figures);
    const int width = geometry_.glyphWidth;
    int x = (image.width() + glyphs * width) / 2;
    const int y = (image.height() - geometry_.glyphHeight) / 2;
    const QRgb fill = ToQRgb(background);
    image.fill(fill);
    bool keepPoint = false;
    for (auto c = formatText_.rbegin(); c != formatText_.rend(); ++c) {
        if (IsPointMark(*c)) {
            keepPoint = true;
            continue;
        }
        x -= width;
        const int figure = GlyphForPictureChar(*c);
        DrawGlyph(figure >= 0 ? figure : digits.Next(), QPoint(x, y), keepPoint, image, fill);
        keepPoint = false;
    }
}

}  // namespace pulsedesk::display
