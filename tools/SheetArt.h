// The seven-segment sprite sheets: slanted digits with a decimal point (big, middle) or upright
// digits (small), in red-framed cells, as 8-bit palette images.
#pragma once

#include <QImage>

#include "display/SheetTable.h"

namespace pulsedesk::tools {

// Indexed8 with a 256-entry palette: entries 0..254 shade from the sheet's background to its
// segment colour (smoothed edges), entry 255 is the frame red.
QImage RenderSheet(const display::SheetEntry& entry);

}  // namespace pulsedesk::tools
