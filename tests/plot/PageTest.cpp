// The printed page's pieces in pulsectl: pictures inlined without anything from outside the
// page, text that cannot become markup, and pulseplot run as a child that may fail.
#include <gtest/gtest.h>

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
    EXPECT_NE(html.find("&lt;script&gt;alert(1)&lt;/script&gt; &amp; &quot;x&quot;"), std::string::npos);
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

}  // namespace
}  // namespace pulsedesk::ctl
