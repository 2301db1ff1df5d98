// librs232 as a caller sees it: loaded with dlopen, driven against pseudo-terminals whose
// master end plays the device.
#include "rs232/rs232.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace pulsedesk::rs232 {
namespace {

using Bytes = std::vector<unsigned char>;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::vector<std::string> OutputLines(const std::string& command) {
    std::vector<std::string> lines;
    FILE* pipe = popen(command.c_str(), "r");
    char line[512];
    while (pipe != nullptr && fgets(line, sizeof line, pipe) != nullptr)
        lines.emplace_back(line, strcspn(line, "\n"));
    if (pipe != nullptr) pclose(pipe);
    return lines;
}

milliseconds Since(Clock::time_point start) {
    return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

// How many bytes wait at the library's end, once `count` have arrived or two seconds passed.
int WaitForInput(rs232_handle port, int count) {
    int waiting = 0;
    for (auto start = Clock::now(); waiting < count && Since(start) < milliseconds(2000);)
        if (ioctl(int(port), FIONREAD, &waiting) != 0) return -1;
    return waiting;
}

// The device's end of a pseudo-terminal pair; the library opens `slave`.
struct Pty {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    std::string slave =
        master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0 ? ptsname(master) : "";
    ~Pty() { CloseMaster(); }
    void CloseMaster() {
        if (master >= 0) close(master);
        master = -1;
    }
    void Send(const Bytes& bytes) const {
        ASSERT_EQ(write(master, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    Bytes Read(size_t count) const {  // what came within two seconds, up to count bytes
        Bytes got;
        const auto start = Clock::now();
        pollfd p{master, POLLIN, 0};
        while (got.size() < count && Since(start) < milliseconds(2000)) {
            if (poll(&p, 1, 50) <= 0) continue;
            unsigned char byte;
            if (read(master, &byte, 1) == 1) got.push_back(byte);
        }
        return got;
    }
};

// A fresh copy of the library per test, so that each one starts from the state at load.
class Rs232Test : public ::testing::Test {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/rs232-test-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        copy_ = std::filesystem::path(dir) / "librs232.so";
        std::filesystem::copy_file(RS232_LIBRARY, copy_);
        library_ = dlopen(copy_.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << dlerror();
        Bind(mymessage, "_mymessage");
        Bind(setParameters, "_SetRS232Parameters");
        Bind(open, "_OpenRS232");
        Bind(closePort, "_CloseRS232");
        Bind(sendBuffer, "_SendBuffer");
        Bind(sendString, "_SendString");
        Bind(receive, "_Receive");
        Bind(setHandle, "_SetHandle");
        Bind(getHandle, "_GetChHandle");
    }
    void TearDown() override {
        if (closePort != nullptr) closePort();
        if (library_ != nullptr) dlclose(library_);
        std::filesystem::remove_all(copy_.parent_path());
    }
    template <class F>
    void Bind(F& function, const char* name) {
        function = reinterpret_cast<F>(dlsym(library_, name));
        ASSERT_NE(function, nullptr) << name;
    }

    void SendLongBurst(Pty& pty);

    decltype(&_mymessage) mymessage{};
    decltype(&_SetRS232Parameters) setParameters{};
    decltype(&_OpenRS232) open{};
    decltype(&_CloseRS232) closePort{};
    decltype(&_SendBuffer) sendBuffer{};
    decltype(&_SendString) sendString{};
    decltype(&_Receive) receive{};
    decltype(&_SetHandle) setHandle{};
    decltype(&_GetChHandle) getHandle{};

  private:
    std::filesystem::path copy_;
    void* library_ = nullptr;
};

TEST(Rs232Library, ExportsTheNineCallsAndNeedsOnlyLibc) {
    std::set<std::string> exported;
    for (const auto& line : OutputLines((RS232_NM " -D --defined-only " RS232_LIBRARY)))
        exported.insert(line.substr(line.rfind(' ') + 1));
    EXPECT_EQ(exported, (std::set<std::string>{"_mymessage", "_SetRS232Parameters", "_OpenRS232",
                                               "_CloseRS232", "_SendBuffer", "_SendString",
                                               "_Receive", "_SetHandle", "_GetChHandle"}));

    std::vector<std::string> needed;
    for (const auto& line : OutputLines((RS232_READELF " -d " RS232_LIBRARY))) {
        if (line.find("(NEEDED)") == std::string::npos) continue;
        const auto open = line.find('[');
        needed.push_back(line.substr(open + 1, line.find(']') - open - 1));
    }
    ASSERT_FALSE(needed.empty()) << "readelf gave no NEEDED entries";
    for (const auto& library : needed) {
        // A sanitizer build adds its runtimes; everything else must come from libc.
        const bool sanitizerRuntime =
            RS232_SANITIZED && library.find("san.so") != std::string::npos;
        EXPECT_TRUE(library.rfind("libc.so.", 0) == 0 || sanitizerRuntime) << library;
    }
}

TEST_F(Rs232Test, WithoutAPortEveryCallFailsQuietly) {
    EXPECT_EQ(getHandle(), RS232_NULL_HANDLE);
    unsigned char buffer[20];
    EXPECT_EQ(sendString(2, 0x01, 0x28), 0);
    EXPECT_EQ(receive(0, buffer), 0);

    EXPECT_EQ(open("/nonexistent/ttyS0"), RS232_INVALID_HANDLE);
    EXPECT_EQ(getHandle(), RS232_INVALID_HANDLE);
    EXPECT_EQ(setParameters(9600), 0);
    EXPECT_EQ(sendBuffer(2, "\x01\x28"), 0);
    EXPECT_EQ(receive(0, buffer), 0);
    closePort();
    EXPECT_EQ(getHandle(), RS232_NULL_HANDLE);

    testing::internal::CaptureStderr();
    EXPECT_EQ(mymessage(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "test\n");
}

TEST_F(Rs232Test, OpenSetsMarkParityTwoStopBitsAt2400) {
    Pty pty;
    const rs232_handle port = open(pty.slave.c_str());
    ASSERT_GT(port, 0);
    termios t{};
    ASSERT_EQ(tcgetattr(int(port), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B2400));
    EXPECT_EQ(cfgetispeed(&t), speed_t(B2400));
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    // A pseudo-terminal reads PARENB back as clear; a real port keeps it.
    EXPECT_EQ(t.c_cflag & (CMSPAR | PARODD | CSTOPB), tcflag_t(CMSPAR | PARODD | CSTOPB));
    EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(t.c_iflag & (INPCK | IXON | IXOFF | ICRNL), tcflag_t(INPCK));
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 1);  // reads wait at most 100 ms for a first byte

    EXPECT_NE(setParameters(9600), 0);
    EXPECT_EQ(setParameters(12345), 0);
    ASSERT_EQ(tcgetattr(int(port), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    EXPECT_EQ(t.c_cc[VTIME], 1);  // new line settings keep the read time-outs

    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    setHandle(pipeEnds[0]);
    EXPECT_EQ(setParameters(9600), 0);  // no terminal: its settings cannot be read
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    setHandle(port);
}

TEST_F(Rs232Test, APortHeldElsewhereDoesNotOpen) {
    Pty pty;
    const int other = ::open(pty.slave.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_EQ(open(pty.slave.c_str()), RS232_INVALID_HANDLE);
    close(other);

    const rs232_handle first = open(pty.slave.c_str());
    ASSERT_GT(first, 0);
    EXPECT_EQ(open(pty.slave.c_str()), RS232_INVALID_HANDLE);
    EXPECT_EQ(setHandle(first), first);
}

TEST_F(Rs232Test, SendsTheLowByteOfEachArgument) {
    Pty pty;
    ASSERT_GT(open(pty.slave.c_str()), 0);
    EXPECT_EQ(sendString(3, 0x101, 0x02, 0x03), 3);
    EXPECT_EQ(pty.Read(3), (Bytes{0x01, 0x02, 0x03}));

    EXPECT_EQ(sendBuffer(0, "\x55"), 0);
    EXPECT_EQ(sendString(0), 0);
    EXPECT_EQ(sendBuffer(1, "\x7E"), 1);
    EXPECT_EQ(pty.Read(1), Bytes{0x7E});  // nothing was written before it
}

TEST_F(Rs232Test, ReceiveEndsWithTheFrameOrAfterSilence) {
    Pty pty;
    const rs232_handle port = open(pty.slave.c_str());
    ASSERT_GT(port, 0);
    unsigned char buffer[20] = {};

    pty.Send({0x02, 0x81, 0x05});
    ASSERT_EQ(WaitForInput(port, 3), 3);
    auto start = Clock::now();
    ASSERT_EQ(receive(0, buffer), 3);
    EXPECT_LT(Since(start), milliseconds(80));  // complete: no wait for silence
    EXPECT_EQ(Bytes(buffer, buffer + 3), (Bytes{0x02, 0x81, 0x05}));

    pty.Send({0x02, 0x81});
    start = Clock::now();
    ASSERT_EQ(receive(0, buffer), 2);
    EXPECT_GE(Since(start), milliseconds(80));
    EXPECT_LT(Since(start), milliseconds(1000));

    pty.Send({0x02, 0x81, 0x05, 0x06});  // more than announced: kept until the line is quiet
    EXPECT_EQ(receive(0, buffer), 4);
}

// Opens the pty's slave and puts 40 bytes on it, a frame announcing 3: the whole burst waits
// before the test reads.
void Rs232Test::SendLongBurst(Pty& pty) {
    const rs232_handle port = open(pty.slave.c_str());
    ASSERT_GT(port, 0);
    Bytes burst(40, 0x5A);
    burst[0] = 0x02;
    pty.Send(burst);
    ASSERT_EQ(WaitForInput(port, 40), 40);
}

TEST_F(Rs232Test, ALongBurstNeverOverrunsTheBuffer) {
    Pty pty;
    ASSERT_NO_FATAL_FAILURE(SendLongBurst(pty));

    unsigned char guarded[20 + 16];
    std::fill(std::begin(guarded), std::end(guarded), 0xA5);
    EXPECT_EQ(receive(0, guarded), 20);
    EXPECT_EQ(Bytes(guarded + 20, std::end(guarded)), Bytes(16, 0xA5));

    pty.Send({0x02, 0x81, 0x05});  // the rest of the burst was dropped, not left waiting
    EXPECT_EQ(receive(0, guarded), 3);
    EXPECT_EQ(Bytes(guarded, guarded + 3), (Bytes{0x02, 0x81, 0x05}));
}

TEST_F(Rs232Test, ALineThatNeverFallsQuietDoesNotHoldReceive) {
    Pty pty;
    ASSERT_NO_FATAL_FAILURE(SendLongBurst(pty));
    // A chattering device: a byte every 5 ms, far inside the 100 ms quiet gap, for 5 s at most.
    std::atomic<bool> stop{false};
    std::thread chatter([&] {
        const unsigned char byte = 0x5A;
        for (auto start = Clock::now(); !stop && Since(start) < milliseconds(5000);) {
            if (write(pty.master, &byte, 1) != 1) break;
            std::this_thread::sleep_for(milliseconds(5));
        }
    });
    unsigned char buffer[20];
    const auto start = Clock::now();
    const int received = receive(0, buffer);
    const auto took = Since(start);
    stop = true;
    chatter.join();
    EXPECT_EQ(received, 20);
    EXPECT_LT(took, milliseconds(3000));
}

TEST_F(Rs232Test, ReceiveStopsWhenTheLineHangsUp) {
    Pty pty;
    ASSERT_GT(open(pty.slave.c_str()), 0);
    pty.CloseMaster();
    unsigned char buffer[20];
    // Runs in a child with an alarm, so that a loop that spins on the hang-up fails the test.
    EXPECT_EXIT(
        {
            alarm(5);
            _exit(receive(0, buffer));
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(Rs232Test, OnlyATerminalDeviceOpensAndAFileIsLeftUntouched) {
    char dir[] = "/tmp/rs232-file-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string file = std::string(dir) + "/notes";
    FILE* f = std::fopen(file.c_str(), "w");
    std::fputs("keep me\n", f);
    std::fclose(f);
    for (const std::string& path : {file, std::string("/dev/null")}) {
        errno = 0;
        EXPECT_EQ(open(path.c_str()), RS232_INVALID_HANDLE) << path;
        EXPECT_EQ(errno, ENOTTY) << path;
        EXPECT_EQ(sendString(2, 0x01, 0x28), 0) << path;
    }
    EXPECT_EQ(OutputLines("cat " + file), std::vector<std::string>{"keep me"});
    std::filesystem::remove_all(dir);
}

TEST_F(Rs232Test, OpenNeverHandsOutDescriptorZero) {
    Pty pty;
    EXPECT_EXIT(
        {
            close(0);
            const rs232_handle port = open(pty.slave.c_str());
            _exit(port > 0 && getHandle() == port ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

TEST_F(Rs232Test, SwitchesBetweenTwoOpenPorts) {
    Pty first, second;
    const rs232_handle a = open(first.slave.c_str());
    const rs232_handle b = open(second.slave.c_str());
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_EQ(getHandle(), b);

    EXPECT_EQ(setHandle(a), a);
    EXPECT_EQ(sendString(1, 0x11), 1);
    EXPECT_EQ(first.Read(1), Bytes{0x11});
    setHandle(b);
    EXPECT_EQ(sendString(1, 0x22), 1);
    EXPECT_EQ(second.Read(1), Bytes{0x22});
    closePort();
    setHandle(a);
}

TEST_F(Rs232Test, ClosingTwiceClosesOnlyOurPort) {
    Pty pty;
    const rs232_handle port = open(pty.slave.c_str());
    ASSERT_GT(port, 0);
    closePort();
    EXPECT_EQ(fcntl(int(port), F_GETFD), -1);
    const int reused = ::open("/dev/null", O_RDONLY);  // likely takes the freed number
    closePort();
    EXPECT_NE(fcntl(reused, F_GETFD), -1);
    EXPECT_EQ(getHandle(), RS232_NULL_HANDLE);
    close(reused);
}

TEST(Rs232StatusExample, AsksForStatusAndPrintsTheReplyInHex) {
    Pty pty;
    FILE* program = popen((RS232_STATUS_PROGRAM " " + pty.slave).c_str(), "r");
    ASSERT_NE(program, nullptr);
    EXPECT_EQ(pty.Read(2), (Bytes{0x01, 0x28}));
    pty.Send({0x09, 0xA8, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07});
    char line[128] = {};
    EXPECT_NE(fgets(line, sizeof line, program), nullptr);
    EXPECT_STREQ(line, "09 A8 00 01 02 03 04 05 06 07\n");
    EXPECT_EQ(pclose(program), 0);

    EXPECT_EQ(WEXITSTATUS(system(RS232_STATUS_PROGRAM " /nonexistent/ttyS0 2>/dev/null")), 1);
}

TEST(Rs232StatusExample, HelpGivesTheUsageAndAFailedOpenSaysWhy) {
    const std::vector<std::string> help = OutputLines(RS232_STATUS_PROGRAM " --help 2>&1");
    ASSERT_FALSE(help.empty());
    EXPECT_EQ(help[0], "usage: rs232-status PORT [BAUD]");
    EXPECT_EQ(OutputLines(RS232_STATUS_PROGRAM " /nonexistent/ttyS0 2>&1"),
              std::vector<std::string>{
                  "rs232-status: cannot open /nonexistent/ttyS0: No such file or directory"});
    EXPECT_EQ(OutputLines(RS232_STATUS_PROGRAM " /dev/null 2>&1"),
              std::vector<std::string>{"rs232-status: cannot open /dev/null: not a serial device"});
}

}  // namespace
}  // namespace pulsedesk::rs232
