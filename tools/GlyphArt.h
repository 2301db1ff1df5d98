// Glyph strips of the panel's speed buttons: four pictures of the whole button side by side,
// up, disabled, down (while pressed) and held.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <vector>

namespace pulsedesk::tools {

struct GlyphStrip {
    QString file;  // under resources/glyphs/, without extension
    QSize button;  // size of one picture: the control's size
    QImage strip;  // Format_ARGB32, 4 * button.width() x button.height()
};

// Every strip the panel uses. Needs LoadArtworkFonts() first.
std::vector<GlyphStrip> RenderGlyphStrips();

}  // namespace pulsedesk::tools
