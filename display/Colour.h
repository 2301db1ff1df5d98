// The settings' colours, 0x00BBGGRR as Windows wrote them, in Qt's forms.
#pragma once

#include <QRgb>
#include <QString>
#include <cstdint>

namespace pulsedesk::display {

// As Qt's opaque 0xFFRRGGBB.
QRgb ToQRgb(std::uint32_t colour);

// As a style sheet's "#rrggbb".
QString ToCssColour(std::uint32_t colour);

}  // namespace pulsedesk::display
