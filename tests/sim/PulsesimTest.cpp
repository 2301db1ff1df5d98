// pulsesim and the other bench tools as a newcomer meets them: real processes, real lines.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "support/SimProcess.h"
#include "support/Wait.h"

namespace pulsedesk::sim {
namespace {

using namespace std::chrono_literals;
using testing::ProgramResult;
using testing::RunProgram;
using testing::SimProcess;
using testing::TempDir;
using testing::WaitUntil;
using Bytes = std::vector<std::uint8_t>;

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool Exists(const std::string& path) {
    struct stat s {};
    return lstat(path.c_str(), &s) == 0;
}

std::string LinkTarget(const std::string& path) {
    char target[256] = {};
    return readlink(path.c_str(), target, sizeof target - 1) > 0 ? target : "";
}

// The computer's end of a pseudo-terminal whose slave the simulator serves as a port.
struct Pty {
    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    std::string slave =
        master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0 ? ptsname(master) : "";
    ~Pty() { close(master); }

    // Sends a request and collects the reply until 200 ms pass without a byte.
    Bytes Exchange(const Bytes& request) const {
        EXPECT_EQ(write(master, request.data(), request.size()), ssize_t(request.size()));
        Bytes reply;
        pollfd p{master, POLLIN, 0};
        std::uint8_t byte;
        while (poll(&p, 1, 200) > 0 && read(master, &byte, 1) == 1) reply.push_back(byte);
        return reply;
    }
};

TEST(PulsesimPort, ServesTheSlaveOfAPseudoTerminalLikeALink) {
    Pty pty;
    ASSERT_FALSE(pty.slave.empty());
    SimProcess sim({"--port", pty.slave});
    EXPECT_EQ(sim.SlavePath(), pty.slave);
    for (int i = 0; i < 3; ++i) {  // the first request used to end the simulator
        const Bytes reply = pty.Exchange({0x01, 0x28});
        ASSERT_EQ(reply.size(), 10u) << i;
        EXPECT_EQ(reply[1], 0xA8);
    }
    sim.Send("status");
    EXPECT_NE(sim.ReadLine().find("mode 0"), std::string::npos);
}

TEST(PulsesimPort, RegularFilesAndTheNullDeviceAreNotSerialDevices) {
    TempDir dir;
    std::ofstream(dir.File("notes.txt")) << "keep me\n";
    for (const std::string& path : {dir.File("notes.txt"), std::string("/dev/null")}) {
        for (const char* program : {"pulsesim", "muxserver"}) {
            const ProgramResult r = RunProgram(program, {"--port", path}, 5s);
            EXPECT_EQ(r.exitCode, 1) << program << " " << path;
            EXPECT_NE(r.err.find(path + ": not a serial device"), std::string::npos) << r.err;
        }
    }
    EXPECT_EQ(Slurp(dir.File("notes.txt")), "keep me\n");
}

TEST(PulsesimOptions, BadOptionsAreRefusedNamingTheValueAndItsRange) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases{
        {{"--rate", "abc"}, "--rate abc: not a number (0 to 1000000)"},
        {{"--rate", "-5"}, "--rate -5: out of range (0 to 1000000)"},
        {{"--serial", "70000"}, "--serial 70000: out of range (0 to 65535)"},
        {{"--serial", "12x"}, "--serial 12x: not a whole number (0 to 65535)"},
        {{"--firmware", "999"}, "--firmware 999: out of range (0 to 255)"},
        {{"--seed", "abc"}, "--seed abc: not a whole number (0 to 4294967295)"},
        {{"--chaos", "-1"}, "--chaos -1: out of range (0 to 4294967295)"},
        {{"--model", "3"}, "--model 3: want 1 or 2"},
        {{"--link"}, "--link needs a value"},
        {{"--frobnicate"}, "unknown option --frobnicate"},
        {{"--link", "/tmp/a", "--port", "/dev/ttyS0"}, "--link and --port exclude each other"},
    };
    for (const Case& c : cases) {
        const ProgramResult r = RunProgram("pulsesim", c.args, 5s);
        EXPECT_EQ(r.exitCode, 2) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

TEST(PulsesimLink, NeverReplacesAFileOrAnotherSimulatorsLink) {
    TempDir dir;
    const std::string file = dir.File("counter");
    std::ofstream(file) << "a user's notes\n";
    ProgramResult r = RunProgram("pulsesim", {"--link", file}, 5s);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("not replaced"), std::string::npos) << r.err;
    EXPECT_EQ(Slurp(file), "a user's notes\n");

    const std::string live = dir.File("live");
    SimProcess first({"--link", live});
    r = RunProgram("pulsesim", {"--link", live}, 5s);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("another pulsesim"), std::string::npos) << r.err;
    EXPECT_EQ(LinkTarget(live), first.SlavePath());
}

TEST(PulsesimLink, TakesADanglingLinkAndRemovesItsLinkWhenItEnds) {
    TempDir dir;
    const std::string link = dir.File("counter");
    ASSERT_EQ(symlink("/dev/pts/nothing-here", link.c_str()), 0);
    {
        SimProcess sim({"--link", link});
        EXPECT_EQ(LinkTarget(link), sim.SlavePath());
        sim.Send("quit");
        EXPECT_EQ(sim.WaitExit(), 0);
        EXPECT_FALSE(Exists(link));
    }
    for (int signal : {SIGINT, SIGTERM}) {
        SimProcess sim({"--link", link});
        ASSERT_TRUE(Exists(link));
        EXPECT_EQ(sim.Signal(signal), 0) << signal;
        EXPECT_FALSE(Exists(link)) << signal;
    }
}

TEST(PulsesimConsole, CommandsAcknowledgeAndRefuseBadValues) {
    TempDir dir;
    const std::string errors = dir.File("stderr");
    SimProcess sim({"--link", dir.File("counter")}, errors);
    struct Case {
        std::string command;
        std::string answer;   // on standard output, or "" when refused
        std::string refusal;  // on standard error
    };
    const std::vector<Case> cases{
        {"rate abc", "", "rate abc: not a number (0 to 1000000)"},
        {"error 300", "", "error 300: out of range (0 to 255)"},
        {"overlong 100000000", "", "overlong 100000000: out of range (0 to 256)"},
        {"late 99999", "", "late 99999: out of range (0 to 256)"},
        {"cut", "", "cut: a value is needed (0 to 16)"},
        {"blocked maybe", "", "blocked maybe: want on or off"},
        {"hangup soon", "", "hangup soon: not a whole number (0 to 600000)"},
        {"chaos maybe", "", "chaos maybe: want on or off"},
        {"rate 20", "rate 20/s", ""},
        {"error 5", "error 5", ""},
        {"overlong 3", "overlong 3", ""},
        {"noreplyb on", "noreplyb on", ""},
        {"blocked on", "blocked on", ""},
    };
    for (const Case& c : cases) {
        sim.Send(c.command);
        if (!c.answer.empty()) {
            EXPECT_EQ(sim.ReadLine(), c.answer) << c.command;
            continue;
        }
        const bool refused =
            WaitUntil([&] { return Slurp(errors).find(c.refusal) != std::string::npos; });
        EXPECT_TRUE(refused) << c.command << ": " << Slurp(errors);
    }
    sim.Send("status");
    const std::string status = sim.ReadLine();
    EXPECT_NE(status.find("rate 20/s"), std::string::npos) << status;
    EXPECT_NE(status.find("faults: noreplyb overlong 3 blocked error 5"), std::string::npos)
        << status;
}

TEST(PulsesimRecord, WritesEveryRequestAsOneHexLineBeforeTheReply) {
    TempDir dir;
    Pty pty;
    const std::string record = dir.File("frames");
    std::ofstream(record) << "earlier line\n";
    SimProcess sim({"--port", pty.slave, "--record", record});
    EXPECT_EQ(pty.Exchange({0x02, 0x41, 0x01}).size(), 2u);
    EXPECT_EQ(pty.Exchange({0x03, 0x42, 0x0F, 0x30}).size(), 2u);
    EXPECT_EQ(pty.Exchange({0x01, 0x28}).size(), 10u);
    EXPECT_EQ(Slurp(record), "earlier line\n02 41 01\n03 42 0F 30\n01 28\n");
}

std::vector<std::string> LinesOf(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The log is written on the simulator's own clock: the test sends no poll while it waits.
TEST(PulsesimSoak, LogsEachFinishedCountAsItEndsWithTheCountTheStatusThenReports) {
    TempDir dir;
    Pty pty;
    const std::string log = dir.File("finished");
    SimProcess sim({"--port", pty.slave, "--log-finished", log, "--rate", "500"});
    pty.Exchange({0x02, 0x43, 0x01});              // mode 1
    pty.Exchange({0x04, 0x02, 0x00, 0x00, 0x01});  // count time 1 s
    const std::regex line(
        R"(seq=(\d+) at=\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3} mode=1 count=(\d+) )"
        R"(elapsed=0:00:01\.00 threshold=2096 by=time)");
    for (int seq = 1; seq <= 2; ++seq) {
        pty.Exchange({0x02, 0x41, 0x01});
        ASSERT_TRUE(WaitUntil([&] { return LinesOf(log).size() == std::size_t(seq); }, 5s));
        std::smatch m;
        const std::string last = LinesOf(log).back();
        ASSERT_TRUE(std::regex_match(last, m, line)) << last;
        EXPECT_EQ(m[1], std::to_string(seq));
        const Bytes b = pty.Exchange({0x01, 0x31});
        ASSERT_EQ(b.size(), 16u);
        EXPECT_EQ(m[2], std::to_string((b[4] << 16) | (b[5] << 8) | b[6]));
    }
    sim.Send("status");
    EXPECT_EQ(sim.ReadLine().find("chaos"), std::string::npos);  // no chaos unless asked
}

TEST(PulsesimSoak, ChaosPutsInFaultsWithTheConsoleCommandsAndLogsEach) {
    TempDir dir;
    const std::string log = dir.File("faults");
    SimProcess sim({"--link", dir.File("counter"), "--chaos", "3", "--chaos-log", log});
    sim.Send("status");
    EXPECT_NE(sim.ReadLine().find(" chaos: on"), std::string::npos);
    ASSERT_TRUE(WaitUntil([&] { return !LinesOf(log).empty(); }, 15s));
    std::smatch m;
    const std::string first = LinesOf(log).front();
    ASSERT_TRUE(std::regex_match(
        first, m, std::regex(R"(at=\S+ fault=(\w+) duration=(\d)\.\d{3}( bytes=(\d+))?)")))
        << first;
    const std::map<std::string, std::string> acknowledged{{"noreply", "noreply on"},
                                                          {"noreplyb", "noreplyb on"},
                                                          {"hangup", "hung up"},
                                                          {"overlong", "overlong " + m[4].str()},
                                                          {"late", "late " + m[4].str()}};
    EXPECT_EQ(sim.ReadLine(), acknowledged.at(m[1])) << first;
    EXPECT_LE(std::stoi(m[2]), 3);
    sim.Send("chaos off");
    std::string line;
    while (!(line = sim.ReadLine()).empty() && line != "chaos off") {
    }
    EXPECT_EQ(line, "chaos off");
    sim.Send("status");
    line = sim.ReadLine();
    while (line.rfind("mode", 0) != 0 && !line.empty()) line = sim.ReadLine();  // after a hang-up
    EXPECT_NE(line.find("faults: none"), std::string::npos) << line;
    EXPECT_EQ(line.find("chaos"), std::string::npos) << line;
}

TEST(TestScript, AnUnknownArgumentGivesTheUsageAndExitCode2) {
    // Without a search path a script that took the argument for a go-ahead fails at its first
    // command instead of installing and building everything.
    const std::string path = std::getenv("PATH");
    setenv("PATH", "/nonexistent", 1);
    const ProgramResult r =
        RunProgram("/bin/bash", {PULSEDESK_SOURCE_DIR "/scripts/test.sh", "--everything"}, 20s);
    setenv("PATH", path.c_str(), 1);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_NE(r.err.find("usage: scripts/test.sh"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace pulsedesk::sim
