// Pixel check of one glyph drawn into an indicator image.
#pragma once

#include <gtest/gtest.h>

#include <QImage>
#include <QRect>

namespace pulsedesk::display::testing {

// Every pixel of `box` in `image` at `at` equals the sheet's, except the decimal-point box,
// which must be `background` unless keepPoint.
::testing::AssertionResult GlyphDrawnAt(const QImage& image, QPoint at, const QImage& sheet,
                                        QRect box, QRect pointBox, bool keepPoint, QRgb background);

}  // namespace pulsedesk::display::testing
