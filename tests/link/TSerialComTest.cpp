// TSerialCom against pulsesim on a real pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <tuple>

#include "link/tser_com.h"
#include "support/SimProcess.h"
#include "support/Wait.h"

namespace pulsedesk::link {
namespace {

using namespace std::chrono_literals;
using testing::SimProcess;
using testing::TempDir;
using testing::WaitUntil;

struct ComFixture : ::testing::Test {
    TempDir dir;
    std::string linkPath = dir.Path() + "/counter";
    SimProcess sim{{"--link", linkPath, "--rate", "200", "--seed", "3"}};
};

TEST(PortNames, MapToDevicePaths) {
    EXPECT_EQ(PortPath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(PortPath("COM12"), "/dev/ttyS11");
    EXPECT_EQ(PortPath("COM0"), "/dev/COM0");
    EXPECT_EQ(PortPath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(PortPath("/tmp/x/counter"), "/tmp/x/counter");
    EXPECT_EQ(PortPath(""), "/dev/");
}

TEST(PortNames, MissingEmptyAndHeldPortsLeaveTheLinkDown) {
    EXPECT_FALSE(TSerialCom("").IsConnected());
    EXPECT_FALSE(TSerialCom("/nonexistent/port").IsConnected());
    TempDir dir;
    SimProcess sim({"--link", dir.Path() + "/counter"});
    TSerialCom first(dir.Path() + "/counter");
    ASSERT_GE(first.PortHandle(), 0);
    TSerialCom second(dir.Path() + "/counter");
    EXPECT_FALSE(second.IsConnected());
    EXPECT_LT(second.PortHandle(), 0);
    EXPECT_NE(second.OpenError().find("in use by another program"), std::string::npos);
    EXPECT_EQ(first.OpenError(), "");
}

TEST_F(ComFixture, LeavesTheLineAt9600EightNoneOneRaw) {
    TSerialCom link(linkPath);
    ASSERT_GE(link.PortHandle(), 0);  // opened; polls may still be under way
    termios t{};
    ASSERT_EQ(tcgetattr(link.PortHandle(), &t), 0);
    EXPECT_EQ(cfgetispeed(&t), B9600);
    EXPECT_EQ(cfgetospeed(&t), B9600);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS | CMSPAR), 0u);
    EXPECT_NE(t.c_cflag & CLOCAL, 0u);
    EXPECT_NE(t.c_cflag & CREAD, 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
}

TEST_F(ComFixture, PollsTheSimulatedCounter) {
    TSerialCom link(linkPath);
    ASSERT_GE(link.PortHandle(), 0);  // opened; polls may still be under way
    ASSERT_TRUE(link.SendCommand(0x02, {StartStop, 1}));
    ASSERT_TRUE(WaitUntil([&] {
        auto s = link.TryCopyStatus();
        return s && (s->runFlags & kRunCounting) && s->count > 0;
    }));
    EXPECT_TRUE(WaitUntil([&] { return link.IsConnected(); }));
    const CommandReply reply = link.SendCommand(0x01, {ReadModel});
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply.Byte(1), 0xAE);
    EXPECT_EQ(reply.Byte(3), '2');
}

// Polling is stopped first: its exchanges would otherwise swallow the stray bytes and hide a
// missing flush.
TEST_F(ComFixture, LateBytesOfAnEarlierReplyAreDiscarded) {
    sim.Send("late 3");
    TSerialCom link(linkPath);
    link.Terminate();
    link.WaitFor();
    for (int i = 0; i < 5; ++i) {
        const CommandReply reply = link.SendCommand(0x01, {ReadSerialNumber});
        ASSERT_TRUE(reply) << i;
        EXPECT_EQ(reply.replyLength, 4);
        EXPECT_EQ(reply.Byte(1), 0xAD);
        std::this_thread::sleep_for(150ms);  // let the stray bytes arrive before the next request
    }
}

TEST_F(ComFixture, ADeviceThatNeverPausesFillsExactlyTwentyBytes) {
    sim.Send("overlong 30");
    TSerialCom link(linkPath);
    link.Terminate();
    link.WaitFor();
    const CommandReply reply = link.SendCommand(0x01, {ReadStatusB});
    EXPECT_FALSE(reply);
    EXPECT_EQ(reply.replyLength, 20);
}

TEST_F(ComFixture, SilentDeviceGivesNoReplyAndTheLinkGoesDown) {
    TSerialCom link(linkPath);
    ASSERT_GE(link.PortHandle(), 0);  // opened; polls may still be under way
    sim.Send("noreply on");
    ASSERT_TRUE(WaitUntil([&] { return !link.IsConnected(); }));
    const CommandReply reply = link.SendCommand(0x01, {ReadModel});
    EXPECT_FALSE(reply);
    EXPECT_EQ(reply.replyLength, 0);
    EXPECT_EQ(reply.Byte(1), 0);  // nothing received reads as no reply code
    sim.Send("noreply off");
    EXPECT_TRUE(WaitUntil([&] { return link.IsConnected(); }));
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

TEST_F(ComFixture, HangUpAndReturnOfTheLine) {
    TSerialCom link(linkPath);
    ASSERT_TRUE(WaitUntil([&] { return link.IsConnected(); }));
    sim.Send("hangup 1500");
    ASSERT_EQ(sim.ReadLine(), "hung up");
    ASSERT_TRUE(WaitUntil([&] { return !link.IsConnected(); }));
    const double cpuBefore = ProcessCpuSeconds();
    const std::string newSlave = sim.ReadLine();  // the line returns at the same path
    ASSERT_FALSE(newSlave.empty());
    const double cpuWhileDead = ProcessCpuSeconds() - cpuBefore;
    const auto back = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitUntil([&] { return link.IsConnected(); }, 3s));
    EXPECT_LT(std::chrono::steady_clock::now() - back, 1s);
    EXPECT_LT(cpuWhileDead, 0.2) << "the link must not spin on a dead line";
    EXPECT_TRUE(link.SendCommand(0x01, {ReadModel}));
}

// A fresh pseudo-terminal, its slave kept open so its settings can be read while a link holds it.
struct Terminal {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    std::string slave =
        master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0 ? ptsname(master) : "";
    int keeper = open(slave.c_str(), O_RDWR | O_NOCTTY);
    ~Terminal() {
        close(keeper);
        close(master);
    }
};

TEST(TerminalPorts, ALinkLeavesThePortAsItFoundIt) {
    Terminal terminal;
    termios before{};
    ASSERT_EQ(tcgetattr(terminal.keeper, &before), 0);
    ASSERT_NE(before.c_lflag & ICANON, 0u) << "a fresh terminal is canonical";
    {
        TSerialCom link(terminal.slave);
        ASSERT_GE(link.PortHandle(), 0) << link.OpenError();
        termios raw{};
        ASSERT_EQ(tcgetattr(terminal.keeper, &raw), 0);
        EXPECT_EQ(raw.c_lflag & ICANON, 0u);
    }
    termios after{};
    ASSERT_EQ(tcgetattr(terminal.keeper, &after), 0);
    const auto flags = [](const termios& t) {
        return std::tuple{t.c_iflag, t.c_oflag, t.c_cflag, t.c_lflag};
    };
    EXPECT_EQ(flags(after), flags(before));
}

// pulsectl in a session of its own whose controlling terminal is a pseudo-terminal: that
// terminal, by either name, is refused before a frame is written.
TEST(TerminalPorts, TheProgramsOwnTerminalIsNoSerialPort) {
    Terminal terminal;
    const std::string program = testing::BinDir() + "/pulsectl";
    for (const std::string& port : {std::string("/dev/tty"), terminal.slave}) {
        int err[2];
        ASSERT_EQ(pipe(err), 0);
        const char* argv[] = {program.c_str(), "--port", port.c_str(), "status", nullptr};
        const pid_t child = fork();
        if (child == 0) {
            setsid();
            const int tty = open(terminal.slave.c_str(), O_RDWR);  // becomes its terminal
            dup2(tty, STDIN_FILENO);
            dup2(err[1], STDERR_FILENO);
            execv(argv[0], const_cast<char* const*>(argv));
            _exit(127);
        }
        close(err[1]);
        std::string text;
        char chunk[256];
        for (ssize_t n; (n = read(err[0], chunk, sizeof chunk)) > 0;) text.append(chunk, n);
        close(err[0]);
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_EQ(WEXITSTATUS(status), 1) << port;
        EXPECT_EQ(text, "pulsectl: cannot open the counter's port " + port +
                            ": the terminal this program runs in, not a serial port\n");
    }
    char stray[64];
    fcntl(terminal.master, F_SETFL, O_NONBLOCK);
    EXPECT_LT(read(terminal.master, stray, sizeof stray), 0) << "nothing reached the terminal";
}

}  // namespace
}  // namespace pulsedesk::link
