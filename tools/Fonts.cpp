#include "tools/Fonts.h"

#include <QFontDatabase>
#include <QString>
#include <QStringList>
#include <stdexcept>

namespace pulsedesk::tools {
namespace {

constexpr const char* kFontFolder = "/usr/share/fonts/truetype/liberation/";

struct FaceFile {
    Face face;
    const char* file;
    bool bold;
};

constexpr FaceFile kFaceFiles[] = {
    {Face::NarrowBold, "LiberationSansNarrow-Bold.ttf", true},
    {Face::Narrow, "LiberationSansNarrow-Regular.ttf", false},
    {Face::SansBold, "LiberationSans-Bold.ttf", true},
    {Face::Sans, "LiberationSans-Regular.ttf", false},
};

QString& FamilyOf(Face face) {
    static QString families[std::size(kFaceFiles)];
    return families[static_cast<int>(face)];
}

}  // namespace

void LoadArtworkFonts() {
    for (const FaceFile& entry : kFaceFiles) {
        const QString path = QString::fromLatin1(kFontFolder) + QString::fromLatin1(entry.file);
        const int id = QFontDatabase::addApplicationFont(path);
        const QStringList families = QFontDatabase::applicationFontFamilies(id);
        if (id < 0 || families.isEmpty()) {
            throw std::runtime_error("cannot load font " + path.toStdString() +
                                     " (package fonts-liberation)");
        }
        FamilyOf(entry.face) = families.first();
    }
}

QFont ArtworkFont(Face face, int pixelSize) {
    QFont font(FamilyOf(face));
    font.setPixelSize(pixelSize);
    font.setBold(kFaceFiles[static_cast<int>(face)].bold);
    font.setHintingPreference(QFont::PreferNoHinting);
    font.setStyleStrategy(
        QFont::StyleStrategy(QFont::PreferAntialias | QFont::NoSubpixelAntialias));
    return font;
}

}  // namespace pulsedesk::tools
