#include "GlyphCheck.h"

namespace pulsedesk::display::testing {

::testing::AssertionResult GlyphDrawnAt(const QImage& image, QPoint at, const QImage& sheet,
                                        QRect box, QRect pointBox, bool keepPoint,
                                        QRgb background) {
    for (int y = 0; y < box.height(); ++y) {
        for (int x = 0; x < box.width(); ++x) {
            const bool blanked = !keepPoint && pointBox.contains(x, y);
            const QRgb want = blanked ? background : sheet.pixel(box.left() + x, box.top() + y);
            const QRgb got = image.pixel(at.x() + x, at.y() + y);
            if ((want & 0xFFFFFF) != (got & 0xFFFFFF)) {
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << ") of the glyph at (" << at.x() << ", "
                       << at.y() << ") is " << std::hex << got << ", the sheet's is " << want;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace pulsedesk::display::testing
