// The package as a lab installs it: unpacked into a temporary root and run from there in an X
// server against pulsesim, with HOME and the XDG folders in temporary folders, so that nothing
// but the user's folders may change. A portable copy of build/bin still keeps its reports.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>

#include "e2e/XSession.h"
#include "support/SimProcess.h"
#include "support/Wait.h"

namespace pulsedesk::testing {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Every path below `folder`, to tell whether anything was written there.
std::set<std::string> Tree(const std::string& folder) {
    std::set<std::string> paths;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        paths.insert(entry.path().string());
    return paths;
}

// The settings file with some keys replaced, Windows-1251 bytes and CR LF kept.
void CopySettings(const std::string& from, const std::string& to,
                  const std::vector<std::string>& lines) {
    fs::create_directories(fs::path(to).parent_path());
    std::ifstream in(from, std::ios::binary);
    std::ofstream out(to, std::ios::binary);
    for (std::string line; std::getline(in, line);) {
        for (const std::string& replacement : lines)
            if (line.rfind(replacement.substr(0, replacement.find('=') + 1), 0) == 0)
                line = replacement + "\r";
        out << line << '\n';
    }
}

std::string ReportsBelow(const std::string& folder) {
    std::string text;
    if (!fs::exists(folder)) return text;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        if (entry.path().extension() == ".rep") text += ReadBytes(entry.path());
    return text;
}

class PackageInstallTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        x = new XSession;
        root = new TempDir;
        ASSERT_EQ(Shell("dpkg -x '" PULSEDESK_DEB "' '" + root->Path() + "' && echo ok"), "ok\n");
    }
    static void TearDownTestSuite() {
        delete x;
        delete root;
    }
    void SetUp() override {
        for (const char* name : {"home", "config", "data", "run"})
            fs::create_directory(dir.File(name));
        chmod(dir.File("run").c_str(), 0700);
        SetVariable("HOME", dir.File("home"));
        SetVariable("XDG_CONFIG_HOME", dir.File("config"));
        SetVariable("XDG_DATA_HOME", dir.File("data"));
        SetVariable("XDG_RUNTIME_DIR", dir.File("run"));
        SetVariable("PULSEDESK_TRACE", dir.File("trace.log"));
    }
    void TearDown() override {
        for (pid_t pid : started) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        for (const auto& [name, value] : savedVariables)
            value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
    }
    void SetVariable(const std::string& name, const std::string& value) {
        if (!savedVariables.count(name)) {
            const char* old = getenv(name.c_str());
            savedVariables[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        setenv(name.c_str(), value.c_str(), 1);
    }
    static std::string Installed(const std::string& path) { return root->Path() + path; }
    // The packaged files as the user's own copies: settings edited for this bench.
    void InstallUserFiles(const std::vector<std::string>& settings) {
        CopySettings(Installed("/etc/pulsedesk/pulsedesk.cfg"),
                     dir.File("config/pulsedesk/pulsedesk.cfg"), settings);
        fs::create_directories(dir.File("data/pulsedesk"));
        fs::copy_file(Installed("/usr/share/pulsedesk/pulsedesk.msg"),
                      dir.File("data/pulsedesk/pulsedesk.msg"));
    }
    pid_t Start(const std::string& program, const std::vector<std::string>& args = {}) {
        const pid_t pid = SpawnChild(program, args, -1, -1, dir.File("stderr.txt"));
        started.push_back(pid);
        return pid;
    }
    int TraceCount(const std::string& bytes) const {
        const std::string trace = ReadBytes(dir.File("trace.log"));
        int seen = 0;
        for (auto at = trace.find(bytes); at != std::string::npos; at = trace.find(bytes, at + 1))
            ++seen;
        return seen;
    }
    // Clicks again while the panel is still busy with the previous command, until the request
    // goes out.
    bool ClickUntilSent(int x0, int y0, const std::string& request) {
        return WaitUntil(
            [&] {
                x->Click(x0, y0);
                return WaitUntil([&] { return TraceCount(request) > 0; }, 1s);
            },
            10s);
    }
    // Opens a study, selects the count-limit mode and starts one measurement.
    void MeasureOnce() {
        ASSERT_NE(x->FindWindow("QEV-C2"), 0u) << ReadBytes(dir.File("stderr.txt"));
        ASSERT_TRUE(ClickUntilSent(464, 61, "> 02 41 00"));  // НАЧАТЬ ИССЛЕДОВАНИЕ
        ASSERT_TRUE(ClickUntilSent(535, 201, "> 02 43 03"));  // sbMode3: count to the limit
        ASSERT_TRUE(ClickUntilSent(479, 565, "> 02 41 01"));  // ПУСК
    }

    static XSession* x;
    static TempDir* root;
    TempDir dir;
    std::vector<pid_t> started;
    std::map<std::string, std::optional<std::string>> savedVariables;
};

XSession* PackageInstallTest::x = nullptr;
TempDir* PackageInstallTest::root = nullptr;

TEST_F(PackageInstallTest, InstalledPanelWritesItsReportsIntoTheUserDataFolderOnly) {
    SimProcess sim({"--link", dir.File("counter"), "--rate", "2000"});
    InstallUserFiles({"COM-Port=" + dir.File("counter"), "Repeat_Counter=1"});
    const std::set<std::string> before = Tree(root->Path());
    Start(Installed("/usr/bin/pulsedesk"));
    MeasureOnce();
    const std::string reports = dir.File("data/pulsedesk/reports");
    EXPECT_TRUE(
        WaitUntil([&] { return ReportsBelow(reports).find("N=") != std::string::npos; }, 10s))
        << ReportsBelow(reports) << ReadBytes(dir.File("trace.log")).substr(0, 4000);
    EXPECT_EQ(Tree(root->Path()), before) << "written beside the installed program";
    EXPECT_FALSE(fs::exists(dir.File("home/.local"))) << "XDG_DATA_HOME not followed";
}

TEST_F(PackageInstallTest, APortableCopyStillWritesBesideItself) {
    SimProcess sim({"--link", dir.File("counter")});
    InstallUserFiles({"COM-Port=" + dir.File("no-such-port")});  // must not be the one read
    fs::create_directory(dir.File("portable"));
    for (const char* name : {"pulsedesk", "pulsedesk.msg"})
        fs::copy_file(BinDir() + "/" + name, dir.File("portable/") + name);
    CopySettings(BinDir() + "/pulsedesk.cfg", dir.File("portable/pulsedesk.cfg"),
                 {"COM-Port=" + dir.File("counter")});
    Start(dir.File("portable/pulsedesk"));
    ASSERT_NE(x->FindWindow("QEV-C2"), 0u) << ReadBytes(dir.File("stderr.txt"));
    EXPECT_TRUE(WaitUntil([&] { return !ReportsBelow(dir.File("portable")).empty(); }));
    EXPECT_FALSE(fs::exists(dir.File("data/pulsedesk/reports")));
}

TEST_F(PackageInstallTest, TheInstalledPanelReachesMuxserverThroughTheSystemsLibraryFolder) {
    SimProcess sim({"--link", dir.File("counter")});
    InstallUserFiles({"TarlinkSupport=1"});
    const std::string socket = "unix:" + dir.File("mux.sock");
    Start(Installed("/usr/bin/muxserver"), {"--port", dir.File("counter"), "--listen", socket});
    SetVariable("PULSEDESK_MUX", socket);
    // The unpacked root stands in for the system's library folder.
    SetVariable("LD_LIBRARY_PATH", Installed("/usr/lib/x86_64-linux-gnu"));
    Start(Installed("/usr/bin/pulsedesk"));
    EXPECT_NE(x->FindWindow("QEV-C2"), 0u) << ReadBytes(dir.File("stderr.txt"));
}

// An ordinary user whose settings are only the system's: /etc and /usr/share are overlaid in a
// private mount namespace with this bench's settings and the package's messages.
TEST_F(PackageInstallTest, InstalledPulsectlFindsTheSystemSettingsAndMessagesLikeThePanel) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root for a private mount namespace";
    SimProcess sim({"--link", dir.File("counter")});
    CopySettings(Installed("/etc/pulsedesk/pulsedesk.cfg"), dir.File("etc/pulsedesk/pulsedesk.cfg"),
                 {"COM-Port=" + dir.File("counter")});
    for (const std::string& path : {dir.Path(), root->Path(), sim.SlavePath()})
        chmod(path.c_str(), path == sim.SlavePath() ? 0666 : 0755);
    sim.Send("error 5");
    ASSERT_EQ(sim.ReadLine(), "error 5");
    const std::string asUser =
        "unshare -m sh -c \"mount -t overlay overlay -o lowerdir='" + dir.File("etc") +
        "':/etc /etc && mount -t overlay overlay -o lowerdir='" + Installed("/usr/share") +
        "':/usr/share /usr/share && exec setpriv --reuid=nobody --regid=nogroup --clear-groups "
        "env HOME=/nonexistent XDG_CONFIG_HOME= XDG_DATA_HOME= '" +
        Installed("/usr/bin/pulsectl") + "' status 2>&1\"; echo rc=$?";
    const std::string out = Shell(asUser);
    EXPECT_NE(out.find("state        error\n"), std::string::npos) << out;
    EXPECT_NE(out.find("error text   НАПРЯЖЕНИЕ ПИТАНИЯ ВНЕ ДОПУСКА\n"), std::string::npos) << out;
    EXPECT_EQ(out.substr(out.size() - 5), "rc=0\n") << out;
    EXPECT_EQ(Shell(Installed("/usr/bin/pulsectl") + " --version"), "pulsectl 1.12\n");
}

