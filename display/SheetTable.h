// The seven digit sprite sheets: their glyph geometry, sizes, glyph counts and colours.
// Qt-free data, shared by the renderer and by the artwork generator that paints the sheets.
#pragma once

#include <array>
#include <cstdint>

namespace pulsedesk::display {

// Glyph boxes inside a sheet, in pixels.
struct SheetGeometry {
    std::uint8_t firstX;       // left edge of glyph 0
    std::uint8_t firstY;       // top edge of every glyph
    std::uint8_t glyphWidth;   // width of one glyph box, also the pitch on screen
    std::uint8_t glyphHeight;  // height of one glyph box
    std::uint8_t step;         // distance from one glyph box to the next in the sheet
    std::uint8_t pointX;       // decimal-point box, relative to the glyph box
    std::uint8_t pointY;
};

inline constexpr SheetGeometry kBigGeometry{1, 1, 38, 46, 40, 32, 40};
inline constexpr SheetGeometry kMiddleGeometry{1, 1, 17, 19, 19, 14, 16};
inline constexpr SheetGeometry kSmallGeometry{1, 1, 11, 12, 13, 10, 11};

struct Rgb {
    std::uint8_t r, g, b;
};

inline constexpr Rgb kLitBackground{0, 0, 0};
inline constexpr Rgb kUnlitBackground{80, 80, 80};
inline constexpr Rgb kUnlitSegments{101, 101, 101};
inline constexpr Rgb kFrameRed{255, 0, 0};

// Glyph numbers beyond the digits.
inline constexpr int kDashGlyph = 10;
inline constexpr int kLetterEGlyph = 11;
inline constexpr int kLetterCGlyph = 12;

enum SheetIndex : int {
    BigGreenDigs,
    BigBlueDigs,
    BigGreyDigs,
    MiddleBlueDigs,
    MiddleGreyDigs,
    SmallGreenDigs,
    SmallGreyDigs,
    SheetCount
};

enum class SizeClass { Big, Middle, Small };

struct SheetEntry {
    const char* resourceName;
    SizeClass sizeClass;
    const SheetGeometry* geometry;
    int width;
    int height;
    int glyphCount;
    bool lit;
    Rgb segments;  // colour of a lit segment
    Rgb Background() const { return lit ? kLitBackground : kUnlitBackground; }
};

// Index order is the panel's: indicators name their sheets by these indices.
inline constexpr std::array<SheetEntry, SheetCount> kSheetTable{{
    {"BigGreenDigs", SizeClass::Big, &kBigGeometry, 441, 49, 11, true, {0, 255, 0}},
    {"BigBlueDigs", SizeClass::Big, &kBigGeometry, 521, 49, 13, true, {0, 255, 255}},
    {"BigGreyDigs", SizeClass::Big, &kBigGeometry, 441, 49, 11, false, kUnlitSegments},
    {"MiddleBlueDigs", SizeClass::Middle, &kMiddleGeometry, 210, 22, 11, true, {0, 112, 248}},
    {"MiddleGreyDigs", SizeClass::Middle, &kMiddleGeometry, 210, 22, 11, false, kUnlitSegments},
    {"SmallGreenDigs", SizeClass::Small, &kSmallGeometry, 131, 15, 10, true, {0, 254, 0}},
    {"SmallGreyDigs", SizeClass::Small, &kSmallGeometry, 131, 15, 10, false, kUnlitSegments},
}};

// Background colours the indicators clear to, as 0x00BBGGRR.
inline constexpr std::uint32_t kLitBackgroundColour = 0x000000;
inline constexpr std::uint32_t kUnlitBackgroundColour = 0x505050;

}  // namespace pulsedesk::display
