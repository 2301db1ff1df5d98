// rs232.dll as the lab's Windows programs meet it: its exports and imports read with objdump,
// and the cross-built check program and example run under Wine, whose COM1 and COM2 lead to
// two pulsesim pseudo-terminals.
#include <fcntl.h>
#include <signal.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/XSession.h"
#include "support/SimProcess.h"
#include "support/Wait.h"

namespace pulsedesk::rs232 {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ProgramResult;
using testing::Shell;

std::string BuildDir(const std::string& arch) { return std::string(RS232_WINDOWS_DIR) + "/" + arch; }

// Why this architecture's DLL cannot be tested here; empty when it can.
std::string MissingTools(const std::string& arch, bool underWine) {
    if (!fs::exists(BuildDir(arch) + "/rs232.dll"))
        return "mingw-w64 was not installed when the build was configured";
    if (!underWine) return "";
    if (Shell("command -v wine").empty()) return "wine is not installed";
    // Debian's wine32 package brings the 32-bit loader.
    if (arch == "i686" && !fs::exists("/usr/lib/wine/wine")) return "wine32 is not installed";
    return "";
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();  // Windows text output
        lines.push_back(line);
    }
    return lines;
}

// One Wine prefix per architecture under the build folder, made on first use and kept. A test
// holds the prefix's lock while it uses Wine: COM1 and COM2 lead to that test's simulators.
class Wine {
  public:
    explicit Wine(const std::string& arch) : root(std::string(RS232_WINE_DIR) + "/" + arch) {
        fs::create_directories(root);
        lock = open((root + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        flock(lock, LOCK_EX);
        setenv("WINEPREFIX", (root + "/prefix").c_str(), 1);
        setenv("WINEARCH", arch == "i686" ? "win32" : "win64", 1);
        setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);  // no offer to download Mono or Gecko
        setenv("WINEDEBUG", "-all", 1);
        if (!fs::exists(root + "/prefix/ready")) Create();
        for (int n : {1, 2}) {
            const fs::path device = root + "/prefix/dosdevices/com" + std::to_string(n);
            std::error_code ignored;
            fs::remove(device, ignored);
            fs::create_symlink(ComLink(n), device, ignored);
        }
    }
    ~Wine() {
        Run({"wineserver", "-k"}, 30s);  // leaves no Wine process behind
        close(lock);
    }
    Wine(const Wine&) = delete;
    Wine& operator=(const Wine&) = delete;

    const std::string& Error() const { return error; }
    // What COMn leads to: the link a simulator makes to its pseudo-terminal.
    std::string ComLink(int n) const { return root + "/com" + std::to_string(n); }

    // Runs a command of Wine's under a time limit; `timeout` ends it even when Wine hangs.
    ProgramResult Run(const std::vector<std::string>& command, std::chrono::seconds limit) const {
        return testing::RunProgram("/usr/bin/timeout", Timed(command, limit), limit + 10s);
    }
    pid_t Start(const std::vector<std::string>& command, std::chrono::seconds limit,
                const std::string& outPath) const {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        const pid_t pid =
            testing::SpawnChild("/usr/bin/timeout", Timed(command, limit), -1, out, "/dev/null");
        close(out);
        return pid;
    }

  private:
    static std::vector<std::string> Timed(const std::vector<std::string>& command,
                                          std::chrono::seconds limit) {
        std::vector<std::string> args{"-k", "5", std::to_string(limit.count())};
        args.insert(args.end(), command.begin(), command.end());
        return args;
    }

    // The ports are named in the registry too: Wine's mount manager rewrites dosdevices/comN
    // from what it finds (/dev/ttyS0 first) whenever its server starts, unless told otherwise.
    void Create() {
        fs::remove_all(root + "/prefix");
        std::vector<std::vector<std::string>> steps{{"wine", "wineboot", "--init"}};
        for (int n : {1, 2})
            steps.push_back({"wine", "reg", "add", "HKLM\\Software\\Wine\\Ports", "/v",
                             "COM" + std::to_string(n), "/d", ComLink(n), "/f"});
        steps.push_back({"wineserver", "-w"});
        for (const auto& step : steps) {
            const ProgramResult r = Run(step, 180s);
            if (r.exitCode != 0) {
                error = step[1] + " failed (" + std::to_string(r.exitCode) + "): " + r.err;
                return;
            }
        }
        testing::WriteBytes(root + "/prefix/ready", "");
    }

    std::string root;
    std::string error;
    int lock = -1;
};

class Rs232DllTest : public ::testing::TestWithParam<const char*> {
  protected:
    std::string Arch() const { return GetParam(); }
    std::string Program(const std::string& name) const { return BuildDir(Arch()) + "/" + name; }
};

#define SKIP_WITHOUT_TOOLS(underWine)                                  \
    if (const std::string missing = MissingTools(Arch(), underWine); \
        !missing.empty())                                              \
    GTEST_SKIP() << missing

TEST_P(Rs232DllTest, ExportsTheNineNamesAndImportsOnlySystemDlls) {
    SKIP_WITHOUT_TOOLS(false);
    std::set<std::string> exported, imported;
    for (const std::string& line : Lines(Shell(RS232_OBJDUMP " -p " + Program("rs232.dll")))) {
        if (const auto at = line.find("DLL Name: "); at != std::string::npos)
            imported.insert(line.substr(at + 10));
        std::smatch name;  // the export name table's lines: "\t[   3] _Receive"
        if (std::regex_match(line, name, std::regex("\t\\[ *[0-9]+\\] ([^ ]+)")))
            exported.insert(name[1]);
    }
    EXPECT_EQ(exported, (std::set<std::string>{"_mymessage", "_SetRS232Parameters", "_OpenRS232",
                                               "_CloseRS232", "_SendBuffer", "_SendString",
                                               "_Receive", "_SetHandle", "_GetChHandle"}));
    EXPECT_EQ(imported, (std::set<std::string>{"KERNEL32.dll", "USER32.dll", "msvcrt.dll"}));
}

termios LineSettings(const std::string& path) {
    termios t{};
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    EXPECT_EQ(tcgetattr(fd, &t), 0) << path;
    close(fd);
    return t;
}

// COM1 answers with 40 bytes more than its frame: the receive keeps 20 and drops the rest.
TEST_P(Rs232DllTest, WineRunsEveryExportAgainstTwoSimulators) {
    SKIP_WITHOUT_TOOLS(true);
    Wine wine(Arch());
    ASSERT_EQ(wine.Error(), "");
    testing::TempDir dir;
    testing::SimProcess com1(
        {"--link", wine.ComLink(1), "--serial", "4660", "--record", dir.File("com1")});
    testing::SimProcess com2(
        {"--link", wine.ComLink(2), "--serial", "22136", "--record", dir.File("com2")});
    com1.Send("overlong 40");
    ASSERT_EQ(com1.ReadLine(), "overlong 40");

    const ProgramResult run = wine.Run({"wine", Program("rs232-dll-check.exe"), "exchange"}, 60s);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const std::string burst = "03 AD 12 34 55 56 57 58 59 5A 5B 5C 5D 5E 5F 60 61 62 63 64";
    EXPECT_EQ(Lines(run.out), (std::vector<std::string>{
                                  "at_load null",
                                  "bad_open invalid",
                                  "bad_current invalid",
                                  "bad_parameters 0",
                                  "bad_send 0",
                                  "bad_receive 0",
                                  "open_com1 handle",
                                  "open_com2 handle",
                                  "current com2",
                                  "parameters_9600 1",
                                  "send_string 2",
                                  "reply_com2 03 AD 56 78",
                                  "send_empty 0",
                                  "quiet_com2",
                                  "set_handle com1",
                                  "send_buffer 2",
                                  "reply_com1 " + burst,
                                  "send_buffer 2",
                                  "reply_com1_again " + burst,
                                  "closed null",
                                  "closed_twice null",
                                  "send_after_close 2",
                                  "reply_after_close 03 AD 56 78",
                              }));
    // Exactly the requests sent, and nothing for the empty send.
    EXPECT_EQ(testing::ReadBytes(dir.File("com1")), "01 2D\n01 2D\n");
    EXPECT_EQ(testing::ReadBytes(dir.File("com2")), "01 2D\n01 2D\n");

    // What Wine made of the settings, on the Linux side of the line: the open's 2400 baud on
    // COM1, 9600 on COM2; mark parity (the pty keeps CMSPAR and PARODD, never PARENB), 2 stop
    // bits, no flow control.
    for (const auto& [link, speed] : {std::pair{wine.ComLink(1), speed_t(B2400)},
                                      std::pair{wine.ComLink(2), speed_t(B9600)}}) {
        const termios t = LineSettings(link);
        EXPECT_EQ(cfgetospeed(&t), speed) << link;
        EXPECT_EQ(t.c_cflag & (CSIZE | CSTOPB | CMSPAR | PARODD | CRTSCTS),
                  tcflag_t(CS8 | CSTOPB | CMSPAR | PARODD))
            << link;
        EXPECT_EQ(t.c_iflag & (INPCK | IXON | IXOFF), tcflag_t(INPCK)) << link;
    }
}

// rs232-status.exe is linked with the import library, as a C caller builds against the DLL.
TEST_P(Rs232DllTest, WineRunsTheExampleThroughTheImportLibrary) {
    SKIP_WITHOUT_TOOLS(true);
    Wine wine(Arch());
    ASSERT_EQ(wine.Error(), "");
    testing::SimProcess com1({"--link", wine.ComLink(1)});

    const ProgramResult status = wine.Run({"wine", Program("rs232-status.exe"), "COM1"}, 60s);
    EXPECT_EQ(status.exitCode, 0) << status.err;
    EXPECT_THAT(status.out, ::testing::MatchesRegex("09 A8( [0-9A-F][0-9A-F]){8}\r?\n"));

    const ProgramResult missing = wine.Run({"wine", Program("rs232-status.exe"), "COM7"}, 60s);
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_THAT(missing.err, ::testing::HasSubstr("rs232-status: cannot open COM7: no such port"));
}

TEST_P(Rs232DllTest, WineShowsTheMessageBoxAndGivesIdokWhenItIsClosed) {
    SKIP_WITHOUT_TOOLS(true);
    testing::XSession x;  // first, so that Wine's processes see its display
    Wine wine(Arch());
    ASSERT_EQ(wine.Error(), "");
    testing::TempDir dir;
    const pid_t check =
        wine.Start({"wine", Program("rs232-dll-check.exe"), "message"}, 60s, dir.File("out"));

    const unsigned long box = x.FindWindow("test", 30s);
    ASSERT_NE(box, 0u) << "no window with the caption \"test\"";
    // OK is the box's default button: a click on the box gives it the keyboard, Return presses
    // OK. Repeated until the program ends, in case the first keys came before the focus.
    int exitCode = -1;
    testing::WaitUntil(
        [&] {
            Shell("xdotool mousemove --window " + std::to_string(box) +
                  " 5 5 click 1 key Return 2>/dev/null");
            return (exitCode = testing::WaitForExit(check, 1s)) >= 0;
        },
        20s, 0ms);
    if (exitCode < 0) kill(check, SIGKILL);
    EXPECT_EQ(exitCode, 0);
    EXPECT_EQ(Lines(testing::ReadBytes(dir.File("out"))),
              std::vector<std::string>{"mymessage 1"});  // IDOK
}

INSTANTIATE_TEST_SUITE_P(Windows, Rs232DllTest, ::testing::Values("x86_64", "i686"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace pulsedesk::rs232