TEST_F(PackageInstallTest, VersionAndHelpNeedNoDisplayNoFilesAndNoFreeInstance) {
    const std::string program = Installed("/usr/bin/pulsedesk");
    // Another instance holds the lock, there is no display and no settings or message file.
    const std::string bare = "flock -n '" + dir.File("run/PULSEDESK") +
                             "' env -u DISPLAY HOME=/nonexistent XDG_CONFIG_HOME= "
                             "XDG_DATA_HOME= XDG_RUNTIME_DIR='" +
                             dir.File("run") + "' " + program;
    EXPECT_EQ(Shell(bare + " --version; echo rc=$?"), "pulsedesk 1.12\nrc=0\n");
    const std::string help = Shell(bare + " --help; echo rc=$?");
    EXPECT_EQ(help.rfind("Usage: pulsedesk [--help | --version]\n", 0), 0u) << help;
    EXPECT_NE(help.find("/etc/pulsedesk/pulsedesk.cfg"), std::string::npos) << help;
    EXPECT_EQ(help.substr(help.size() - 5), "rc=0\n");
    const std::string misuse = Shell(bare + " --port /dev/ttyS0 2>&1 >/dev/null; echo rc=$?");
    EXPECT_EQ(misuse.rfind("Usage: pulsedesk", 0), 0u) << misuse;
    EXPECT_EQ(misuse.substr(misuse.size() - 5), "rc=2\n");
}

}  // namespace
}  // namespace pulsedesk::testing
