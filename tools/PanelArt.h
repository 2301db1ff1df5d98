// The 600 x 600 background picture of the panel: plate, title with its two logos, the group
// frames with their captions, and the recessed windows of the indicators.
#pragma once

#include <QImage>

namespace pulsedesk::tools {

// Format_RGB32. Needs LoadArtworkFonts() first.
QImage RenderPanel();

}  // namespace pulsedesk::tools
