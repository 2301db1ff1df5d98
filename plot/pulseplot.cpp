// pulseplot: draws the charts described on standard input (see ChartReader.h) into a picture
// file, without a display. pulsectl's report commands run it; it is the one program of the
// command-line tools that links Qt.
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <cstdio>
#include <cstring>
#include <string>

#include "plot/ChartReader.h"
#include "plot/Picture.h"

using namespace pulsedesk::plot;

namespace {

const char kUsage[] =
    "usage: pulseplot --out FILE.svg|FILE.png [--dpi N] < charts.json\n"
    "       pulseplot --each DIR < charts.json\n"
    "Draws the charts described in JSON on standard input: into one picture (one chart under\n"
    "the other), or with --each into DIR/1.svg, DIR/2.svg, ... one per chart.\n";

struct Options {
    QString out, each;
    int dpi = 200;
};

[[noreturn]] void Usage(const std::string& problem) {
    std::fprintf(stderr, "pulseplot: %s\n%s", problem.c_str(), kUsage);
    std::exit(2);
}

Options Parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        }
        if (i + 1 >= argc) Usage("missing value after " + arg);
        const QString value = QString::fromLocal8Bit(argv[++i]);
        if (arg == "--out")
            o.out = value;
        else if (arg == "--each")
            o.each = value;
        else if (arg == "--dpi") {
            bool ok = false;
            o.dpi = value.toInt(&ok);
            if (!ok || o.dpi < 50 || o.dpi > 1200) Usage("--dpi takes 50 to 1200");
        } else
            Usage("unknown option " + arg);
    }
    if (o.out.isEmpty() == o.each.isEmpty()) Usage("give either --out or --each");
    return o;
}

// Qt's note that XDG_RUNTIME_DIR is unset says nothing to someone drawing a chart.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtWarningMsg && message.contains(QLatin1String("XDG_RUNTIME_DIR"))) return;
    std::fprintf(stderr, "pulseplot: %s\n", qPrintable(message));
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = Parse(argc, argv);
    // Never a window: the offscreen platform needs no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QuietMessages);
    QGuiApplication app(argc, argv);
    QFile input;
    if (!input.open(stdin, QIODevice::ReadOnly)) Usage("cannot read standard input");
    try {
        const std::vector<Chart> charts = ReadCharts(input.readAll());
        if (!options.out.isEmpty()) {
            WritePicture(charts, options.out, options.dpi);
            return 0;
        }
        if (!QDir(options.each).exists())
            throw PictureError(options.each.toStdString() + ": no such folder");
        for (std::size_t i = 0; i < charts.size(); ++i)
            WritePicture({charts[i]}, options.each + u'/' + QString::number(i + 1) + ".svg");
        return 0;
    } catch (const ChartError& e) {
        std::fprintf(stderr, "pulseplot: chart description: %s\n", e.what());
        return 2;
    } catch (const PictureError& e) {
        std::fprintf(stderr, "pulseplot: %s\n", e.what());
        return 1;
    }
}
