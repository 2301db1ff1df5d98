// The QA commands' command line, and the QA workflow end to end: pulsectl against pulsesim
// with a counting curve, on days set with faketime, read back with the report commands.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <sstream>

#include "ctl/CommandLine.h"
#include "ctl/QaCommands.h"
#include "reports/ReportFormat.h"
#include "reports/WorkFolderLock.h"
#include "support/SimProcess.h"

namespace pulsedesk::ctl {
namespace {

using namespace pulsedesk::journal;

using namespace std::chrono_literals;
using nlohmann::json;
using testing::ProgramResult;

TEST(QaCommandLineTest, RefusesWhatTheDeviceOrTheJournalCannotTake) {
    const std::vector<std::vector<std::string>> refused{
        {"plateau", "--from", "0", "--to", "100", "--step", "2", "--time", "0:00:01"},
        {"plateau", "--from", "1", "--to", "100", "--step", "2.5", "--time", "0:00:01"},
        {"plateau", "--from", "100", "--to", "0", "--step", "2.5", "--time", "0:00:01"},
        {"qa", "chi-square", "--repeat", "1", "--time", "0:00:01"},
        {"qa", "chi-square", "--repeat", "5"},
        {"qa", "background", "--time", "0:00:00"},
        {"qa", "source", "--name", "Sr90", "--activity", "10", "--ref", "2026-02-30", "--half-life",
         "10", "--time", "0:00:01"},
        {"qa", "source", "--name", std::string(50, 'x'), "--activity", "10", "--ref", "2026-02-03",
         "--half-life", "10", "--time", "0:00:01"},
        {"qa", "chi-square", "--repeat", "5", "--time", "0:00:01", "--name", "two words"},
        {"report", "stats"},
        {"report", "export", "--from", "2026-13"},
        {"report", "list", "--record", "1"},
        {"qa", "exclude", "--record", "3"},
        {"qa", "exclude", "--record", "3", "--reason", std::string(60, 'x')},
        {"qa", "exclude", "--record", "3", "--reason", "dropped", "--time", "0:00:01"},
        {"plateau", "--from", "0", "--to", "100", "--step", "25", "--time", "0:00:01", "--choose",
         "middle"},
        {"plateau", "--from", "0", "--to", "100", "--step", "25", "--time", "0:00:01", "--choose",
         "lowest", "--at", "50"},
    };
    for (const auto& args : refused) EXPECT_THROW(ParseCommandLine(args), UsageError) << args[1];
    const Invocation inv = ParseCommandLine({"qa", "source", "--name", "Sr90", "--activity", "2000",
                                             "--ref", "2026-03-02", "--half-life", "30",
                                             "--activity-u", "3", "--time", "0:00:02"});
    EXPECT_EQ(inv.journal.marker, "QC SOURCE Sr90 A=2000 REF=2026-03-02 HALF=30 U=3%");
}

// The certificate in the user's sources.cfg fills what the options leave out; options override.
TEST(QaCommandLineTest, ASourcesCertificateGivesWhatTheOptionsDoNot) {
    testing::TempDir dir;
    ::mkdir(dir.File("pulsedesk").c_str(), 0777);
    testing::WriteBytes(dir.File("pulsedesk/sources.cfg"),
                        "[Cs137]\r\nActivity_Bq=37000\r\nReference=2020-06-01 12:00\r\n"
                        "HalfLife=30.08 a\r\nU_percent=3\r\n[Co60]\r\nHalfLife=5.27 y\r\n");
    const char* earlier = std::getenv("XDG_CONFIG_HOME");
    const std::string kept = earlier != nullptr ? earlier : "";
    ::setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    const auto marker = [](std::vector<std::string> options) {
        options.insert(options.begin(), {"qa", "source", "--time", "0:00:01"});
        return ParseCommandLine(options).journal.marker;
    };
    EXPECT_EQ(marker({"--name", "Cs137"}),
              "QC SOURCE Cs137 A=37000 REF=2020-06-01T12:00 HALF=10986.72 U=1.5%");
    EXPECT_EQ(marker({"--name", "Cs137", "--activity", "1000", "--activity-u", "2"}),
              "QC SOURCE Cs137 A=1000 REF=2020-06-01T12:00 HALF=10986.72 U=2%");
    EXPECT_THROW(marker({"--name", "Co60"}), UsageError);   // "y" is no unit of ours
    EXPECT_THROW(marker({"--name", "Am241"}), UsageError);  // no section: --activity is needed
    earlier != nullptr ? ::setenv("XDG_CONFIG_HOME", kept.c_str(), 1)
                       : ::unsetenv("XDG_CONFIG_HOME");
}

TEST(QaCommandLineTest, ThresholdCodesBecomeMillivoltsTheDeviceCutsBackToThem) {
    // The device cuts mV * 4 / 10 toward 0: 102 mV would be code offset 40 (100 mV).
    for (const auto& [offset, mv] : std::vector<std::pair<int, int>>{
             {0, 0}, {40, 100}, {41, 103}, {-41, -103}, {1840, 4600}, {-1, -3}})
        EXPECT_EQ(MillivoltsForCode(offset), mv) << offset;
}

TEST(ReportCommandTest, DamagedLinesGoToStandardErrorAndMissingOnesFail) {
    testing::TempDir dir;
    ::mkdir(dir.File("2026").c_str(), 0777);
    const reports::DeviceInfo device;
    const reports::LocalTime now{2026, 3, 1, 9, 30, 0};
    auto lines = reports::HeaderLines(device, now, [](const std::string&) { return ""; });
    lines.insert(lines.end(), {"", "", reports::DateLine(now)});
    for (const std::string& line : reports::RecordBlock(1, "QC BACKGROUND")) lines.push_back(line);
    lines.push_back(reports::MeasurementLine("A", now, 120, 100, {0, 0, 10, 0}, device));
    lines.push_back("          /B:  09.31  Ut= 0120mV  garbled");
    for (const std::string& line : reports::RecordBlock(2, "=1+1\x1B[2J")) lines.push_back(line);
    lines.push_back(reports::MeasurementLine("A", now, -25, 100, {0, 0, 10, 0}, device));
    testing::WriteBytes(dir.File("2026/03-26_000001-000001.rep"), reports::JoinLines(lines));
    const auto report = [&dir](std::vector<std::string> args) {
        args.insert(args.end(), {"--report-folder", dir.Path()});
        return testing::RunProgram("pulsectl", args);
    };
    ProgramResult r = report({"report", "export"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3);
    // A formula is text in a spreadsheet; a negative threshold stays a number.
    EXPECT_NE(r.out.find(",2026,2,'=1+1\x1B[2J,A,-25,10.00,"), std::string::npos) << r.out;
    EXPECT_NE(r.err.find("2026/03-26_000001-000001.rep:13: not a measurement line"),
              std::string::npos)
        << r.err;
    testing::WriteBytes(dir.File("2026/\x1B]0;x\x07.rep"), "");
    r = report({"report", "list"});
    EXPECT_NE(r.err.find("2026/\\x1B]0;x\\x07.rep: not a report file name"), std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find('\x1B'), std::string::npos);
    EXPECT_NE(r.out.find("2026-03-01      1  =1+1\\x1B[2J\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x1B'), std::string::npos) << "no escape sequence reaches a terminal";
    r = report({"report", "stats", "--record", "3"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("no record 2026:3"), std::string::npos) << r.err;
    r = testing::RunProgram("pulsectl", {"report", "list", "--report-folder", dir.File("none")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("no report folder"), std::string::npos) << r.err;
    // An unreadable year is named and the rest listed; an unreadable work folder fails.
    ::symlink(dir.File("2025").c_str(), dir.File("2025").c_str());
    r = report({"report", "list"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.err.find("pulsectl: 2025: cannot read the folder"), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("2026:1 "), std::string::npos) << r.out;
    r = testing::RunProgram("pulsectl", {"report", "list", "--report-folder", dir.File("2025")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("Too many levels of symbolic links"), std::string::npos) << r.err;
}

constexpr double kBackground = 50;  // counts per second
constexpr double kActivity = 2000;  // Bq on the reference day
constexpr double kHalfLife = 30;    // days
constexpr double kEfficiency = 0.5;

class QaWorkflowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (::access("/usr/bin/faketime", X_OK) != 0) GTEST_SKIP() << "faketime is not installed";
        ::setenv("FAKETIME_DONT_FAKE_MONOTONIC", "1", 1);
        sim = std::make_unique<testing::SimProcess>(std::vector<std::string>{
            "--link", port, "--record", frames, "--rate", "50", "--plateau", "100:400"});
    }
    void Rate(double rate) {
        sim->Send("rate " + std::to_string(rate));
        ASSERT_EQ(sim->ReadLine().rfind("rate ", 0), 0u);
    }
    // pulsectl on the given day at 10:00, the clock running on from there.
    ProgramResult OnDay(const std::string& day, std::vector<std::string> args) {
        args.insert(args.begin(), {"-f", "@" + day + " 10:00:00", testing::BinDir() + "/pulsectl",
                                   "--port", port});
        return testing::RunProgram("/usr/bin/faketime", args, 60s);
    }
    std::vector<std::string> Qa(std::vector<std::string> args) {
        args.insert(args.end(), {"--threshold", "250", "--report-folder", work});
        return args;
    }
    json Report(std::vector<std::string> args) {
        args.insert(args.end(), {"--report-folder", work});
        const ProgramResult r = testing::RunProgram("pulsectl", args);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.err, "");  // no damaged line
        return args[1] == "export" ? json(r.out) : json::parse(r.out);
    }
    std::size_t Starts() const {
        const std::string bytes = testing::ReadBytes(frames);
        std::size_t n = 0;
        for (auto at = bytes.find("02 41 01"); at != std::string::npos;
             at = bytes.find("02 41 01", at + 1))
            ++n;
        return n;
    }

    testing::TempDir dir;
    std::string port = dir.File("counter");
    std::string frames = dir.File("frames");
    std::string work = dir.File("work");
    std::unique_ptr<testing::SimProcess> sim;
};

TEST_F(QaWorkflowTest, BackgroundSourceChiSquareAndPlateauReadBack) {
    const std::vector<std::pair<std::string, double>> days{
        {"2026-03-02", 0}, {"2026-03-12", 10}, {"2026-03-22", 20}};
    for (const auto& [day, sinceReference] : days) {
        SCOPED_TRACE(day);
        Rate(kBackground);
        ProgramResult r = OnDay(day, Qa({"qa", "background", "--time", "0:00:02"}));
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        const double activity = kActivity * std::exp2(-(sinceReference + 10.0 / 24) / kHalfLife);
        Rate(kBackground + kEfficiency * activity);
        r = OnDay(day, Qa({"qa", "source", "--name", "Sr90", "--activity", "2000", "--ref",
                           "2026-03-02", "--half-life", "30", "--time", "0:00:02"}));
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    }
    Rate(500);
    const ProgramResult chi =
        OnDay("2026-03-22",
              Qa({"qa", "chi-square", "--repeat", "4", "--time", "0:00:01", "--name", "check"}));
    Rate(16000);  // enough counts that |slope| + 2 u(slope) tells the 1 % slope from the limit
    const ProgramResult plateau =
        OnDay("2026-03-22", {"plateau", "--from", "75", "--to", "525", "--step", "75", "--time",
                             "0:00:01", "--name", "Am241", "--report-folder", work});
    ASSERT_EQ(plateau.exitCode, 0) << plateau.out << plateau.err;
    const auto chosen = plateau.out.find("working threshold ");
    ASSERT_NE(chosen, std::string::npos) << plateau.out;
    const double threshold = std::stod(plateau.out.substr(chosen + 18));
    EXPECT_GE(threshold, 100);  // where the simulator's flat region is
    EXPECT_LE(threshold, 400);
    const ProgramResult status =
        testing::RunProgram("pulsectl", {"--port", port, "status", "--json"});
    EXPECT_EQ(json::parse(status.out)["threshold_mv"], 120);  // each run restored the earlier one

    const std::string csv = Report({"report", "export", "--format", "csv"});
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 3 + 3 + 4 + 7)
        << csv;  // before exclude
    EXPECT_NE(csv.find("\r\n2026-03-12 10:00,2026,3,QC BACKGROUND,A,250,2.00,"), std::string::npos);

    const json background = Report({"report", "qc", "background", "--json"})["charts"];
    ASSERT_EQ(background.size(), 1u);
    EXPECT_EQ(background[0]["threshold_mv"], 250);
    EXPECT_TRUE(background[0]["limits"]["provisional"]);
    EXPECT_NEAR(background[0]["limits"]["mean"].get<double>(), kBackground,
                3 * std::sqrt(kBackground / 2 / 3));
    const json source = Report({"report", "qc", "source", "Sr90", "--json"})["charts"];
    ASSERT_EQ(source.size(), 1u);
    ASSERT_EQ(source[0]["points"].size(), 3u);
    for (const json& p : source[0]["points"]) {
        EXPECT_NEAR(p["value"].get<double>(), kEfficiency, 3 * p["u"].get<double>());
        EXPECT_EQ(p["efficiency_terms"]["background_from"].get<std::string>().rfind("record", 0),
                  0u);
    }
    for (const auto& [record, code] : {std::pair("99", 1), std::pair("1", 0)}) {
        const ProgramResult excluded = testing::RunProgram(
            "pulsectl", {"--port", port, "qa", "exclude", "--record", record, "--reason",
                         "door left open", "--report-folder", work});
        EXPECT_EQ(excluded.exitCode, code) << excluded.out << excluded.err;
    }
    const json after = Report({"report", "qc", "background", "--json"})["charts"][0]["points"];
    EXPECT_EQ(after[0]["status"], "excluded");
    EXPECT_EQ(after[0]["rule"], "door left open");
    const ProgramResult unknown = testing::RunProgram(
        "pulsectl", {"report", "qc", "source", "Co60", "--report-folder", work});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_NE(unknown.err.find("the sources there are: Sr90"), std::string::npos) << unknown.err;
    const json series = Report({"report", "stats", "--record", "7", "--json"})["series"];
    ASSERT_EQ(series.size(), 1u);
    const json stats = series[0]["stats"];
    EXPECT_EQ(stats["n"], 4);
    EXPECT_NEAR(stats["mean_rate_cps"].get<double>(), 500,
                3 * stats["mean_rate_se_cps"].get<double>());
    EXPECT_EQ(chi.exitCode, stats["chi_square_test"]["pass"].get<bool>() ? 0 : kQaRecount)
        << chi.out;
}

// Three days of QC, then two samples counted with their markers: each result's activity is the
// one the simulator's rate stands for, within three of its standard uncertainties.
TEST_F(QaWorkflowTest, SampleResultsMatchTheSimulatorsRates) {
    const std::vector<std::pair<std::string, double>> days{
        {"2026-03-02", 0}, {"2026-03-03", 1}, {"2026-03-04", 2}};
    for (const auto& [day, sinceReference] : days) {
        SCOPED_TRACE(day);
        Rate(kBackground);
        ProgramResult r = OnDay(day, Qa({"qa", "background", "--time", "0:00:03"}));
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
        Rate(kBackground +
             kEfficiency * kActivity * std::exp2(-(sinceReference + 10.0 / 24) / kHalfLife));
        r = OnDay(day,
                  Qa({"qa", "source", "--name", "Sr90", "--activity", "2000", "--ref", "2026-03-02",
                      "--half-life", "30", "--activity-u", "1.5", "--time", "0:00:02"}));
        EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
    }
    const struct {
        std::string marker;
        double concentration;  // Bq/kg or Bq/L
        double perCount;       // counts per decay and unit: eps m eta
    } samples[] = {{"SAMPLE soil-1 M=0.5 SRC=Sr90", 400, kEfficiency * 0.5},
                   {"SAMPLE water-2 V=0.25 Y=0.8:2", 900, kEfficiency * 0.25 * 0.8}};
    for (const auto& s : samples) {
        Rate(kBackground + s.concentration * s.perCount);
        const ProgramResult r =
            OnDay("2026-03-04", {"measure", "--mode", "1", "--time", "0:00:04", "--threshold",
                                 "250", "--report-folder", work, "--description", s.marker});
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    }
    const json rows = Report({"report", "results", "--json"});
    ASSERT_EQ(rows.size(), 2u) << rows;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const json& row = rows[i];
        ASSERT_TRUE(row["refused"].is_null()) << row;
        EXPECT_EQ(row["threshold_mv"], 250);
        EXPECT_EQ(row["source"], "Sr90");
        EXPECT_NEAR(row["activity"].get<double>(), samples[i].concentration,
                    3 * row["u"].get<double>())
            << row;
    }
    EXPECT_EQ(rows[1]["unit"], "Bq/L");
    // The baseline's own spread beyond counting is the sample background's too.
    const json limits = Report({"report", "qc", "background", "--json"})["charts"][0]["limits"];
    const double pooledSeconds = limits["pooled_time_s"];
    const double rate = limits["pooled_counts"].get<double>() / pooledSeconds;
    EXPECT_NEAR(rows[0]["background_u_cps"].get<double>(),
                std::hypot(std::sqrt(rate / pooledSeconds), limits["extra_sd"].get<double>()),
                1e-9);
    const std::string record = rows[0]["record"];
    const ProgramResult text = testing::RunProgram(
        "pulsectl", {"report", "result", "--record", record, "--report-folder", work});
    EXPECT_NE(text.out.find("soil-1, record " + record + " of 2026-03-04 at 250 mV"),
              std::string::npos)
        << text.out;
    EXPECT_NE(text.out.find(" Bq/kg (k = 2)\n"), std::string::npos) << text.out;
    const ProgramResult background = testing::RunProgram(
        "pulsectl", {"report", "result", "--record", "1", "--report-folder", work});
    EXPECT_EQ(background.exitCode, 1);
    EXPECT_NE(background.err.find("is no sample"), std::string::npos) << background.err;
}

TEST_F(QaWorkflowTest, HeldWorkFolderRefusesBeforeCountingAndCtrlCRestoresTheThreshold) {
    ::mkdir(work.c_str(), 0777);
    {
        reports::WorkFolderLock panel(work);
        const std::size_t before = Starts();
        const ProgramResult r = testing::RunProgram(
            "pulsectl",
            {"--port", port, "qa", "background", "--time", "0:00:01", "--report-folder", work});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find("in use by"), std::string::npos) << r.err;
        EXPECT_EQ(Starts(), before);
    }
    testing::ChildProcess sweep(
        "pulsectl", {"--port", port, "plateau", "--from", "0", "--to", "500", "--step", "100",
                     "--time", "0:00:01", "--report-folder", work});
    EXPECT_EQ(sweep.ReadLine(10s).rfind("1/6 ", 0), 0u);
    EXPECT_EQ(sweep.Signal(SIGINT, 10s), 130);
    const ProgramResult status =
        testing::RunProgram("pulsectl", {"--port", port, "status", "--json"});
    EXPECT_EQ(json::parse(status.out)["threshold_mv"], 120);
}

// The simulator's curve with two plateaus and a fall between: two runs, none across the fall,
// and the working threshold on a flat part. 400 counts a point, as 200/s for 2 s gives, in half
// the time.
TEST_F(QaWorkflowTest, TwoPlateausAreTwoRunsWithTheThresholdOnAFlatPart) {
    sim.reset();
    sim = std::make_unique<testing::SimProcess>(std::vector<std::string>{
        "--link", port, "--rate", "400", "--plateau", "100:900,1500:2500"});
    const ProgramResult r =
        testing::RunProgram("pulsectl",
                            {"--port", port, "plateau", "--from", "0", "--to", "3000", "--step",
                             "100", "--time", "0:00:01", "--report-folder", work},
                            110s);
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    std::vector<std::pair<double, double>> runs;
    std::istringstream lines(r.out);
    double threshold = -1;
    for (std::string line; std::getline(lines, line);) {
        double from = 0, to = 0;
        if (std::sscanf(line.c_str(), "  %lf .. %lf mV", &from, &to) == 2)
            runs.emplace_back(from, to);
        std::sscanf(line.c_str(), "working threshold %lf", &threshold);
    }
    const auto covered = [&](double from, double to) {
        return std::any_of(runs.begin(), runs.end(),
                           [&](const auto& run) { return run.first <= from && run.second >= to; });
    };
    EXPECT_TRUE(covered(300, 800)) << r.out;
    EXPECT_TRUE(covered(1700, 2200)) << r.out;
    for (const auto& [from, to] : runs)
        EXPECT_TRUE(to <= 1000 || from >= 1400) << from << " " << to;
    EXPECT_TRUE(covered(threshold, threshold)) << threshold;
}

}  // namespace
}  // namespace pulsedesk::ctl
