// rs232.dll as the lab's Windows programs meet it: its exports and imports read with objdump,
// and the cross-built programs run under Wine, whose COM1 and COM2 lead to two pulsesim links.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "e2e/XSession.h"
#include "support/SimProcess.h"
#include "support/Wait.h"

namespace pulsedesk::rs232 {
namespace {

using namespace std::chrono_literals;
using testing::Shell;

// One Wine prefix per architecture under the build folder, made once. A test holds its lock
// while it uses Wine: the prefix's COM1 and COM2 lead to that test's simulators.
class Wine {
  public:
    explicit Wine(const std::string& arch) : root(std::string(RS232_WINE_DIR) + "/" + arch) {
        std::filesystem::create_directories(root);
        lock = open((root + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        flock(lock, LOCK_EX);
        setenv("WINEPREFIX", (root + "/prefix").c_str(), 1);
        setenv("WINEARCH", arch == "i686" ? "win32" : "win64", 1);
        setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);  // no offer to download Mono or Gecko
        setenv("WINEDEBUG", "-all", 1);
        // Wine's mount manager points dosdevices/comN at the ports it finds (/dev/ttyS0 first)
        // whenever its server starts, unless the registry names them.
        std::string create = "rm -rf prefix && timeout 180 wine wineboot --init";
        for (const char* n : {"1", "2"})
            create +=
                std::string(" && timeout 60 wine reg add 'HKLM\\Software\\Wine\\Ports' /v COM") +
                n + " /d " + Com(n) + " /f";
        Shell("cd " + root + " && { test -e prefix/ready || { " + create +
              " && timeout 60 wineserver -w && touch prefix/ready; }; } >setup.log 2>&1;" +
              " for n in 1 2; do ln -sfn " + root + "/com$n prefix/dosdevices/com$n; done");
        ready = std::filesystem::exists(root + "/prefix/ready");
    }
    ~Wine() {
        Shell("timeout 30 wineserver -k 2>/dev/null");  // no Wine process outlives the test
        close(lock);
    }
    std::string Com(const std::string& n) const { return root + "/com" + n; }

    bool ready = false;

  private:
    std::string root;
    int lock = -1;
};

std::vector<std::string> UnderTimeout(const std::vector<std::string>& wineArgs) {
    std::vector<std::string> args{"-k", "5", "60", "wine"};
    args.insert(args.end(), wineArgs.begin(), wineArgs.end());
    return args;
}

testing::ProgramResult RunWine(const std::vector<std::string>& args) {
    testing::ProgramResult r = testing::RunProgram("/usr/bin/timeout", UnderTimeout(args), 70s);
    std::erase(r.out, '\r');  // Windows text output
    std::erase(r.err, '\r');
    return r;
}

class Rs232DllTest : public ::testing::TestWithParam<std::string> {
  protected:
    std::string Program(const std::string& name) const {
        return std::string(RS232_WINDOWS_DIR) + "/" + GetParam() + "/" + name;
    }
    // Why this architecture cannot be tested here; empty when it can.
    std::string Missing(bool underWine) const {
        if (!std::filesystem::exists(Program("rs232.dll")))
            return "mingw-w64 was not installed when the build was configured";
        if (underWine && Shell("command -v wine").empty()) return "wine is not installed";
        // Debian's wine32 package brings the 32-bit loader.
        if (underWine && GetParam() == "i686" && !std::filesystem::exists("/usr/lib/wine/wine"))
            return "wine32 is not installed";
        return "";
    }
};

#define SKIP_WITHOUT_TOOLS(underWine) \
    if (const std::string why = Missing(underWine); !why.empty()) GTEST_SKIP() << why

TEST_P(Rs232DllTest, ExportsTheNineNamesAndImportsOnlySystemDlls) {
    SKIP_WITHOUT_TOOLS(false);
    std::set<std::string> exported, imported;
    std::istringstream dump(Shell(RS232_OBJDUMP " -p " + Program("rs232.dll")));
    for (std::string line; std::getline(dump, line);) {
        std::smatch m;  // "\tDLL Name: USER32.dll", and the name table's "\t[   3] _Receive"
        if (std::regex_match(line, m, std::regex("\tDLL Name: (.+)"))) imported.insert(m[1]);
        if (std::regex_match(line, m, std::regex("\t\\[ *[0-9]+\\] ([^ ]+)")))
            exported.insert(m[1]);
    }
    EXPECT_EQ(exported, (std::set<std::string>{"_mymessage", "_SetRS232Parameters", "_OpenRS232",
                                               "_CloseRS232", "_SendBuffer", "_SendString",
                                               "_Receive", "_SetHandle", "_GetChHandle"}));
    EXPECT_EQ(imported, (std::set<std::string>{"KERNEL32.dll", "USER32.dll", "msvcrt.dll"}));
}

// COM1 answers with 40 bytes more than its frame: a receive keeps 20 and drops the rest.
TEST_P(Rs232DllTest, WineRunsEveryExportTheExampleAndTheMessageBox) {
    SKIP_WITHOUT_TOOLS(true);
    testing::XSession x;  // first, so that Wine's processes see its display
    Wine wine(GetParam());
    ASSERT_TRUE(wine.ready) << "see setup.log beside the prefix";
    testing::TempDir dir;
    testing::SimProcess com1(
        {"--link", wine.Com("1"), "--serial", "4660", "--record", dir.File("1")});
    testing::SimProcess com2(
        {"--link", wine.Com("2"), "--serial", "22136", "--record", dir.File("2")});
    com1.Send("overlong 40");
    ASSERT_EQ(com1.ReadLine(), "overlong 40");

    const auto check = RunWine({Program("rs232-dll-check.exe"), "exchange"});
    EXPECT_EQ(check.exitCode, 0) << check.err;
    const std::string burst =
        "set_handle com1 send_buffer 2\n"
        "burst 03 AD 12 34 55 56 57 58 59 5A 5B 5C 5D 5E 5F 60 61 62 63 64\n";
    EXPECT_EQ(check.out,
              "at_load null\nbad_open invalid\nbad_current invalid\nbad_calls 0 0\n"
              "opened com1 com2 current com2\nparameters_9600 1\n"
              "send_string 2\nreply 03 AD 56 78\nsend_empty 0\nquiet\n" +
                  burst + burst + "closed null null\ncom2_still_open 2\nreply 03 AD 56 78\n");
    for (const char* n : {"1", "2"})  // exactly what was sent: nothing for the empty send
        EXPECT_EQ(testing::ReadBytes(dir.File(n)), "01 2D\n01 2D\n") << "COM" << n;

    // The settings as Linux sees them: the open's 2400 baud on COM1, 9600 on COM2; mark parity
    // (the pty keeps CMSPAR and PARODD, never PARENB), 2 stop bits, no flow control.
    for (const auto& [n, speed] : {std::pair{"1", B2400}, std::pair{"2", B9600}}) {
        termios t{};
        const int fd = open(wine.Com(n).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_EQ(tcgetattr(fd, &t), 0);
        close(fd);
        EXPECT_EQ(cfgetospeed(&t), speed_t(speed)) << "COM" << n;
        EXPECT_EQ(t.c_cflag & (CSIZE | CSTOPB | CMSPAR | PARODD | CRTSCTS),
                  tcflag_t(CS8 | CSTOPB | CMSPAR | PARODD))
            << "COM" << n;
        EXPECT_EQ(t.c_iflag & (INPCK | IXON | IXOFF), tcflag_t(INPCK)) << "COM" << n;
    }

    // The example is linked with the import library, as a C caller builds against the DLL.
    const auto status = RunWine({Program("rs232-status.exe"), "COM2"});
    EXPECT_EQ(status.exitCode, 0) << status.err;
    EXPECT_THAT(status.out, ::testing::MatchesRegex("09 A8( [0-9A-F][0-9A-F]){8}\n"));
    const auto missing = RunWine({Program("rs232-status.exe"), "COM7"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_THAT(missing.err, ::testing::HasSubstr("rs232-status: cannot open COM7: no such port"));

    // _mymessage: the box is closed as a user closes it, and its result comes back.
    const int out = open(dir.File("out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const pid_t message = testing::SpawnChild(
        "/usr/bin/timeout", UnderTimeout({Program("rs232-dll-check.exe"), "message"}), -1, out);
    close(out);

    const unsigned long box = x.FindWindow("test", 30s);
    ASSERT_NE(box, 0u) << "no window with the caption \"test\"";
    // OK is the box's default button: a click on the box gives it the keyboard, Return presses
    // OK. Repeated until the program ends, in case the first keys came before the focus.
    int exitCode = -1;
    testing::WaitUntil(
        [&] {
            Shell("xdotool mousemove --window " + std::to_string(box) + " 5 5 click 1 key Return");
            return (exitCode = testing::WaitForExit(message, 1s)) >= 0;
        },
        20s, 0ms);
    if (exitCode < 0) kill(message, SIGKILL);
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(testing::ReadBytes(dir.File("out")), "mymessage 1\r\n");  // IDOK
}

INSTANTIATE_TEST_SUITE_P(Windows, Rs232DllTest, ::testing::Values("x86_64", "i686"),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace pulsedesk::rs232
