// build/bin/pulsedesk as the operator runs it: in an X server, against pulsesim on a
// pseudo-terminal, driven by clicks at the panel's coordinates.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "XSession.h"
#include "config/Cp1251.h"
#include "config/MessageFile.h"
#include "mux/wire.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"
#include "support/Wait.h"

namespace pulsedesk::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A bench folder: the program with its message and settings files, and the simulated counter.
class PanelE2ETest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { x = new XSession; }
    static void TearDownTestSuite() {
        delete x;
        x = nullptr;
    }
    void SetUp() override {
        fs::create_directories(ArtifactDir());
        fs::copy_file(BinDir() + "/pulsedesk", Program());
        fs::copy_file(BinDir() + "/pulsedesk.msg", dir.File("pulsedesk.msg"));
        WriteSettings("COM-Port=" + dir.File("counter"));
        fs::create_directory(dir.File("run"));
        chmod(dir.File("run").c_str(), 0700);
        setenv("XDG_RUNTIME_DIR", dir.File("run").c_str(), 1);
        setenv("PULSEDESK_TRACE", dir.File("trace.log").c_str(), 1);
        // The user's own settings and messages must not stand in for the bench folder's.
        setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
        setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1);
    }
    void TearDown() override {
        for (pid_t pid : started) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    std::string Program() const { return dir.File("pulsedesk"); }
    // The default settings, each given "Key=value" in place of that key's line.
    void WriteSettings(const std::string& portLine, const std::string& another = "COM-Port=") {
        std::ifstream in(BinDir() + "/pulsedesk.cfg", std::ios::binary);
        std::ofstream out(dir.File("pulsedesk.cfg"), std::ios::binary);
        const auto keyOf = [](const std::string& l) { return l.substr(0, l.find('=') + 1); };
        for (std::string line; std::getline(in, line);) {
            for (const std::string& given : {another, portLine})
                if (keyOf(line) == keyOf(given)) line = given + "\r";
            out << line << '\n';
        }
    }
    pid_t StartPanel(const std::string& stderrName = "stderr.txt") {
        const pid_t pid = SpawnChild(Program(), {}, -1, -1, dir.File(stderrName));
        started.push_back(pid);
        return pid;
    }
    // The exit code once the process has ended, -1 when it does not end in time.
    int ExitCodeOf(pid_t pid, std::chrono::milliseconds timeout = 10s) {
        int status = 0;
        const bool ended =
            WaitUntil([&] { return waitpid(pid, &status, WNOHANG) == pid; }, timeout);
        if (!ended) return -1;
        std::erase(started, pid);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    std::string FileText(const std::string& name) const { return ReadBytes(dir.File(name)); }
    // A study in mode 1, a series of three counts (2 s, or 5 s with one step fewer), started:
    // the operator's clicks.
    void StartSeriesOfThree(int countTimeSteps = 6);
    std::string ErrorText(int number) {
        config::MessageFile messages(Program());
        return config::Cp1251ToUtf8(messages.GetMessage(config::MessageKind::Error, number));
    }
    // The start-up error: its text on standard error, then the box, closed as the operator would.
    std::string StartupErrorAndExitCode(int& exitCode) {
        const pid_t pid = StartPanel();
        const unsigned long box = x->FindWindow("Cnt-QEV-C2");
        if (box != 0) x->Close(box);
        exitCode = ExitCodeOf(pid);
        return FileText("stderr.txt");
    }
    static std::string ArtifactDir() { return PULSEDESK_ARTIFACT_DIR; }
    static QRgb PixelAt(const QImage& shot, int x, int y) { return shot.pixel(x, y) & 0xFFFFFF; }

    static XSession* x;
    TempDir dir;
    std::vector<pid_t> started;
};

XSession* PanelE2ETest::x = nullptr;

TEST_F(PanelE2ETest, ASecondInstanceExitsAtOnceWithoutAWindow) {
    SimProcess sim({"--link", dir.File("counter")});
    const pid_t first = StartPanel();
    ASSERT_NE(x->FindWindow("QEV-C2"), 0u) << FileText("stderr.txt");
    const pid_t second = StartPanel("second.txt");
    EXPECT_EQ(ExitCodeOf(second, 5s), 1);
    EXPECT_EQ(FileText("second.txt"),
              "Another panel is running (process " + std::to_string(first) + "); this one ends.\n");
    EXPECT_EQ(Shell("xdotool search --onlyvisible --name '^QEV-C2$' | wc -l"), "1\n");
    EXPECT_EQ(kill(first, 0), 0) << "the first instance must keep running";
}

TEST_F(PanelE2ETest, MissingMessageFileNamesItAndExits) {
    fs::remove(dir.File("pulsedesk.msg"));
    int code = 0;
    const std::string err = StartupErrorAndExitCode(code);
    EXPECT_EQ(err, "File of Messages (" + dir.File("pulsedesk.msg") + ") not found!\n" +
                       "Looked for the message file in: " + dir.File("pulsedesk.msg") + " " +
                       dir.File("data/pulsedesk/pulsedesk.msg") +
                       " /usr/share/pulsedesk/pulsedesk.msg\n");
    EXPECT_EQ(code, 1);
}

TEST_F(PanelE2ETest, MissingSettingsFileShowsItsMessage) {
    fs::remove(dir.File("pulsedesk.cfg"));
    int code = 0;
    EXPECT_EQ(StartupErrorAndExitCode(code),
              ErrorText(1000) + "\nLooked for the settings file in: " + dir.File("pulsedesk.cfg") +
                  " " + dir.File("config/pulsedesk/pulsedesk.cfg") +
                  " /etc/pulsedesk/pulsedesk.cfg\n");
    EXPECT_EQ(code, 1);
}

TEST_F(PanelE2ETest, AnUnopenablePortShowsItsMessageAndTheReason) {
    WriteSettings("COM-Port=" + dir.File("no-such-port"));
    int code = 0;
    const std::string err = StartupErrorAndExitCode(code);
    EXPECT_EQ(err.rfind(ErrorText(1002) + "\n", 0), 0u) << err;
    EXPECT_NE(err.find(dir.File("no-such-port") + ": No such file or directory"), std::string::npos)
        << err;
    EXPECT_EQ(code, 1);
}

TEST_F(PanelE2ETest, SharedPortModeWithoutTheClientLibrarySaysSoOnce) {
    WriteSettings("COM-Port=" + dir.File("counter"), "TarlinkSupport=1");
    const pid_t panel = StartPanel();
    const unsigned long box = x->FindWindow("Cnt-QEV-C2");
    ASSERT_NE(box, 0u) << FileText("stderr.txt");
    x->Close(box);
    const auto failedPolls = [&] {
        const std::string trace = FileText("trace.log");
        return std::count(trace.begin(), trace.end(), '\n');
    };
    const auto seen = failedPolls();
    ASSERT_TRUE(WaitUntil([&] { return failedPolls() >= seen + 6; }, 10s));
    // Every box's text goes to standard error as well: one text is one box. (Whether the
    // closed box is gone from the screen by now depends on the machine's load.)
    const std::string err = FileText("stderr.txt");
    EXPECT_EQ(err.find("libmuxclient.so could not be loaded"),
              err.rfind("libmuxclient.so could not be loaded"));
    EXPECT_NE(err.find("Looked in " + dir.File("libmuxclient.so") + ", then on the system's"),
              std::string::npos)
        << err;
    EXPECT_EQ(kill(panel, 0), 0);
}

TEST_F(PanelE2ETest, UnpluggingGreysThePanelAndItRecoversByItself) {
    SimProcess sim({"--link", dir.File("counter"), "--rate", "300"});
    StartPanel();
    const unsigned long panel = x->FindWindow("QEV-C2");
    ASSERT_NE(panel, 0u) << FileText("stderr.txt");
    std::this_thread::sleep_for(500ms);  // the first statuses light the indicators
    const QImage running = x->Screenshot(ArtifactDir() + "/panel-running.png");
    EXPECT_EQ(PixelAt(running, 44, 256), 0x000000u);  // the counter lit on black
    sim.Send("hangup 2000");
    ASSERT_TRUE(WaitUntil([&] { return x->WindowTitle(panel) == "System is undefined"; }, 10s,
                          kLookInterval));
    ASSERT_TRUE(
        WaitUntil([&] { return PixelAt(x->Screenshot(dir.File("down.png")), 44, 256) == 0x505050; },
                  5s, kLookInterval));
    x->Screenshot(ArtifactDir() + "/panel-link-down.png");
    EXPECT_TRUE(WaitUntil([&] { return x->WindowTitle(panel) == "QEV-C2"; }, 10s, kLookInterval));
}

TEST_F(PanelE2ETest, ClosingWhileCountingStopsPollingAtOnceAndSendsNothing) {
    SimProcess sim({"--link", dir.File("counter"), "--rate", "300"});
    const pid_t pid = StartPanel();
    const unsigned long panel = x->FindWindow("QEV-C2");
    ASSERT_NE(panel, 0u) << FileText("stderr.txt");
    std::this_thread::sleep_for(500ms);  // the first statuses enable the study button
    x->Click(367 + 97, 48 + 13);         // НАЧАТЬ ИССЛЕДОВАНИЕ
    ASSERT_TRUE(
        WaitUntil([&] { return FileText("trace.log").find("> 02 41 00") != std::string::npos; }));
    std::this_thread::sleep_for(300ms);
    x->Click(454 + 25, 552 + 13);  // ПУСК
    ASSERT_TRUE(
        WaitUntil([&] { return FileText("trace.log").find("> 02 41 01") != std::string::npos; }));
    std::this_thread::sleep_for(300ms);
    const std::string beforeClose = FileText("trace.log");
    x->Close(panel);
    EXPECT_EQ(ExitCodeOf(pid, 3s), 0);
    const std::string afterClose = FileText("trace.log").substr(beforeClose.size());
    EXPECT_EQ(afterClose.find("> 02 41"), std::string::npos) << afterClose;
    EXPECT_LE(std::count(afterClose.begin(), afterClose.end(), '\n'), 2) << afterClose;
    std::string reports;
    for (const auto& entry : fs::recursive_directory_iterator(dir.Path()))
        if (entry.path().extension() == ".rep") reports += ReadBytes(entry.path());
    EXPECT_NE(reports.find("Date:"), std::string::npos);
    EXPECT_EQ(reports.find("N="), std::string::npos);
}

// Each step waits for its frame on the line, so a slow machine only makes the test slower.
bool Sent(const std::string& traceText, const std::string& frame, int times) {
    int n = 0;
    for (auto at = traceText.find("> " + frame + " <"); at != std::string::npos;
         at = traceText.find("> " + frame + " <", at + 1))
        ++n;
    return n >= times;
}

// The report of the work folder (the last .rep found) and its measurement lines.
std::string ReportIn(const std::string& folder) {
    std::string report;
    for (const auto& e : fs::recursive_directory_iterator(folder))
        if (e.path().extension() == ".rep") report = ReadBytes(e.path());
    return report;
}

// Milliseconds of every "start" frame (41 01) in the link's trace.
std::vector<long long> StartTimes(const std::string& trace) {
    std::vector<long long> times;
    std::istringstream lines(trace);
    for (std::string line; std::getline(lines, line);)
        if (line.find("> 02 41 01 <") != std::string::npos) times.push_back(std::stoll(line));
    return times;
}

std::vector<std::string> LinesWith(const std::string& text, const std::string& part) {
    std::vector<std::string> found;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (line.find(part) != std::string::npos) found.push_back(line);
    return found;
}

void PanelE2ETest::StartSeriesOfThree(int countTimeSteps) {
    const auto sent = [&](const std::string& frame, int times = 1) {
        return WaitUntil([&] { return Sent(FileText("trace.log"), frame, times); });
    };
    ASSERT_TRUE(sent("01 2E", 2));  // identified at start-up and at the first status
    std::this_thread::sleep_for(300ms);
    x->Click(135, 61);  // СОЗДАТЬ НОВУЮ ЗАПИСЬ
    std::this_thread::sleep_for(300ms);
    x->Click(300, 110);  // into the memo
    x->Type("Sample 7, filter B");
    std::this_thread::sleep_for(300ms);
    x->Click(464, 61);  // НАЧАТЬ ИССЛЕДОВАНИЕ: the stop action first
    ASSERT_TRUE(sent("02 41 00"));
    std::this_thread::sleep_for(300ms);
    x->Click(455, 201);  // mode 1: count time
    ASSERT_TRUE(sent("02 43 01"));
    std::this_thread::sleep_for(300ms);
    for (int i = 1; i <= countTimeSteps; ++i) {  // count time ◄ from 100 s to 2 s
        x->Click(421, 401);
        ASSERT_TRUE(sent("02 51 00", i));
    }
    std::this_thread::sleep_for(300ms);
    x->Click(479, 565);  // ПУСК
    ASSERT_TRUE(sent("02 41 01"));
}

TEST_F(PanelE2ETest, AStudyWithASeriesOfThreeWritesThreeLinesUnderItsRecord) {
    SimProcess sim({"--link", dir.File("counter"), "--rate", "400"});
    const pid_t pid = StartPanel();
    const unsigned long panel = x->FindWindow("QEV-C2");
    ASSERT_NE(panel, 0u) << FileText("stderr.txt");
    StartSeriesOfThree();
    if (HasFatalFailure()) return;
    std::this_thread::sleep_for(1000ms);
    x->Screenshot(ArtifactDir() + "/panel-series.png");

    std::string report;
    ASSERT_TRUE(WaitUntil(
        [&] {
            report.clear();
            for (const auto& e : fs::recursive_directory_iterator(dir.Path()))
                if (e.path().extension() == ".rep") report = ReadBytes(e.path());
            return LinesWith(report, "N=").size() >= 3;
        },
        30s));
    std::this_thread::sleep_for(1500ms);  // a fourth would have started by now
    const auto measurements = LinesWith(report, "N=");
    ASSERT_EQ(measurements.size(), 3u) << report;
    for (int i = 0; i < 3; ++i)
        EXPECT_NE(measurements[i].find(std::string("/") + char('A' + i) + ":"), std::string::npos);
    EXPECT_NE(measurements[0].find("Tm=00-00-02.00"), std::string::npos) << measurements[0];
    EXPECT_LT(report.find("Sample 7, filter B"), report.find(measurements[0]));
    const auto starts = StartTimes(FileText("trace.log"));
    ASSERT_EQ(starts.size(), 3u);
    for (int i = 1; i < 3; ++i) EXPECT_GE(starts[i] - starts[i - 1], 3000);  // 2 s + the pause
    sim.Send("status");
    const std::string status = sim.ReadLine();
    const std::string lastCount = measurements[2].substr(measurements[2].find("N=") + 2, 8);
    EXPECT_NE(status.find("count " + std::to_string(std::stoul(lastCount))), std::string::npos)
        << status << " / " << measurements[2];
    std::string backup;
    for (const auto& e : fs::recursive_directory_iterator(dir.Path()))
        if (e.path().extension() == ".bak") backup = ReadBytes(e.path());
    EXPECT_EQ(backup, report);

    x->Click(66, 565);  // settings, over the shadow
    const unsigned long settings = x->FindOtherWindowOf(pid, panel);
    ASSERT_NE(settings, 0u);
    std::this_thread::sleep_for(300ms);
    x->Screenshot(ArtifactDir() + "/settings-over-shadow.png");
    x->Close(settings);
}

// The device reports an error during the first count of a series and clears it after the count
// has ended: that count is not written, the operator is told why in the device's own words, and
// the series ends there.
TEST_F(PanelE2ETest, ACountDuringADeviceErrorIsNotWrittenAndSaysWhy) {
    SimProcess sim({"--link", dir.File("counter"), "--rate", "400", "--log-finished",
                    dir.File("finished.log")});
    StartPanel();
    ASSERT_NE(x->FindWindow("QEV-C2"), 0u) << FileText("stderr.txt");
    StartSeriesOfThree();
    if (HasFatalFailure()) return;
    std::this_thread::sleep_for(700ms);
    sim.Send("error 5");
    sim.ReadLine();
    ASSERT_TRUE(WaitUntil([&] { return !FileText("finished.log").empty(); }, 10s));
    std::this_thread::sleep_for(500ms);
    sim.Send("error 0");
    sim.ReadLine();
    const std::string told = "Измерение не записано в отчёт: во время счёта прибор сообщил об ошибке: ";
    ASSERT_TRUE(WaitUntil([&] { return FileText("stderr.txt").find(told) != std::string::npos; }));
    EXPECT_NE(FileText("stderr.txt").find(told + ErrorText(5) + "\n"), std::string::npos)
        << FileText("stderr.txt");
    EXPECT_NE(x->FindWindow("Cnt-QEV-C2"), 0u) << "the box";
    std::this_thread::sleep_for(3000ms);  // the next count of the series would have started
    EXPECT_EQ(StartTimes(FileText("trace.log")).size(), 1u) << "the series ends";
    EXPECT_EQ(LinesWith(ReportIn(dir.Path()), "N=").size(), 0u) << ReportIn(dir.Path());
    EXPECT_EQ(LinesWith(FileText("stderr.txt"), "Измерение не записано").size(), 1u);
}

// The shared-port server restarts during the panel's count, which ends while it is down: the
// panel gets control back from the new server, which has granted it to nobody since it
// started, so the count is written when the link returns and the series goes on.
TEST_F(PanelE2ETest, ACountEndingWhileTheSharedPortServerRestartsIsWrittenAndTheSeriesGoesOn) {
    WriteSettings("TarlinkSupport=1");
    fs::copy_file(BinDir() + "/libmuxclient.so", dir.File("libmuxclient.so"));
    const std::string mux = "unix:" + dir.File("mux.sock");
    SimProcess sim({"--link", dir.File("counter"), "--rate", "400", "--log-finished",
                    dir.File("finished.log")});
    const std::vector<std::string> serve{"--port", dir.File("counter"), "--listen", mux};
    auto server = std::make_unique<ChildProcess>("muxserver", serve, dir.File("mux.log"));
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(dir.File("mux.sock")); }));
    setenv("PULSEDESK_MUX", mux.c_str(), 1);
    StartPanel();
    unsetenv("PULSEDESK_MUX");
    ASSERT_NE(x->FindWindow("QEV-C2"), 0u) << FileText("stderr.txt");
    StartSeriesOfThree(5);  // counts of 5 s: the outage is shorter than a count
    if (HasFatalFailure()) return;
    std::this_thread::sleep_for(700ms);
    EXPECT_EQ(server->Signal(SIGTERM), 0);
    ASSERT_TRUE(WaitUntil([&] { return !FileText("finished.log").empty(); }, 10s));
    std::this_thread::sleep_for(500ms);
    server = std::make_unique<ChildProcess>("muxserver", serve, dir.File("mux2.log"));
    ASSERT_TRUE(WaitUntil([&] { return LinesWith(ReportIn(dir.Path()), "N=").size() >= 3; }, 40s))
        << ReportIn(dir.Path()) << FileText("stderr.txt");
    const std::string first = LinesWith(ReportIn(dir.Path()), "N=")[0];
    const std::string ended = LinesWith(FileText("finished.log"), "seq=1 ")[0];
    const auto fieldOf = [](const std::string& text, const std::string& key) {
        const auto at = text.find(key) + key.size();
        return std::stoul(text.substr(at, text.find_first_not_of("0123456789", at) - at));
    };
    EXPECT_EQ(fieldOf(first, "N="), fieldOf(ended, "count=")) << first << " / " << ended;
    EXPECT_EQ(FileText("stderr.txt").find("Измерение не записано"), std::string::npos)
        << FileText("stderr.txt");
}

