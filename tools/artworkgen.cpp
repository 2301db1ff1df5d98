// artworkgen FOLDER: paints the panel's artwork into FOLDER (normally resources/).
#include <QGuiApplication>
#include <cstdio>
#include <exception>

#include "tools/ArtworkSet.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    QGuiApplication app(argc, argv);
    try {
        const auto files = pulsedesk::tools::RenderArtworkSet();
        pulsedesk::tools::WriteArtworkSet(files, QString::fromLocal8Bit(argv[1]));
        std::printf("%zu files written to %s\n", files.size(), argv[1]);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "artworkgen: %s\n", error.what());
        return 1;
    }
    return 0;
}
