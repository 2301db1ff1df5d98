// Where the panel and pulsectl look for their files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>

#include "config/FileLookup.h"
#include "support/TempDir.h"

namespace pulsedesk::config {
namespace {

using testing::TempDir;

// Sets or unsets an environment variable for one test and puts the old value back.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, std::optional<std::string> value) : name(name) {
        if (const char* old = std::getenv(name)) saved = old;
        if (value)
            setenv(name, value->c_str(), 1);
        else
            unsetenv(name);
    }
    ~ScopedVariable() {
        if (saved)
            setenv(name, saved->c_str(), 1);
        else
            unsetenv(name);
    }

  private:
    const char* name;
    std::optional<std::string> saved;
};

TEST(FileLookupTest, UserFoldersFollowXdgThenHome) {
    struct Case {
        std::optional<std::string> xdgConfig, xdgData, home;
        std::string userConfig, userData;
    };
    const Case cases[] = {
        {"/x/cfg", "/x/data", "/home/op", "/x/cfg/pulsedesk", "/x/data/pulsedesk"},
        {std::nullopt, std::nullopt, "/home/op", "/home/op/.config/pulsedesk",
         "/home/op/.local/share/pulsedesk"},
        {"", "", "/home/op", "/home/op/.config/pulsedesk", "/home/op/.local/share/pulsedesk"},
        // A relative XDG value is not a base folder.
        {"rel/cfg", "rel/data", "/home/op", "/home/op/.config/pulsedesk",
         "/home/op/.local/share/pulsedesk"},
        {std::nullopt, std::nullopt, std::nullopt, "", ""},
        {"/x/cfg", std::nullopt, std::nullopt, "/x/cfg/pulsedesk", ""},
    };
    for (const Case& c : cases) {
        ScopedVariable config("XDG_CONFIG_HOME", c.xdgConfig);
        ScopedVariable data("XDG_DATA_HOME", c.xdgData);
        ScopedVariable home("HOME", c.home);
        const LookupRoots roots = RootsFromEnvironment();
        EXPECT_EQ(roots.userConfig, c.userConfig) << c.home.value_or("(no HOME)");
        EXPECT_EQ(roots.userData, c.userData) << c.home.value_or("(no HOME)");
        EXPECT_EQ(roots.systemConfig, "/etc/pulsedesk");
        EXPECT_EQ(roots.systemData, "/usr/share/pulsedesk");
    }
}

TEST(FileLookupTest, CandidatesStartBesideTheProgramThenUserThenSystem) {
    const LookupRoots roots{"/u/cfg/pulsedesk", "/u/data/pulsedesk", "/etc/pulsedesk",
                            "/usr/share/pulsedesk"};
    EXPECT_EQ(
        SettingsFileCandidates("/opt/bench/pulsedesk", roots),
        (std::vector<std::string>{"/opt/bench/pulsedesk.cfg", "/u/cfg/pulsedesk/pulsedesk.cfg",
                                  "/etc/pulsedesk/pulsedesk.cfg"}));
    // A renamed copy keeps its own sibling name; the shared folders hold pulsedesk.msg.
    EXPECT_EQ(MessageFileCandidates("/opt/bench/bench2", roots),
              (std::vector<std::string>{"/opt/bench/bench2.msg", "/u/data/pulsedesk/pulsedesk.msg",
                                        "/usr/share/pulsedesk/pulsedesk.msg"}));
    const LookupRoots noHome{"", "", "/etc/pulsedesk", "/usr/share/pulsedesk"};
    EXPECT_EQ(SettingsFileCandidates("/usr/bin/pulsedesk", noHome),
              (std::vector<std::string>{"/usr/bin/pulsedesk.cfg", "/etc/pulsedesk/pulsedesk.cfg"}));
}

TEST(FileLookupTest, TheFirstExistingFileWinsAndAFolderNeverCounts) {
    TempDir dir;
    const std::string a = dir.File("a.cfg"), b = dir.Write("b.cfg", "[SYSTEM]\n"),
                      c = dir.Write("c.cfg", "[SYSTEM]\n"), folder = dir.File("d.cfg");
    std::filesystem::create_directory(folder);
    EXPECT_EQ(FirstExistingFile({a, b, c}), b);
    EXPECT_EQ(FirstExistingFile({c, b}), c);
    EXPECT_EQ(FirstExistingFile({folder, a}), "");
    EXPECT_EQ(FirstExistingFile({}), "");
    EXPECT_EQ(TriedPathsText("settings file", {a, b}),
              "Looked for the settings file in: " + a + " " + b);
}

TEST(FileLookupTest, ReportsStayBesideAPortableCopyAndGoToUserDataOtherwise) {
    TempDir dir;
    const std::string exe = dir.File("pulsedesk");
    const LookupRoots roots{"/u/cfg/pulsedesk", "/u/data/pulsedesk"};
    EXPECT_EQ(DefaultWorkFolder(exe, dir.File("pulsedesk.cfg"), roots), dir.Path() + "/");
    EXPECT_EQ(DefaultWorkFolder(exe, "/u/cfg/pulsedesk/pulsedesk.cfg", roots),
              "/u/data/pulsedesk/reports/");
    EXPECT_EQ(DefaultWorkFolder(exe, "/etc/pulsedesk/pulsedesk.cfg", roots),
              "/u/data/pulsedesk/reports/");
    // Settings beside a program in a folder it cannot write to: not a usable portable copy.
    EXPECT_EQ(DefaultWorkFolder(dir.File("gone/pulsedesk"), dir.File("gone/pulsedesk.cfg"), roots),
              "/u/data/pulsedesk/reports/");
    // No user folder known at all: the program's folder is the only place left.
    EXPECT_EQ(DefaultWorkFolder(exe, "/etc/pulsedesk/pulsedesk.cfg", LookupRoots{}),
              dir.Path() + "/");
}

}  // namespace
}  // namespace pulsedesk::config
