#include "display/Artwork.h"

#include <QFile>
#include <mutex>
#include <stdexcept>
#include <string>

// Resources compiled into a static library are dropped by the linker unless referenced;
// Q_INIT_RESOURCE references them, and must be used outside any namespace.
static void RegisterArtworkResources() { Q_INIT_RESOURCE(resources); }

namespace pulsedesk::display {

void InitArtwork() {
    static std::once_flag once;
    std::call_once(once, RegisterArtworkResources);
}

QString ArtworkPath(std::string_view name) {
    return QStringLiteral(":/") +
           QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

QImage LoadArtwork(std::string_view name) {
    InitArtwork();
    const QString path = ArtworkPath(name);
    QImage image;
    if (!QFile::exists(path) || !image.load(path)) {
        throw std::runtime_error("Bitmap resource " + std::string(name) + " not found");
    }
    return image;
}

std::string GlyphStripName(std::string_view controlName) {
    return "glyphs/" + std::string(controlName);
}

}  // namespace pulsedesk::display
