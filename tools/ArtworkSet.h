// The whole artwork set as encoded files: seven BMP sprite sheets, the panel PNG and the
// glyph-strip PNGs, each under its path relative to resources/.
#pragma once

#include <QByteArray>
#include <QString>
#include <vector>

namespace pulsedesk::tools {

struct ArtworkFile {
    QString path;  // e.g. "digits/BigGreenDigs.bmp", "panel/Image1.png", "glyphs/start.png"
    QByteArray bytes;
};

// Renders and encodes everything; the same packages give the same bytes. Needs a
// QGuiApplication; loads the fonts itself. Throws std::runtime_error on failure.
std::vector<ArtworkFile> RenderArtworkSet();

// Writes the set under folder, creating subfolders. Throws std::runtime_error on failure.
void WriteArtworkSet(const std::vector<ArtworkFile>& files, const QString& folder);

}  // namespace pulsedesk::tools
