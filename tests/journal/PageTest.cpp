// The printed page's pieces in pulsectl: pictures inlined without anything from outside the
// page, text that cannot become markup, and pulseplot run as a child that may fail.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QXmlStreamReader>
#include <filesystem>

#include "ctl/CommandLine.h"
#include "journal/HtmlPage.h"
#include "journal/PlotProcess.h"
#include "plot/Picture.h"
#include "reports/ReportFormat.h"
#include "support/QtTestApp.h"
#include "support/SimProcess.h"

namespace pulsedesk::ctl {
namespace {

using namespace pulsedesk::journal;

using testing::ReadBytes;

plot::Chart Small(const std::string& title, std::size_t points = 3) {
    plot::Chart c;
    c.title = title;
    c.series = {{"s", false, {}}};
    for (std::size_t i = 0; i < points; ++i)
        c.series[0].points.push_back({double(i), double(i * i), 0.5, plot::Flag::None});
    return c;
}

TEST(HtmlPage, InlinesPicturesInOrderWithNothingFromOutside) {
    testing::EnsureQtApp();
    HtmlPage page("QA <March>");
    page.Heading(2, "Record 2024:17");
    page.Lines({"<script>alert(1)</script> & \"x\"", "second line"});
    page.Figure();
    page.Table({{"a"}, {"b", true}}, {{"<b>", "1"}});
    page.Figure();
    const std::string html = page.Text({plot::SvgPicture({Small("first")}).toStdString(),
                                        plot::SvgPicture({Small("second")}).toStdString()});
    EXPECT_EQ(html.find("<script"), std::string::npos);
    EXPECT_EQ(html.find("<b>"), std::string::npos);
    EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt; &amp; &quot;x&quot;"),
              std::string::npos);
    EXPECT_EQ(html.find("<?xml"), std::string::npos);
    EXPECT_EQ(html.find("http"), std::string::npos) << "namespace or DTD addresses stay out";
    EXPECT_EQ(html.find("mm\""), std::string::npos) << "the figure scales by its viewBox";
    EXPECT_NE(html.find("<figure><svg viewBox=\"0 0 510.236 255.118\""), std::string::npos);
    const std::size_t first = html.find(">first</text>"), second = html.find(">second</text>");
    ASSERT_NE(first, std::string::npos);
    EXPECT_LT(first, second);
    EXPECT_LT(html.find("second line"), first);
    EXPECT_LT(html.find("<table>"), second);
    EXPECT_LT(first, html.find("<table>"));
}

const std::string kScript = "</title></svg><script>alert(1)</script>";
const std::string kImage = "<img/src=http://x>";

// What an XML reader finds in a document that could run or fetch anything, and the text of
// its elements in order; a document that is not well-formed XML fails the test.
struct XmlReading {
    std::vector<std::string> active;
    std::vector<std::string> texts;
    int svgs = 0;
};

XmlReading ReadXml(const std::string& document) {
    XmlReading found;
    QXmlStreamReader xml(QByteArray::fromStdString(document));
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isCharacters() && !xml.isWhitespace())
            found.texts.push_back(xml.text().toString().toStdString());
        if (!xml.isStartElement()) continue;
        const QString name = xml.name().toString().toLower();
        found.svgs += name == u"svg";
        for (const char* tag : {"script", "img", "image", "iframe", "object", "embed", "a", "link",
                                "use", "foreignobject"})
            if (name == QLatin1String(tag)) found.active.push_back("<" + name.toStdString() + ">");
        for (const QXmlStreamAttribute& a : xml.attributes()) {
            const QString key = a.qualifiedName().toString().toLower();
            const QString value = a.value().toString();
            if (key.startsWith(u"on") || key.endsWith(u"href") || key == u"src" ||
                value.contains(u"://") || value.startsWith(u"//"))
                found.active.push_back(key.toStdString() + "=" + value.toStdString());
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString() << " at line "
                                 << xml.lineNumber() << ", column " << xml.columnNumber();
    return found;
}

bool HasText(const XmlReading& r, const std::string& text) {
    return std::any_of(r.texts.begin(), r.texts.end(),
                       [&](const std::string& t) { return t.find(text) != std::string::npos; });
}

TEST(Picture, HostileTextStaysTextInEveryPlaceOfTheSvg) {
    testing::EnsureQtApp();
    plot::Chart c = Small(kScript + " & \"q\" 'a' \x01");
    c.note = kImage + " \x1B[31m";
    c.x.title = kScript;
    c.y.unit = "</text>";
    c.series[0].name = kImage;
    c.levels = {{1, plot::LineKind::Mean, kScript, false}};
    c.bands = {{0, 1, kImage}};
    c.markers = {{1, "]]><x/>"}};
    const XmlReading r = ReadXml(plot::SvgPicture({c}).toStdString());
    EXPECT_EQ(r.active, std::vector<std::string>{});
    EXPECT_EQ(r.texts.at(0).substr(0, kScript.size()), kScript) << "the title, as text";
    EXPECT_TRUE(HasText(r, kImage + " \uFFFD[31m")) << "the description";
    EXPECT_TRUE(HasText(r, "]]><x/>"));
}

// Hostile descriptions and marker names written into the journal, read back by pulsectl and
// drawn by pulseplot: the page and the pictures stay well-formed, scriptless and self-contained.
TEST(QaPage, HostileDescriptionsAndNamesBecomeTextOrProblems) {
    testing::EnsureQtApp();
    testing::TempDir dir;
    ::mkdir(dir.File("2026").c_str(), 0777);
    const reports::DeviceInfo device;
    reports::LocalTime now{2026, 3, 2, 9, 30, 0};
    auto lines = reports::HeaderLines(device, now, [](const std::string&) { return ""; });
    lines.insert(lines.end(), {"", "", reports::DateLine(now)});
    const std::vector<std::string> descriptions{
        "QC CHI2 " + kScript, "PLATEAU " + kImage, "QC SOURCE a&b\"'<x> A=1 REF=2026-03-01 HALF=10",
        "QC CHI2 ok\r\n" + kImage + " & \"quotes\" 'single' \x1B[31m", "PLATEAU Sr-90/Y-90"};
    std::uint32_t number = 0;
    for (const std::string& description : descriptions) {
        for (const std::string& line : reports::RecordBlock(++number, description))
            lines.push_back(line);
        for (int i = 0; i < 4; ++i)
            lines.push_back(reports::MeasurementLine(reports::NextLabel(std::string(1, '@' + i)),
                                                     now, 100 + 50 * i, 900 + 10 * i, {0, 0, 10, 0},
                                                     device));
    }
    testing::WriteBytes(dir.File("2026/03-26_000001-000005.rep"), reports::JoinLines(lines));
    const auto report = [&dir](std::vector<std::string> args) {
        args.insert(args.end(), {"--report-folder", dir.Path()});
        return testing::RunProgram("pulsectl", args, std::chrono::seconds(60));
    };
    // Every --out replaces a symbolic link under its name, never writes through it.
    const std::string victim = dir.Write("victim", "kept");
    ::mkdir(dir.File("page").c_str(), 0777);
    for (const char* out : {"page/qa-all.html", "s.svg", "s.PNG"})
        ASSERT_EQ(::symlink(victim.c_str(), dir.File(out).c_str()), 0);

    testing::ProgramResult r = report({"report", "html", "--out", dir.File("page")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* refused : {"03-26_000001-000005.rep:10: a QC marker whose name is not",
                                "03-26_000001-000005.rep:17: a QC marker whose name is not",
                                "03-26_000001-000005.rep:24: a QC marker whose name is not"})
        EXPECT_NE(r.err.find(refused), std::string::npos) << r.err;
    const XmlReading page = ReadXml(ReadBytes(dir.File("page/qa-all.html")));
    EXPECT_EQ(page.active, std::vector<std::string>{});
    EXPECT_EQ(page.svgs, 2) << "the series of QC CHI2 ok and the curve of PLATEAU Sr-90/Y-90";
    EXPECT_TRUE(HasText(page, "QC CHI2 " + kScript));
    EXPECT_TRUE(HasText(page, kImage + " & \"quotes\" 'single' \\x1B[31m"));
    EXPECT_TRUE(HasText(page, "a QC marker whose name is not"));

    r = report({"report", "plot", "series", "--record", "1", "--out", dir.File("s.svg")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    r = report({"report", "plot", "plateau", "--record", "5", "--out", dir.File("s.PNG")});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadBytes(victim), "kept");
    for (const char* out : {"page/qa-all.html", "s.svg", "s.PNG"})
        EXPECT_TRUE(
            std::filesystem::is_regular_file(std::filesystem::symlink_status(dir.File(out))))
            << out;
    EXPECT_EQ(ReadBytes(dir.File("s.PNG")).substr(1, 3), "PNG");
    const XmlReading svg = ReadXml(ReadBytes(dir.File("s.svg")));
    EXPECT_EQ(svg.active, std::vector<std::string>{});
    EXPECT_EQ(svg.texts.at(0), "Series, record 2026:1: QC CHI2 " + kScript);
}

TEST(PlotProcess, DrawsEachChartOrSaysWhyNot) {
    const std::string pulseplot = testing::BinDir() + "/pulseplot";
    const auto svgs = ChartSvgs({Small("one"), Small("two")}, pulseplot);
    ASSERT_EQ(svgs.size(), 2u);
    EXPECT_NE(svgs[1].find(">two</text>"), std::string::npos);

    // A failing program, fed more than a pipe holds: an error, never SIGPIPE ending pulsectl.
    const std::vector<plot::Chart> big(20, Small("big", 2000));
    const struct {
        std::string program, message;
    } failures[] = {{"/bin/false", "pulseplot failed (exit status 1)"},
                    {testing::BinDir() + "/no-such-pulseplot", "cannot run"}};
    for (const auto& f : failures) {
        try {
            WritePicture(big, "/tmp/never-written.svg", f.program);
            ADD_FAILURE() << f.program;
        } catch (const PlotError& e) {
            EXPECT_NE(std::string(e.what()).find(f.message), std::string::npos) << e.what();
        }
    }
}

// Every option of the picture commands where it belongs, and nothing read or drawn before the
// whole command line is sound.
TEST(PictureCommandLine, RefusesWhatCannotBeDrawn) {
    const struct {
        std::vector<std::string> args;
        std::string message;  // empty: accepted
    } cases[] = {
        {{"plot", "control", "source", "Sr90", "--from", "2024-03", "--baseline", "5", "--out",
          "a.PNG"},
         ""},
        {{"html", "--out", "d", "--from", "2024-01", "--to", "2024-03", "--sample-time", "0:10:00"},
         ""},
        {{"plot", "plateau", "--record", "2024:7", "--limit", "2.5", "--out", "p.svg"}, ""},
        {{"plot"}, "control, series or plateau is needed"},
        {{"plot", "control", "--out", "a.svg"}, "background or source NAME is needed"},
        {{"plot", "control", "source", "--out", "a.svg"}, "the source's NAME is needed"},
        {{"plot", "series", "--out", "a.svg"}, "--record [YYYY:]N is needed"},
        {{"plot", "series", "--record", "1:2", "--out", "a.svg"}, "want [YYYY:]N"},
        {{"plot", "series", "--record", "3", "--out", "a.pdf"}, "must end in .svg or .png"},
        {{"plot", "series", "--record", "3"}, "--out is needed"},
        {{"plot", "series", "--record", "3", "--from", "2024-03", "--out", "a.svg"},
         "unknown option --from"},
        {{"plot", "control", "background", "--record", "3", "--out", "a.svg"},
         "unknown option --record"},
        {{"html", "--out", "d", "--json"}, "unknown option --json"},
        {{"html", "--out", "d", "--from", "2024-05", "--to", "2024-03"}, "--to lies before --from"},
        {{"html", "--out", "d", "--from", "2024-13"}, "want YYYY-MM"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"report"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        try {
            const Invocation inv = ParseCommandLine(args);
            EXPECT_EQ(c.message, "") << "accepted: " << args[2];
            EXPECT_EQ(inv.journal.action, c.args[0]);
        } catch (const UsageError& e) {
            EXPECT_NE(c.message, "") << e.what();
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

}  // namespace
}  // namespace pulsedesk::ctl
