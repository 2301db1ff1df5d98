#include "display/Colour.h"

#include <QColor>

namespace pulsedesk::display {

QRgb ToQRgb(std::uint32_t colour) {
    return qRgb(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                static_cast<int>((colour >> 16) & 0xFF));
}

QString ToCssColour(std::uint32_t colour) { return QColor::fromRgb(ToQRgb(colour)).name(); }

}  // namespace pulsedesk::display
