// The printed QA page end to end: a journal of two months written by the report store, pulsectl
// drawing each kind of chart and the March page, Chromium printing the page to PDF, and
// poppler's tools reading the PDF back. The PDF's pages and the pictures are kept in
// build/e2e-artifacts/qa-page for a person to look at.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <random>
#include <regex>

#include "fileio/TextLines.h"
#include "reports/ReportStore.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"

namespace pulsedesk {
namespace {

using testing::ProgramResult;
using testing::RunProgram;
using testing::TempDir;
using namespace std::chrono_literals;

// Two months of QC runs and a few studies, with Poisson counts from a fixed seed.
class JournalWriter {
  public:
    explicit JournalWriter(const std::string& folder)
        : store(
              folder, device,
              [](const std::string& key) { return key == "Device_Field" ? "Device:" : ""; },
              [this] { return now; }) {}

    void At(int month, int day, int hour, int minute = 0) {
        now = {2024, month, day, hour, minute, 0};
    }
    std::uint32_t Record(const std::string& description) {
        store.AddRecord(description);
        return store.LastRecordNumber();
    }
    void Count(std::int32_t mv, double rate, int seconds) {
        Line(mv, std::poisson_distribution<std::uint32_t>(rate * seconds)(random), seconds);
    }
    void Line(std::int32_t mv, std::uint32_t count, int seconds) {
        now.minute += seconds / 60 + 1;
        now.hour += now.minute / 60;
        now.minute %= 60;
        store.AddMeasurement(mv, count,
                             {static_cast<std::uint8_t>(seconds / 3600),
                              static_cast<std::uint8_t>(seconds / 60 % 60),
                              static_cast<std::uint8_t>(seconds % 60), 0});
    }