// The changing frames among pulsesim's record of requests (one frame of hexadecimal bytes a line).
std::vector<std::string> ChangingFrames(const std::string& record) {
    std::vector<std::string> found;
    std::istringstream lines(record);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::uint8_t> frame;
        std::istringstream bytes(line);
        for (unsigned b = 0; bytes >> std::hex >> b;) frame.push_back(static_cast<std::uint8_t>(b));
        if (mux::IsChangingFrame(frame.data(), frame.size())) found.push_back(line);
    }
    return found;
}

// The panel and pulsectl on one counter through muxserver: while the panel's study holds
// control a script is refused and sends nothing, status and watch go on, and a count started at
// the device's own keys is the panel's; without a study the script's series runs and the panel
// neither writes nor repeats it; a hung or killed panel frees control within 3 s.
TEST_F(PanelE2ETest, OnASharedCounterOnlyTheHolderChangesTheDeviceAndWritesItsCounts) {
    WriteSettings("TarlinkSupport=1", "Repeat_Counter=1");
    fs::copy_file(BinDir() + "/libmuxclient.so", dir.File("libmuxclient.so"));
    const std::string mux = "unix:" + dir.File("mux.sock");
    SimProcess sim({"--link", dir.File("counter"), "--rate", "400", "--record", dir.File("rec")});
    ChildProcess server("muxserver", {"--port", dir.File("counter"), "--listen", mux},
                        dir.File("mux.log"));
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(dir.File("mux.sock")); }));
    setenv("PULSEDESK_MUX", mux.c_str(), 1);
    TempDir scripts;  // pulsectl's work folder
    const auto ctl = [&](std::vector<std::string> args, std::chrono::milliseconds limit = 20s) {
        args.insert(args.begin(), {"--mux", mux});
        return RunProgram("pulsectl", args, limit);
    };
    const auto measure = [&](const std::string& repeat) {
        return ctl({"measure", "--mode", "1", "--time", "0:00:01", "--repeat", repeat,
                    "--report-folder", scripts.Path(), "--description", "x"});
    };
    const auto panelLines = [&] { return LinesWith(ReportIn(dir.Path()), "N=").size(); };
    const auto logSays = [&](const std::string& what, std::size_t times = 1) {
        return WaitUntil([&] { return LinesWith(FileText("mux.log"), what).size() >= times; });
    };
    const pid_t pid = StartPanel();
    unsetenv("PULSEDESK_TRACE");  // pulsectl inherits the environment: the trace stays the panel's
    ASSERT_NE(x->FindWindow("QEV-C2"), 0u) << FileText("stderr.txt");
    const std::string panel = "pulsedesk (process " + std::to_string(pid) + ")";
    const std::string logged =
        "pulsedesk (process " + std::to_string(pid) + ", token ";  // in the log
    // The study button waits for a poll that shows the counter idle.
    const auto panelPolled = [&] {
        const std::string seen = FileText("trace.log");
        return WaitUntil(
            [&] { return Sent(FileText("trace.log").substr(seen.size()), "01 31", 2); });
    };
    ASSERT_EQ(ctl({"mode", "1"}).exitCode, 0);
    ASSERT_EQ(ctl({"count-time", "0:00:02"}).exitCode, 0);
    ASSERT_TRUE(panelPolled());
    x->Click(464, 61);  // НАЧАТЬ ИССЛЕДОВАНИЕ
    ASSERT_TRUE(logSays("control granted to " + logged)) << FileText("mux.log");
    ASSERT_TRUE(WaitUntil([&] {
        const auto frames = ChangingFrames(FileText("rec"));
        return !frames.empty() && frames.back() == "02 41 00";  // the study's stop
    }));

    const auto changed = ChangingFrames(FileText("rec")).size();
    ProgramResult r = measure("1");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.err, "pulsectl: the counter is controlled by " + panel + "; nothing was sent\n");
    EXPECT_EQ(ChangingFrames(FileText("rec")).size(), changed);
    EXPECT_EQ(ReportIn(scripts.Path()), "");

    sim.Send("key start");  // the device's own key, while the panel's study holds control
    sim.ReadLine();
    r = ctl({"status"});
    EXPECT_NE(r.out.find("counting"), std::string::npos) << r.out << r.err;
    r = ctl({"watch", "--interval", "0.1"}, 700ms);
    EXPECT_GE(LinesWith(r.out, ",counting,").size(), 2u) << r.out << r.err;
    ASSERT_TRUE(WaitUntil([&] { return panelLines() == 1; }, 10s)) << ReportIn(dir.Path());
    const std::string line = LinesWith(ReportIn(dir.Path()), "N=")[0];
    sim.Send("status");
    EXPECT_NE(sim.ReadLine().find("count " +
                                  std::to_string(std::stoul(line.substr(line.find("N=") + 2, 8)))),
              std::string::npos)
        << line;
    EXPECT_EQ(ChangingFrames(FileText("rec")).size(), changed) << "status and watch change nothing";

    x->Click(135, 61);  // СОЗДАТЬ НОВУЮ ЗАПИСЬ: control given back
    ASSERT_TRUE(logSays("control given back by " + logged)) << FileText("mux.log");
    r = measure("2");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(LinesWith(ReportIn(scripts.Path()), "N=").size(), 2u);

    ASSERT_TRUE(panelPolled());
    const std::string before = ReportIn(dir.Path());
    x->Click(464, 61);  // НАЧАТЬ ИССЛЕДОВАНИЕ again
    ASSERT_TRUE(logSays("control granted to " + logged, 2)) << FileText("mux.log");
    // The grant comes before the study's stop; the study is open once its record is written.
    ASSERT_TRUE(WaitUntil([&] { return ReportIn(dir.Path()) != before; }));
    const auto lapsesWithin3s = [&](int signal, std::size_t times) {
        const auto since = std::chrono::steady_clock::now();
        kill(pid, signal);
        return logSays("control of " + logged, times) &&
               std::chrono::steady_clock::now() - since < 3500ms;
    };
    // A hang past the lapse and a script's count meanwhile: the panel, back with its study open,
    // takes control again after the script but neither writes nor repeats that count.
    EXPECT_TRUE(lapsesWithin3s(SIGSTOP, 1));
    ChildProcess script("pulsectl", {"--mux", mux, "measure", "--mode", "1", "--time", "0:00:02",
                                     "--report-folder", scripts.Path(), "--description", "y"});
    EXPECT_TRUE(WaitUntil([&] { return LinesWith(FileText("rec"), "02 41 01").size() == 3; }));
    kill(pid, SIGCONT);
    EXPECT_EQ(script.WaitExit(10s), 0);
    EXPECT_TRUE(logSays("control granted to " + logged, 3)) << FileText("mux.log");
    EXPECT_TRUE(lapsesWithin3s(SIGKILL, 2));
    r = measure("1");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(LinesWith(ReportIn(scripts.Path()), "N=").size(), 4u);
    // Every start on the line was pulsectl's: the panel started, wrote and repeated none of them.
    EXPECT_EQ(LinesWith(FileText("rec"), "02 41 01").size(), 4u);
    EXPECT_FALSE(Sent(FileText("trace.log"), "02 41 01", 1));
    EXPECT_EQ(panelLines(), 1u) << ReportIn(dir.Path());
    unsetenv("PULSEDESK_MUX");
}

