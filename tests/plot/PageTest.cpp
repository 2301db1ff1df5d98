// The printed page's pieces in pulsectl: pictures inlined without anything from outside the
// page, text that cannot become markup, and pulseplot run as a child that may fail.
#include <gtest/gtest.h>

#include "ctl/CommandLine.h"
#include "ctl/HtmlPage.h"
#include "ctl/PlotProcess.h"
#include "plot/Picture.h"
#include "support/QtTestApp.h"
#include "support/SimProcess.h"

namespace pulsedesk::ctl {
namespace {

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
