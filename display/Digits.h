// DigitSheet: one seven-segment sprite sheet and the two operations that draw a number or a
// packed-decimal text into an indicator image by copying glyph boxes out of the sheet.
#pragma once

#include <QImage>
#include <cstdint>
#include <string>
#include <string_view>

#include "display/Colour.h"
#include "display/SheetTable.h"

namespace pulsedesk::display {

// (value mod 100) as packed decimal: tens in the high half, units in the low half.
std::uint8_t ToBcd(std::uint8_t value);

class DigitSheet {
  public:
    // Loads the sheet's bitmap from the embedded resources; throws std::runtime_error when the
    // resource is missing or too small for its glyphs.
    explicit DigitSheet(SheetIndex index);
    explicit DigitSheet(const SheetEntry& entry);

    void SetFormatText(std::string_view text) { formatText_ = text; }
    const std::string& FormatText() const { return formatText_; }

    // Draws value zero-padded to the format text's places (one "," or "." marks the glyph
    // whose point stays lit), centred; a value wider than the places shows its leftmost ones.
    void DrawNumber(std::int32_t value, QImage& image, std::uint32_t background) const;

    // Draws the format text as a picture: ":" a dash, "S" a 5, "E" and "C" letters, "." or ","
    // keeps the point of the glyph to its left, anything else a digit taken right-aligned from
    // data's packed decimal halves.
    void DrawCodedText(const std::uint8_t* data, QImage& image, std::uint32_t background) const;

    const SheetGeometry& Geometry() const { return geometry_; }
    int GlyphCount() const { return glyphCount_; }
    // The sheet picture as loaded, in Format_RGB32.
    const QImage& Sheet() const { return sheet_; }
    // Glyph g's box inside the sheet.
    QRect GlyphBox(int glyph) const;

  private:
    void DrawGlyph(int glyph, QPoint at, bool keepPoint, QImage& image, QRgb background) const;

    const SheetGeometry& geometry_;
    QImage sheet_;
    int glyphCount_ = 0;
    std::string formatText_ = "000";
};

}  // namespace pulsedesk::display
