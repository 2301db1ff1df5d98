// pulsectl end to end: the real program against pulsesim on a pseudo-terminal, which records
// every frame it receives, and through muxserver.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

#include "config/Cp1251.h"
#include "reports/ReportStore.h"
#include "fileio/TextLines.h"
#include "support/WireFrames.h"
#include "support/TempDir.h"
#include "support/SimProcess.h"
#include "support/Wait.h"

namespace pulsedesk::ctl {
namespace {

using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::ProgramResult;
using testing::RunProgram;
using testing::SimProcess;
using testing::TempDir;
using testing::WaitUntil;
using Lines = std::vector<std::string>;

Lines SplitOn(const std::string& text, char separator = '\n') {
    Lines lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line, separator);) lines.push_back(line);
    return lines;
}

QJsonObject ParseJson(const std::string& text) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    return doc.object();
}

// A fresh simulated counter that records what it receives.
struct CtlTest : ::testing::Test {
    TempDir dir;
    std::string port = dir.File("counter");
    std::string record = dir.File("frames");
    std::unique_ptr<SimProcess> sim = StartSim();

    std::unique_ptr<SimProcess> StartSim(std::vector<std::string> extra = {}) {
        std::vector<std::string> args{"--link", port, "--record", record, "--rate", "200"};
        args.insert(args.end(), extra.begin(), extra.end());
        return std::make_unique<SimProcess>(args);
    }
    ProgramResult Ctl(std::vector<std::string> args, std::chrono::milliseconds limit = 20s) {
        args.insert(args.begin(), {"--port", port});
        return RunProgram("pulsectl", args, limit);
    }
    // The frames received besides the polls' two status requests.
    Lines Commands() const {
        Lines commands;
        for (const std::string& frame : SplitOn(testing::ReadBytes(record)))
            if (frame != "01 28" && frame != "01 31") commands.push_back(frame);
        return commands;
    }
    std::string Work() const { return dir.File("work"); }
    std::vector<std::string> ReportLines() const {
        for (const auto& year : std::filesystem::directory_iterator(Work())) {
            if (!year.is_directory()) continue;
            for (const auto& file : std::filesystem::directory_iterator(year.path()))
                if (file.path().extension() == ".rep")
                    return fileio::SplitLines(testing::ReadBytes(file.path()));
        }
        return {};
    }
    static Lines MeasurementLines(const Lines& report) {
        Lines found;
        for (const auto& line : report)
            if (line.rfind("          /", 0) == 0) found.push_back(line);
        return found;
    }
};

TEST_F(CtlTest, EachCommandSendsExactlyThePanelsFrame) {
    using testing::wire::Hex;
    namespace wire = testing::wire;
    struct Case {
        Lines args;
        Lines frames;
    };
    const std::vector<Case> cases{
        {{"start"}, {Hex(wire::kStart)}},
        {{"stop"}, {Hex(wire::kStop)}},
        {{"clear"}, {Hex(wire::kClearFinished)}},
        {{"defaults"}, {Hex(wire::kRestoreDefaults)}},
        {{"mode", "3"}, {Hex(wire::Mode(3))}},
        {{"mode", "0"}, {}},  // the device is in mode 0 already
        {{"count-time", "1:02:03"}, {"04 02 01 02 03"}},
        {{"count-time", "0:01:40"}, {"04 02 00 01 28"}},  // sent even when unchanged
        {{"count-limit", "1000000"}, {"04 04 0F 42 40"}},
        {{"count-limit", "1000"}, {}},  // the device has it already
        {{"threshold", "-4600"}, {Hex(wire::kThresholdMin)}},
        {{"threshold", "0"}, {"03 42 08 00"}},
        {{"threshold", "4600"}, {Hex(wire::kThresholdMax)}},
        {{"threshold", "-350"}, {"03 42 07 74"}},
        {{"step", "count-time", "up"}, {Hex(wire::kStepCountTimeUp)}},
        {{"step", "count-limit", "down"}, {Hex(wire::kStepCountLimitDown)}},
        {{"step", "threshold", "up"}, {Hex(wire::kStepThresholdUp)}},
        {{"step", "threshold", "down"}, {Hex(wire::kStepThresholdDown)}},
        {{"sound", "signal", "on"}, {"02 4A 01"}},
        {{"sound", "end", "off"}, {"02 4B 00"}},
        {{"identify"}, {"01 2E", "01 2F", "01 2D"}},
    };
    for (const Case& c : cases) {
        sim.reset();
        std::filesystem::remove(record);
        sim = StartSim();
        const ProgramResult r = Ctl(c.args);
        EXPECT_EQ(r.exitCode, 0) << c.args[0] << ": " << r.err;
        EXPECT_EQ(Commands(), c.frames) << c.args[0] << " " << (c.args.size() > 1 ? c.args[1] : "");
    }
}

