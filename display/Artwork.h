// The artwork embedded in the program (sprite sheets, panel background, button glyph strips):
// registration of the compiled resources and the paths under which they are found.
#pragma once

#include <QImage>
#include <QString>
#include <string>
#include <string_view>

namespace pulsedesk::display {

// Registers the embedded artwork; safe to call any number of times. Everything below calls it.
void InitArtwork();

// ":/<name>", e.g. ":/BigGreenDigs", ":/Image1", ":/glyphs/SpeedButton16".
QString ArtworkPath(std::string_view name);

// The named picture; throws std::runtime_error with the name when it is not embedded.
QImage LoadArtwork(std::string_view name);

inline constexpr std::string_view kBackgroundName = "Image1";

// Glyph strip of a speed button, by the control's name ("sbMode0", "SpeedButton16", ...).
std::string GlyphStripName(std::string_view controlName);

}  // namespace pulsedesk::display
