#include "tools/ArtworkSet.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <stdexcept>

#include "display/SheetTable.h"
#include "tools/Fonts.h"
#include "tools/GlyphArt.h"
#include "tools/PanelArt.h"
#include "tools/SheetArt.h"

namespace pulsedesk::tools {
namespace {

QByteArray Encode(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(image)) {
        throw std::runtime_error("cannot encode " + std::string(format) + ": " +
                                 writer.errorString().toStdString());
    }
    return bytes;
}

}  // namespace

std::vector<ArtworkFile> RenderArtworkSet() {
    LoadArtworkFonts();
    std::vector<ArtworkFile> files;
    for (const display::SheetEntry& entry : display::kSheetTable) {
        files.push_back({QStringLiteral("digits/%1.bmp").arg(QLatin1String(entry.resourceName)),
                         Encode(RenderSheet(entry), "bmp")});
    }
    files.push_back({QStringLiteral("panel/Image1.png"), Encode(RenderPanel(), "png")});
    for (const GlyphStrip& strip : RenderGlyphStrips()) {
        files.push_back(
            {QStringLiteral("glyphs/%1.png").arg(strip.file), Encode(strip.strip, "png")});
    }
    return files;
}

void WriteArtworkSet(const std::vector<ArtworkFile>& files, const QString& folder) {
    for (const ArtworkFile& file : files) {
        const QString path = QDir(folder).filePath(file.path);
        QFile out(path);
        if (!QDir().mkpath(QFileInfo(path).path()) || !out.open(QIODevice::WriteOnly) ||
            out.write(file.bytes) != file.bytes.size() || !out.flush()) {
            throw std::runtime_error("cannot write " + path.toStdString());
        }
    }
}

}  // namespace pulsedesk::tools