TEST_F(CtlTest, ModeClearsAFinishedCountFirstAndFailsWhenRefused) {
    ASSERT_EQ(Ctl({"start"}).exitCode, 0);
    ProgramResult r = Ctl({"mode", "1"});  // refused while counting
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("refused mode 1 while it counts"), std::string::npos) << r.err;
    ASSERT_EQ(Ctl({"stop"}).exitCode, 0);
    std::filesystem::resize_file(record, 0);  // the simulator keeps appending to it
    r = Ctl({"mode", "1"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(Commands(), (Lines{"01 46", "02 43 01"}));
}

TEST_F(CtlTest, ValuesOutOfRangeSendNothingAndExitWithTwo) {
    const std::vector<Lines> refused{
        {"threshold", "4601"},
        {"threshold", "-4601"},
        {"threshold", "1e3"},
        {"count-limit", "16777216"},
        {"count-limit", "-1"},
        {"count-limit", "abc"},
        {"count-time", "100:00:00"},
        {"count-time", "1:60:00"},
        {"count-time", "1:00:60"},
        {"count-time", "-1:00:00"},
        {"count-time", "10"},
        {"mode", "4"},
        {"step", "threshold"},
        {"step", "volume", "up"},
        {"sound", "signal", "loud"},
        {"watch", "--interval", "0"},
        {"measure", "--mode", "2", "--time", "0:00:01"},
        {"measure", "--mode", "1", "--limit", "5"},
        {"measure", "--mode", "1", "--time", "0:00:01", "--limit", "5"},
        {"measure", "--mode", "3", "--limit", "5", "--time", "0:00:01"},
        {"measure", "--mode", "3", "--limit", "0"},
        {"measure", "--mode", "1", "--time", "0:00:00"},
        {"measure", "--mode", "1", "--time", "0:00:01", "--repeat", "0"},
        {"measure", "--mode", "1", "--time", "0:00:01", "--report-folder", "/tmp/x"},
        {"measure", "--mode", "1", "--time", "0:00:01", "--repeat", "2", "--repeat", "3"},
        {"watch", "--json", "--json"},
        {"frobnicate"},
    };
    for (const Lines& args : refused) {
        const ProgramResult r = Ctl(args);
        EXPECT_EQ(r.exitCode, 2) << args[0] << " " << args.back();
        // The help that describes the option, the program's own for an unknown command.
        const std::string help = args[0] == "frobnicate" ? "" : args[0] + " ";
        EXPECT_NE(r.err.find("(see pulsectl " + help + "--help)"), std::string::npos) << r.err;
    }
    const ProgramResult typo = Ctl({"stauts"});
    EXPECT_NE(typo.err.find("unknown command stauts (did you mean status?)"), std::string::npos)
        << typo.err;
    const ProgramResult noTime = Ctl({"measure", "--mode", "1"});
    EXPECT_NE(noTime.err.find("--time is missing"), std::string::npos) << noTime.err;
    for (const Lines& zero : {Lines{"measure", "--mode", "1", "--time", "00:00:00"},
                              Lines{"qa", "background", "--time", "00:00:00"}}) {
        const ProgramResult r = Ctl(zero);
        EXPECT_NE(r.err.find("--time 00:00:00: a count time above 0 is needed"), std::string::npos)
            << r.err;
    }
    const ProgramResult badMux = RunProgram("pulsectl", {"--mux", "tcp:localhost", "status"});
    EXPECT_EQ(badMux.exitCode, 2) << badMux.err;
    EXPECT_EQ(testing::ReadBytes(record), "") << "not even a poll may go out";
}

TEST_F(CtlTest, EveryCommandHasItsHelp) {
    for (const char* command :
         {"status", "identify", "mode", "start", "stop", "clear", "count-time", "count-limit",
          "threshold", "step", "sound", "defaults", "watch", "measure"}) {
        const ProgramResult r = RunProgram("pulsectl", {command, "--help"});
        EXPECT_EQ(r.exitCode, 0) << command;
        EXPECT_EQ(r.out.rfind(std::string("Usage: pulsectl ") + command, 0), 0u) << r.out;
    }
    const ProgramResult version = RunProgram("pulsectl", {"--version"});
    EXPECT_EQ(version.out, "pulsectl " PULSEDESK_VERSION "\n");
    EXPECT_EQ(testing::ReadBytes(record), "");
    // Output lost to a full disk is a failure, said so.
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    const std::string err = dir.File("err.txt");
    const pid_t help = testing::SpawnChild(testing::BinDir() + "/pulsectl", {"--help"}, -1, full, err);
    ::close(full);
    EXPECT_EQ(testing::WaitForExit(help, 5s), 1);
    EXPECT_NE(testing::ReadBytes(err).find("the output could not be written"), std::string::npos);
}

TEST_F(CtlTest, StatusJsonParsesBackToTheDevicesState) {
    ASSERT_EQ(Ctl({"threshold", "-350"}).exitCode, 0);
    sim->Send("error 5");
    ASSERT_EQ(sim->ReadLine(), "error 5");
    const ProgramResult r = Ctl({"status", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    ASSERT_EQ(SplitOn(r.out).size(), 1u) << r.out;
    const QJsonObject s = ParseJson(r.out);
    EXPECT_EQ(s["state"].toString(), "error");
    EXPECT_EQ(s["mode"].toInt(), 0);
    EXPECT_EQ(s["count"].toInt(), 0);
    EXPECT_EQ(s["count_limit"].toInt(), 1000);
    EXPECT_EQ(s["count_time"].toString(), "00:01:40");
    EXPECT_EQ(s["elapsed"].toString(), "00:00:00.00");
    EXPECT_EQ(s["threshold_mv"].toInt(), -350);
    EXPECT_EQ(s["error"].toInt(), 5);
}

TEST_F(CtlTest, StatusNamesEveryFlagBesideTheState) {
    ASSERT_EQ(Ctl({"measure", "--mode", "1", "--time", "0:00:01"}).exitCode, 0);
    sim->Send("blocked on");
    ASSERT_EQ(sim->ReadLine(), "blocked on");
    const QJsonObject s = ParseJson(Ctl({"status", "--json"}).out);
    EXPECT_EQ(s["state"].toString(), "finished");
    EXPECT_EQ(s["flags"].toArray(), (QJsonArray{"finished", "blocked"}));
    const std::string text = Ctl({"status"}).out;
    EXPECT_NE(text.find("state        finished\nflags        finished blocked\n"), std::string::npos)
        << text;
}

// pulsectl copied beside a settings and a message file of the test's own.
TEST_F(CtlTest, WithoutAPortTheSettingsFileDecidesAndErrorsHaveTheirText) {
    TempDir bin;
    std::filesystem::copy_file(testing::BinDir() + "/pulsectl", bin.File("pulsectl"));
    std::ofstream(bin.File("pulsedesk.cfg"))
        << "[SYSTEM]\r\nTarlinkSupport=0\r\nCOM-Port=" << port << "\r\n";
    std::ofstream(bin.File("pulsedesk.msg"))
        << "[ERROR_MESSAGE]\r\nERR5=" << config::Utf8ToCp1251("НАПРЯЖЕНИЕ ВНЕ ДОПУСКА") << "\r\n";
    sim->Send("error 5");
    ASSERT_EQ(sim->ReadLine(), "error 5");
    const ProgramResult r = RunProgram(bin.File("pulsectl"), {"status", "--json"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ParseJson(r.out)["error_text"].toString().toStdString(), "НАПРЯЖЕНИЕ ВНЕ ДОПУСКА");

    const ProgramResult text = RunProgram(bin.File("pulsectl"), {"status"});
    EXPECT_NE(text.out.find("error text   НАПРЯЖЕНИЕ ВНЕ ДОПУСКА"), std::string::npos) << text.out;
}

TEST_F(CtlTest, NoAnswerOrNoPortIsALinkFailure) {
    sim->Send("noreply on");
    ASSERT_EQ(sim->ReadLine(), "noreply on");
    ProgramResult r = Ctl({"status"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "pulsectl: the counter does not answer\n");
    r = RunProgram("pulsectl", {"--port", dir.File("nothing"), "status"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot open the counter's port"), std::string::npos) << r.err;
    TempDir bin;  // settings that name no port: the key is named, not "/dev/"
    std::filesystem::copy_file(testing::BinDir() + "/pulsectl", bin.File("pulsectl"));
    std::ofstream(bin.File("pulsedesk.cfg")) << "[SYSTEM]\r\nCOM-Port=\r\n";
    r = RunProgram(bin.File("pulsectl"), {"status"});
    EXPECT_NE(r.err.find("COM-Port is empty in the settings file"), std::string::npos) << r.err;
}

TEST_F(CtlTest, MeasureRepeatGivesOneLinePerMeasurementAndAReportTheStoreContinues) {
    const std::string description = "Проба воды, 2 мл";
    const ProgramResult r =
        Ctl({"measure", "--mode", "1", "--time", "0:00:01", "--repeat", "3", "--threshold", "-350",
             "--report-folder", Work(), "--description", description});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const Lines printed = SplitOn(r.out);
    ASSERT_EQ(printed.size(), 3u) << r.out;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(printed[i].rfind(std::to_string(i + 1) + "/3 count=", 0), 0u) << printed[i];
        EXPECT_NE(printed[i].find("time=00:00:01.00 rate="), std::string::npos) << printed[i];
    }
    EXPECT_EQ(Commands(),
              (Lines{"01 2E", "01 2F", "01 2D", "03 42 07 74", "02 43 01", "04 02 00 00 01",
                     "02 41 00", "02 41 01", "02 41 01", "02 41 01"}));

    const Lines report = ReportLines();
    const auto record =
        std::find(report.begin(), report.end(), "<000001>  ;" + config::Utf8ToCp1251(description));
    EXPECT_NE(record, report.end());
    const Lines measured = MeasurementLines(report);
    ASSERT_EQ(measured.size(), 3u);
    EXPECT_EQ(measured[0].substr(0, 15), "          /A:  ");
    EXPECT_NE(measured[2].find("Ut=-0350mV  Tm=00-00-01.00  N="), std::string::npos) << measured[2];

    reports::DeviceInfo info;
    reports::ReportStore store(
        Work(), info, [](const std::string&) { return std::string(); }, reports::SystemLocalTime);
    EXPECT_EQ(store.LastRecordNumber(), 1u);
    store.AddRecord("next");
    EXPECT_EQ(store.LastRecordNumber(), 2u);
}

TEST_F(CtlTest, AHeldWorkFolderIsRefusedNamingTheHolderAndStaysUnchanged) {
    reports::DeviceInfo info;
    reports::ReportStore panel(
        Work(), info, [](const std::string&) { return std::string(); }, reports::SystemLocalTime);
    panel.AddRecord("the panel's study");
    panel.AddMeasurement(120, 5, {0, 1, 40, 0});
    const std::string before = testing::ReadBytes(panel.ReportPath());

    const ProgramResult r = Ctl({"measure", "--mode", "1", "--time", "0:00:01", "--report-folder",
                                 Work(), "--description", "second writer"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("\"" + Work() + "\""), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("(process " + std::to_string(getpid()) + ")"), std::string::npos) << r.err;
    EXPECT_EQ(testing::ReadBytes(panel.ReportPath()), before);
    EXPECT_EQ(Commands(), (Lines{"01 2E", "01 2F", "01 2D"})) << "only identification went out";
}

TEST_F(CtlTest, CtrlCStopsTheCountAndWritesNothingForTheUnfinishedMeasurement) {
    ChildProcess ctl("pulsectl", {"--port", port, "measure", "--mode", "1", "--time", "0:00:30",
                                  "--report-folder", Work(), "--description", "interrupted"});
    ASSERT_TRUE(WaitUntil([&] { return testing::ReadBytes(record).find("02 41 01") != std::string::npos; }));
    EXPECT_EQ(ctl.Signal(SIGINT), 130);
    const Lines commands = Commands();
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), "02 41 00");
    sim->Send("status");
    EXPECT_NE(sim->ReadLine().find("finished"), std::string::npos);
    EXPECT_FALSE(ReportLines().empty());
    EXPECT_TRUE(MeasurementLines(ReportLines()).empty());
}

// The report cannot take the second line (its file gave way to a folder, as a full disk would
// refuse it): pulsectl names the measurement with its count, so that it can be written by hand.
TEST_F(CtlTest, AMeasurementTheReportRefusesIsNamedWithItsCount) {
    ChildProcess ctl("pulsectl",
                     {"--port", port, "measure", "--mode", "1", "--time", "0:00:01", "--repeat",
                      "3", "--report-folder", Work(), "--description", "refused"},
                     dir.File("stderr"));
    ASSERT_TRUE(WaitUntil(
        [&] {
            return std::filesystem::exists(Work()) && MeasurementLines(ReportLines()).size() == 1;
        },
        10s));
    for (const auto& file : std::filesystem::recursive_directory_iterator(Work())) {
        if (file.path().extension() != ".rep") continue;
        std::filesystem::remove(file.path());
        std::filesystem::create_directory(file.path());
        break;
    }
    EXPECT_EQ(ctl.WaitExit(10s), 1);
    const std::string err = testing::ReadBytes(dir.File("stderr"));
    EXPECT_NE(err.find("pulsectl: measurement 2/3 count="), std::string::npos) << err;
    EXPECT_NE(err.find(" was not written: "), std::string::npos) << err;
}

TEST_F(CtlTest, ALostLinkEndsTheSeriesWithoutWritingTheUnfinishedMeasurement) {
    ChildProcess ctl("pulsectl",
                     {"--port", port, "measure", "--mode", "1", "--time", "0:00:30",
                      "--report-folder", Work(), "--description", "lost"},
                     dir.File("stderr"));
    // A poll after the start: pulsectl has read the start's acknowledgement and is measuring.
    ASSERT_TRUE(WaitUntil([&] {
        const std::string frames = testing::ReadBytes(record);
        const auto start = frames.find("02 41 01");
        return start != std::string::npos && frames.find("01 28", start) != std::string::npos;
    }));
    sim->Send("hangup 600000");
    EXPECT_EQ(ctl.WaitExit(10s), 1);
    EXPECT_NE(testing::ReadBytes(dir.File("stderr")).find("lost during measurement 1; it is not written"),
              std::string::npos)
        << testing::ReadBytes(dir.File("stderr"));
    EXPECT_TRUE(MeasurementLines(ReportLines()).empty());
}

TEST_F(CtlTest, WatchSaysWhenTheLinkIsLostAndGoesOnWhenItReturns) {
    ChildProcess ctl("pulsectl", {"--port", port, "watch", "--interval", "0.1"});
    const std::string header = ctl.ReadLine();
    EXPECT_EQ(header,
              "time,state,mode,count,count_limit,count_time,elapsed,threshold_mv,error,error_text");
    EXPECT_NE(ctl.ReadLine().find(",reset,0,0,1000,00:01:40,00:00:00.00,120,0,"),
              std::string::npos);
    sim->Send("hangup 700");
    std::string line;
    while (!(line = ctl.ReadLine()).empty() && line.find("link lost") == std::string::npos) {
    }
    EXPECT_NE(line.find(",link lost,,,,,,,,"), std::string::npos) << line;
    line = ctl.ReadLine(3s);
    EXPECT_NE(line.find(",reset,0,"), std::string::npos) << "the lines go on: " << line;
    EXPECT_EQ(ctl.Signal(SIGINT), 130);
}

TEST_F(CtlTest, WatchEndsQuietlyWhenItsReaderGoesAndFreesThePort) {
    const ProgramResult r = RunProgram(
        "/bin/bash", {"-c", testing::BinDir() + "/pulsectl --port " + port +
                                " watch --interval 0.05 | head -3; echo rc=${PIPESTATUS[0]}"},
        10s);
    const Lines lines = SplitOn(r.out);
    ASSERT_EQ(lines.size(), 4u) << r.out << r.err;
    EXPECT_EQ(lines[3], "rc=0");
    EXPECT_EQ(r.err, "");
    // "2026-12-07T14:05:09.042+01:00": ISO 8601 with milliseconds and the offset.
    const std::string stamp = lines[1].substr(0, lines[1].find(','));
    EXPECT_EQ(stamp.size(), 29u) << stamp;
    EXPECT_EQ(stamp.substr(10, 1) + stamp.substr(19, 1) + stamp.substr(26, 1), "T.:") << stamp;
    EXPECT_EQ(Ctl({"status"}).exitCode, 0) << "the port is free again";
}

TEST_F(CtlTest, WatchKeepsItsPeriodOnTheMonotonicClock) {
    // A poll takes two reply gaps (about 0.1 s): 8 periods of 0.25 s take 2.0 s on a schedule,
    // 2.8 s when each pause starts after the poll.
    ChildProcess ctl("pulsectl", {"--port", port, "watch", "--json", "--interval", "0.25"});
    ASSERT_FALSE(ctl.ReadLine().empty());
    const auto first = std::chrono::steady_clock::now();
    for (int i = 0; i < 8; ++i) ASSERT_FALSE(ctl.ReadLine().empty());
    EXPECT_LT(std::chrono::steady_clock::now() - first, 2400ms);
    EXPECT_EQ(ctl.Signal(SIGINT), 130);
}

TEST_F(CtlTest, WorksThroughTheSharedPortServer) {
    const std::string socket = dir.File("mux.sock");
    ChildProcess server("muxserver", {"--port", port, "--listen", "unix:" + socket});
    ASSERT_TRUE(WaitUntil([&] { return access(socket.c_str(), F_OK) == 0; }));
    const std::string mux = "unix:" + socket;
    ProgramResult r = RunProgram("pulsectl", {"--mux", mux, "threshold", "100"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    r = RunProgram("pulsectl", {"--mux", mux, "watch", "--json", "--interval", "0.05"}, 1s);
    EXPECT_EQ(r.exitCode, -1) << "watch runs until it is stopped";
    const Lines lines = SplitOn(r.out);
    ASSERT_GE(lines.size(), 2u) << r.out;
    EXPECT_EQ(ParseJson(lines[1])["threshold_mv"].toInt(), 100);
    EXPECT_EQ(Commands(), Lines{"03 42 08 28"});
    server.Stop();
    r = RunProgram("pulsectl", {"--mux", mux, "status"});
    EXPECT_EQ(r.exitCode, 1) << "no server: " << r.err;
    EXPECT_EQ(r.err.rfind("pulsectl: cannot reach muxserver at " + mux + ": ", 0), 0u) << r.err;
}

// muxserver between the counter and the programs, its log in the test's folder.
struct SharedCtlTest : CtlTest {
    std::string socket = dir.File("mux.sock");
    std::string mux = "unix:" + socket;
    std::string log = dir.File("mux.log");
    std::unique_ptr<ChildProcess> server = StartServer();

    std::unique_ptr<ChildProcess> StartServer() {
        auto s = std::make_unique<ChildProcess>(
            "muxserver", std::vector<std::string>{"--port", port, "--listen", mux}, log);
        EXPECT_TRUE(WaitUntil([&] { return access(socket.c_str(), F_OK) == 0; }));
        return s;
    }
    ProgramResult Shared(std::vector<std::string> args, std::chrono::milliseconds limit = 20s) {
        args.insert(args.begin(), {"--mux", mux});
        return RunProgram("pulsectl", args, limit);
    }
    // A 30 s measurement series, once its count has started.
    std::unique_ptr<ChildProcess> Series() {
        auto series = std::make_unique<ChildProcess>(
            "pulsectl",
            Lines{"--mux", mux, "measure", "--mode", "1", "--time", "0:00:30", "--report-folder",
                  Work(), "--description", "the series"},
            dir.File("series.err"));
        EXPECT_TRUE(WaitUntil([&] {
            const Lines sent = Commands();
            return !sent.empty() && sent.back() == "02 41 01";
        }));
        return series;
    }
};

// One series holds control: another script is refused with the holder named and sends nothing,
// status and watch go on, and a holder killed with SIGKILL frees control within 3 s.
TEST_F(SharedCtlTest, OneControllerAtATime) {
    auto series = Series();
    const std::string granted = testing::ReadBytes(log);
    const auto at = granted.find("control granted to ") + 19;
    const std::string holder = granted.substr(at, granted.find(", token ", at) - at) + ")";
    EXPECT_EQ(holder.rfind("pulsectl (process ", 0), 0u) << granted;
    for (const Lines& args : {Lines{"measure", "--mode", "3", "--limit", "50", "--report-folder",
                                    dir.File("work2"), "--description", "second"},
                              Lines{"qa", "background", "--time", "0:00:01", "--report-folder",
                                    dir.File("work2")},
                              Lines{"threshold", "100"}}) {
        const ProgramResult r = Shared(args);
        EXPECT_EQ(r.exitCode, 1) << args[0];
        EXPECT_EQ(r.err,
                  "pulsectl: the counter is controlled by " + holder + "; nothing was sent\n");
    }
    EXPECT_FALSE(std::filesystem::exists(dir.File("work2")));
    EXPECT_EQ(ParseJson(Shared({"status", "--json"}).out)["state"].toString(), "counting");
    EXPECT_GE(SplitOn(Shared({"watch", "--interval", "0.05"}, 1s).out).size(), 3u);
    const Lines seriesFrames{"01 2E",          "01 2F",    "01 2D",   "02 43 01",
                             "04 02 00 00 1E", "02 41 00", "02 41 01"};
    for (const std::string& frame : Commands())
        EXPECT_NE(std::find(seriesFrames.begin(), seriesFrames.end(), frame), seriesFrames.end())
            << frame << " came from a refused program";

    const auto killed = std::chrono::steady_clock::now();
    EXPECT_EQ(series->Signal(SIGKILL), 128 + SIGKILL);
    EXPECT_EQ(Shared({"threshold", "100"}).exitCode, 1) << "control outlives its holder a while";
    EXPECT_TRUE(WaitUntil([&] { return Shared({"threshold", "100"}).exitCode == 0; }, 5s, 50ms));
    EXPECT_LT(std::chrono::steady_clock::now() - killed, 3500ms);
    EXPECT_EQ(Commands().back(), "03 42 08 28");
}

// A restarted server has forgotten the grant: anyone may have changed the device meanwhile.
TEST_F(SharedCtlTest, AServerRestartDuringASeriesEndsItWithoutWritingTheMeasurement) {
    auto series = Series();
    server.reset();
    server = StartServer();
    EXPECT_EQ(series->WaitExit(10s), 1);
    EXPECT_EQ(testing::ReadBytes(dir.File("series.err")),
              "pulsectl: control of the counter lapsed during measurement 1; it is not written\n");
    EXPECT_TRUE(MeasurementLines(ReportLines()).empty());
}

TEST_F(CtlTest, TheDevicesOwnKeysStartAndStopACountWithoutAFrame) {
    for (const std::string state : {"counting", "finished"}) {
        sim->Send(state == "counting" ? "key start" : "key stop");
        sim->ReadLine();
        EXPECT_EQ(ParseJson(Ctl({"status", "--json"}).out)["state"].toString().toStdString(),
                  state);
    }
    EXPECT_TRUE(Commands().empty());
}

}  // namespace
}  // namespace pulsedesk::ctl