// Daily QA while the panel is open: with no study open the panel lets the work folder go, so a
// QC record of pulsectl goes into the panel's journal and the panel's next record follows it; an
// open study holds the folder, and pulsectl is refused naming the panel.
TEST_F(PanelE2ETest, DailyQaGoesIntoThePanelsJournalWhileNoStudyIsOpen) {
    WriteSettings("TarlinkSupport=1");
    fs::copy_file(BinDir() + "/libmuxclient.so", dir.File("libmuxclient.so"));
    const std::string mux = "unix:" + dir.File("mux.sock");
    SimProcess sim({"--link", dir.File("counter"), "--rate", "400"});
    ChildProcess server("muxserver", {"--port", dir.File("counter"), "--listen", mux},
                        dir.File("mux.log"));
    ASSERT_TRUE(WaitUntil([&] { return fs::exists(dir.File("mux.sock")); }));
    setenv("PULSEDESK_MUX", mux.c_str(), 1);
    const pid_t pid = StartPanel();
    unsetenv("PULSEDESK_MUX");
    unsetenv("PULSEDESK_TRACE");
    ASSERT_NE(x->FindWindow("QEV-C2"), 0u) << FileText("stderr.txt");
    ASSERT_TRUE(WaitUntil([&] { return !ReportIn(dir.Path()).empty(); }));  // its header
    const auto qa = [&] {
        return RunProgram("pulsectl", {"--mux", mux, "qa", "background", "--time", "0:00:01",
                                       "--report-folder", dir.Path()},
                          20s);
    };
    ProgramResult r = qa();
    EXPECT_NE(r.exitCode, 1) << r.err;
    EXPECT_NE(ReportIn(dir.Path()).find("<000001>  ;QC BACKGROUND"), std::string::npos)
        << ReportIn(dir.Path());

    const std::string seen = FileText("trace.log");
    ASSERT_TRUE(WaitUntil([&] { return Sent(FileText("trace.log").substr(seen.size()), "01 31", 2); }));
    x->Click(464, 61);  // НАЧАТЬ ИССЛЕДОВАНИЕ
    ASSERT_TRUE(WaitUntil([&] { return ReportIn(dir.Path()).find("<000002>") != std::string::npos; }))
        << ReportIn(dir.Path()) << FileText("stderr.txt");
    r = qa();
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("pulsedesk (process " + std::to_string(pid) + ")"), std::string::npos)
        << r.err;
    std::vector<fs::path> reports, backups;
    for (const auto& e : fs::recursive_directory_iterator(dir.Path())) {
        if (e.path().extension() == ".rep") reports.push_back(e.path());
        if (e.path().extension() == ".bak") backups.push_back(e.path());
    }
    ASSERT_EQ(reports.size(), 1u);
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_EQ(ReadBytes(backups[0]), ReadBytes(reports[0]));
}

}  // namespace
}  // namespace pulsedesk::testing