  private:
    reports::DeviceInfo device{.programVersion = 268,
                               .firmwareVersion = 15,
                               .modelName = "QEV-C2",
                               .serialNumber = 123,
                               .warningThreshold = 1000000,
                               .alarmThreshold = 2000000};
    reports::LocalTime now{2024, 2, 1, 8, 0, 0};
    std::mt19937 random{20240301};
    reports::ReportStore store;
};

// A discriminator curve with a flat run between about 200 and 550 mV.
double CurveRate(double mv) {
    return 900 / (1 + std::exp((mv - 120) / 15)) + 600 + 90 / (1 + std::exp((mv - 620) / 25)) -
           0.02 * mv;
}

// Daily background and check-source runs through February (the baseline), every third day in
// March with one point far beyond the action limit; four backgrounds at a second threshold
// (provisional limits); a chi-square series, a counting curve and a study; in time order, as a
// bench writes them. The numbers of the chi-square and counting-curve records.
std::pair<std::uint32_t, std::uint32_t> WriteJournal(const std::string& folder) {
    JournalWriter j(folder);
    const auto qcDay = [&j](int month, int day, double backgroundScale) {
        j.At(month, day, 8);
        j.Record("QC BACKGROUND");
        j.Count(150, 0.5 * backgroundScale, 600);
        j.At(month, day, 8, 30);
        j.Record("QC SOURCE Sr90 A=5000 REF=2024-01-01 HALF=10519");
        // The source decays as its marker says (a 0.3 % drift in two months, which its own
        // counting precision would see) and counts its expectation: the only point beyond the
        // action limit is the background's planted one, none of chance.
        const double days = (month == 2 ? 31 : 60) + day - 1 + 8.5 / 24;
        j.Line(150, std::lround((0.5 + 0.3 * 5000 * std::exp2(-days / 10519)) * 100), 100);
    };
    for (int day = 1; day <= 24; ++day) qcDay(2, day, 1.0);
    std::uint32_t chi2 = 0, plateau = 0;
    for (int day = 1; day <= 28; ++day) {
        if (day % 3 == 1) qcDay(3, day, day == 19 ? 1.5 : 1.0);
        if (day % 3 == 1 && day >= 4 && day <= 13) {
            j.At(3, day, 9);
            j.Record("QC BACKGROUND");
            j.Count(250, 0.3, 600);
        }
        if (day == 12) {
            j.At(3, day, 10);
            chi2 = j.Record("QC CHI2 Sr90");
            for (int i = 0; i < 20; ++i) j.Count(150, 1500, 60);
        }
        if (day == 13) {
            j.At(3, day, 11);
            plateau = j.Record("PLATEAU Sr90");
            for (int mv = 50; mv <= 1000; mv += 25) j.Count(mv, CurveRate(mv), 60);
        }
        if (day == 14) {
            j.At(3, day, 15);
            // "Проба 4" in Windows-1251, as the panel stores it.
            j.Record("Soil sample 4, dried <b> & \"sieved\"\r\n\xCF\xF0\xEE\xE1\xE0 4");
            for (int i = 0; i < 3; ++i) j.Count(150, 2.5, 300);
        }
    }
    return {chi2, plateau};
}

int Occurrences(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

bool Installed(const std::string& program) {
    return RunProgram("/bin/sh", {"-c", "command -v " + program}, 10s).exitCode == 0;
}

struct QaPageTest : ::testing::Test {
    TempDir dir;
    std::string work = dir.File("work");
    std::string artifacts = std::string(PULSEDESK_ARTIFACT_DIR) + "/qa-page/" +
                            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::uint32_t chi2Record = 0, plateauRecord = 0;

    void SetUp() override {
        std::tie(chi2Record, plateauRecord) = WriteJournal(work);
        std::filesystem::remove_all(artifacts);
        std::filesystem::create_directories(artifacts);
    }
    ProgramResult Report(std::vector<std::string> args) {
        args.insert(args.begin(), {"report"});
        args.insert(args.end(), {"--report-folder", work});
        return RunProgram("pulsectl", args, 60s);
    }
};

TEST_F(QaPageTest, EachKindOfChartIsDrawn) {
    const struct {
        std::vector<std::string> args;
        std::string file;
    } plots[] = {{{"control", "background"}, "background.svg"},
                 {{"control", "background"}, "background.png"},
                 {{"control", "source", "Sr90"}, "source-sr90.png"},
                 {{"series", "--record", "2024:" + std::to_string(chi2Record)}, "series.png"},
                 {{"plateau", "--record", std::to_string(plateauRecord)}, "plateau.png"}};
    for (const auto& p : plots) {
        std::vector<std::string> args{"plot"};
        args.insert(args.end(), p.args.begin(), p.args.end());
        args.insert(args.end(), {"--out", artifacts + "/" + p.file});
        const ProgramResult r = Report(args);
        EXPECT_EQ(r.exitCode, 0) << p.file << ": " << r.err;
        const std::string bytes = testing::ReadBytes(artifacts + "/" + p.file);
        EXPECT_TRUE(bytes.starts_with(p.file.ends_with(".svg") ? "<?xml" : "\x89PNG")) << p.file;
    }
    // Both background thresholds, one chart each.
    const std::string svg = testing::ReadBytes(artifacts + "/background.svg");
    EXPECT_EQ(Occurrences(svg, ">Background, threshold 150 mV</text>"), 1);
    EXPECT_EQ(Occurrences(svg, ">Background, threshold 250 mV</text>"), 1);
    const ProgramResult wrong =
        Report({"plot", "plateau", "--record", "2024:999", "--out", artifacts + "/x.png"});
    EXPECT_EQ(wrong.exitCode, 1) << wrong.err;
    EXPECT_FALSE(std::filesystem::exists(artifacts + "/x.png"));
}

TEST_F(QaPageTest, ThePagePrintsOnA4WithEveryChartWhole) {
    const std::string out = dir.File("page");
    const ProgramResult r = Report({"html", "--out", out, "--from", "2024-03", "--to", "2024-03"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string page = out + "/qa-2024-03.html";
    EXPECT_NE(r.out.find(page), std::string::npos) << r.out;
    const std::string html = testing::ReadBytes(page);
    std::filesystem::copy_file(page, artifacts + "/qa-2024-03.html");

    // Self-contained: nothing runs, nothing is fetched.
    for (const char* outside :
         {"<script", "http:", "https:", "src=", "href=", "url(", "@import", "<link"})
        EXPECT_EQ(html.find(outside), std::string::npos) << outside;
    EXPECT_NE(html.find("Soil sample 4, dried &lt;b&gt; &amp; &quot;sieved&quot;\nПроба 4"),
              std::string::npos);
    // Background at two thresholds, the source, the chi-square series, the counting curve.
    const int charts = Occurrences(html, "<figure>");
    EXPECT_EQ(charts, 5);
    EXPECT_EQ(Occurrences(html, "beyond the action limit"), 1);
    EXPECT_NE(html.find("<td>QEV-C2</td><td class=\"num\">0123</td><td>1.5</td>"
                        "<td>2024-03-01</td>"),
              std::string::npos)
        << "the instrument the headers name, with the period's first day of records";
    EXPECT_LT(html.find("Records</h2>"), html.find("<td>signature</td>"));

    if (!Installed("chromium"))
        GTEST_SKIP() << "chromium is not installed: the page was not printed";
    ASSERT_TRUE(Installed("pdfinfo") && Installed("pdftotext") && Installed("pdftoppm"))
        << "poppler-utils is missing";
    const std::string pdf = artifacts + "/qa-2024-03.pdf";
    const ProgramResult print =
        RunProgram("/usr/bin/timeout",
                   {"-k", "5", "120", "chromium", "--headless", "--no-sandbox", "--disable-gpu",
                    "--no-pdf-header-footer", "--user-data-dir=" + dir.File("chromium"),
                    "--print-to-pdf=" + pdf, "file://" + page},
                   130s);
    ASSERT_EQ(print.exitCode, 0) << print.err;

    const ProgramResult info = RunProgram("/usr/bin/pdfinfo", {pdf});
    std::smatch m;
    ASSERT_TRUE(std::regex_search(info.out, m, std::regex(R"(Pages:\s+(\d+))"))) << info.out;
    const int pages = std::stoi(m[1]);
    ASSERT_TRUE(
        std::regex_search(info.out, m, std::regex(R"(Page size:\s+([\d.]+) x ([\d.]+) pts)")));
    EXPECT_NEAR(std::stod(m[1]), 595.28, 1.0) << "A4 is 210 mm wide";
    EXPECT_NEAR(std::stod(m[2]), 841.89, 1.0) << "A4 is 297 mm high";
    // Two charts to a page at most, and the tables of some 27 records besides.
    EXPECT_GE(pages, 3);
    EXPECT_LE(pages, 14);

    // A chart cut across a page break would leave its title on one page and its x axis on the
    // next: on every page, titles and x-axis titles pair up.
    int titles = 0;
    for (int p = 1; p <= pages; ++p) {
        const ProgramResult text = RunProgram(
            "/usr/bin/pdftotext", {"-f", std::to_string(p), "-l", std::to_string(p), pdf, "-"});
        int pageTitles = 0, axes = 0;
        for (const std::string& line : fileio::SplitLines(text.out)) {
            pageTitles += std::regex_search(
                line, std::regex("^(Background, threshold|Efficiency, source|Series, "
                                 "record|Counting curve, record)"));
            axes += line == "End of count" || line == "Measurement" || line == "Threshold (mV)";
        }
        EXPECT_EQ(pageTitles, axes) << "page " << p << ":\n" << text.out;
        titles += pageTitles;
    }
    EXPECT_EQ(titles, charts);

    const ProgramResult png =
        RunProgram("/usr/bin/pdftoppm", {"-r", "60", "-png", pdf, artifacts + "/page"}, 60s);
    EXPECT_EQ(png.exitCode, 0) << png.err;
    int images = 0;
    for (const auto& f : std::filesystem::directory_iterator(artifacts))
        images += f.path().filename().string().starts_with("page-");
    EXPECT_EQ(images, pages);
}

}  // namespace
}  // namespace pulsedesk
