// The faces the artwork is lettered in, loaded from their files so that every run on every
// machine with the same packages paints the same pixels.
#pragma once

#include <QFont>

namespace pulsedesk::tools {

enum class Face { NarrowBold, Narrow, SansBold, Sans };

// Registers the font files; throws std::runtime_error naming a missing file.
void LoadArtworkFonts();

// The face at a pixel size, unhinted and without subpixel smoothing.
QFont ArtworkFont(Face face, int pixelSize);

}  // namespace pulsedesk::tools