namespace pulsedesk::testing {
namespace {

// Minimised by a real window manager, the panel goes on following the counter: the series
// runs to its end and each count is written when it ends, not when the panel is restored.
TEST_F(PanelE2ETest, AMinimisedPanelGoesOnWithItsSeries) {
    SimProcess sim({"--link", dir.File("counter"), "--rate", "400"});
    StartPanel();
    const unsigned long panel = x->FindWindow("QEV-C2");
    ASSERT_NE(panel, 0u) << FileText("stderr.txt");
    StartSeriesOfThree();
    if (HasFatalFailure()) return;
    const pid_t wm = SpawnChild("/usr/bin/openbox", {}, -1, -1, dir.File("openbox.txt"));
    started.push_back(wm);
    ASSERT_TRUE(WaitUntil([&] {
        Shell("xdotool windowminimize " + std::to_string(panel) + " 2>/dev/null");
        return Shell("xprop -id " + std::to_string(panel) + " WM_STATE").find("Iconic") !=
               std::string::npos;
    }));
    ASSERT_TRUE(WaitUntil([&] { return LinesWith(ReportIn(dir.Path()), "N=").size() >= 3; }, 30s))
        << ReportIn(dir.Path());
    EXPECT_NE(Shell("xprop -id " + std::to_string(panel) + " WM_STATE").find("Iconic"),
              std::string::npos)
        << "the lines must come while the panel is minimised";
}

}  // namespace
}  // namespace pulsedesk::testing
