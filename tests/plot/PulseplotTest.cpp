// Drawing: judged points keep their colour, nothing is drawn outside a chart's frame, and the
// program writes its files whole or not at all.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <filesystem>

#include "journal/ChartJson.h"
#include "plot/ChartPainter.h"
#include "plot/Picture.h"
#include "support/QtTestApp.h"
#include "support/SimProcess.h"

namespace pulsedesk::plot {
namespace {

using testing::TempDir;

Chart ControlChart(Flag flag) {
    Chart c;
    c.title = "Background, threshold 150.0 mV";
    c.x = {AxisKind::Time, "Date", "", false, false};
    c.y = {AxisKind::Number, "Rate", "1/s", false, false};
    Series s{"rate", false, {}};
    for (int day = 0; day < 12; ++day)
        s.points.push_back({1.7e9 + day * 86400.0, 0.5 + 0.01 * (day % 3), 0.02, Flag::None});
    s.points[7].flag = flag;
    c.series = {s};
    c.levels = {{0.51, LineKind::Mean, "mean 0.51", false}};
    return c;
}

int PixelsNear(const QImage& image, QColor colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            n += std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
                     std::abs(c.blue() - colour.blue()) <
                 30;
        }
    return n;
}

TEST(Picture, JudgedPointsStandOutInTheirOwnColour) {
    testing::EnsureQtApp();
    const QColor warning(0xe6, 0x9f, 0x00), action(0xd5, 0x5e, 0x00);
    const struct {
        Flag flag;
        bool warningSeen, actionSeen;
    } cases[] = {
        {Flag::None, false, false}, {Flag::Warning, true, false}, {Flag::Action, false, true}};
    for (const auto& c : cases) {
        const QImage image = PngPicture({ControlChart(c.flag)}, 100);
        EXPECT_EQ(image.width(), 709);  // 180 mm at 100 dpi
        EXPECT_EQ(PixelsNear(image, warning) > 10, c.warningSeen) << static_cast<int>(c.flag);
        EXPECT_EQ(PixelsNear(image, action) > 10, c.actionSeen) << static_cast<int>(c.flag);
    }
    Chart excluded = ControlChart(Flag::None);
    const auto legendNamesExclusion = [&excluded] {
        return SvgPicture({excluded}).contains("excluded (reason in the journal)");
    };
    EXPECT_FALSE(legendNamesExclusion());
    excluded.series[0].points[3].hollow = true;
    EXPECT_TRUE(legendNamesExclusion());
}

// Long labels, coinciding limits and a crowded legend still stay inside the chart's frame.
TEST(Picture, EverythingStaysInsideTheFrame) {
    testing::EnsureQtApp();
    Chart c = ControlChart(Flag::Action);
    c.title = std::string(200, 'W');
    c.note = std::string(300, 'n');
    c.levels = {{0, LineKind::Action, "−3σ 0.000 (clipped at 0, provisional)", true},
                {0, LineKind::Warning, "−2σ 0.000 (clipped at 0, provisional)", true},
                {0.9, LineKind::Action, "+3σ 0.900 (provisional)", true}};
    for (int i = 0; i < 6; ++i)
        c.markers.push_back({1.7e9 + i * 86400.0, "marker with a long label " + std::to_string(i)});
    c.bands = {{1.7e9, 1.7e9 + 86400, std::string(120, 'b')}};
    const int margin = 40;
    QImage image(static_cast<int>(kChartSize.width()) + 2 * margin,
                 static_cast<int>(kChartSize.height()) + 2 * margin, QImage::Format_RGB32);
    image.fill(Qt::white);
    image.setDotsPerMeterX(2835);  // 72 dpi: one pixel per point
    image.setDotsPerMeterY(2835);
    {
        QPainter painter(&image);
        PaintChart(painter, c, QRectF(QPointF(margin, margin), kChartSize));
    }
    const QRect frame = QRectF(QPointF(margin, margin), kChartSize).toAlignedRect();
    int outside = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            outside += !frame.contains(x, y) && image.pixel(x, y) != qRgb(255, 255, 255);
    EXPECT_EQ(outside, 0);
    if (outside > 0)
        image.save(QString::fromStdString(std::filesystem::temp_directory_path() /
                                          "pulsedesk-outside.png"));
}

struct PulseplotRun {
    const char* what;
    std::string input;
    std::vector<std::string> args;  // "@" stands for the temporary folder
    int exitCode;
    std::string message;
    std::vector<std::string> files;  // written into the folder
};

TEST(Pulseplot, WritesWholeFilesOrReportsWhyNot) {
    const std::string good =
        journal::ChartsJson({ControlChart(Flag::Warning), ControlChart(Flag::None)});
    const std::vector<PulseplotRun> runs = {
        {"svg", good, {"--out", "@/c.svg"}, 0, "", {"c.svg"}},
        {"png", good, {"--out", "@/c.PNG"}, 0, "", {"c.PNG"}},
        {"one file per chart", good, {"--each", "@"}, 0, "", {"1.svg", "2.svg"}},
        {"bad description",
         R"({"charts":[{"x":{},"y":{},"sries":[]}]})",
         {"--out", "@/c.svg"},
         2,
         "chart description: charts[0]: unknown key \"sries\"",
         {}},
        {"no folder", good, {"--out", "@/missing/c.svg"}, 1, "@/missing/c.svg", {}},
        {"not a picture name", good, {"--out", "@/c.pdf"}, 1, "must end in .svg or .png", {}},
        {"each without folder", good, {"--each", "@/missing"}, 1, "no such folder", {}},
        {"no output", good, {}, 2, "give either --out or --each", {}},
    };
    for (const PulseplotRun& run : runs) {
        TempDir dir;
        const std::string input = dir.Write("in.json", run.input);
        const auto place = [&dir](std::string s) {
            for (std::size_t at; (at = s.find('@')) != std::string::npos;)
                s.replace(at, 1, dir.Path());
            return s;
        };
        std::vector<std::string> args{"-c", "exec \"$0\" \"$@\" < " + input,
                                      testing::BinDir() + "/pulseplot"};
        for (const std::string& a : run.args) args.push_back(place(a));
        const auto result = testing::RunProgram("/bin/sh", args, std::chrono::seconds(30));
        EXPECT_EQ(result.exitCode, run.exitCode) << run.what << ": " << result.err;
        EXPECT_NE(result.err.find(place(run.message)), std::string::npos)
            << run.what << ": " << result.err;
        std::vector<std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(dir.Path()))
            if (entry.path().filename() != "in.json") files.push_back(entry.path().filename());
        std::sort(files.begin(), files.end());
        EXPECT_EQ(files, run.files) << run.what;
        for (const std::string& f : files) {
            const std::string bytes = testing::ReadBytes(dir.File(f));
            EXPECT_TRUE(bytes.starts_with(f.ends_with(".svg") ? "<?xml" : "\x89PNG")) << run.what;
        }
    }
}

}  // namespace
}  // namespace pulsedesk::plot
