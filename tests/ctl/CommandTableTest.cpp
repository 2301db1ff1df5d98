// pulsectl's command table: the program's help and the man page list every command it holds and
// every option a command's help names, and a mistyped command is answered with the nearest one.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "ctl/CommandLine.h"
#include "support/TempDir.h"

namespace pulsedesk::ctl {
namespace {

std::set<std::string> OptionsIn(const std::string& text) {
    static const std::regex option("--[a-z][a-z-]*");
    std::set<std::string> found;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option);
         it != std::sregex_iterator(); ++it)
        found.insert(it->str());
    return found;
}

// The man page's COMMANDS section as plain text, one string per entry (tag line and body); the
// roff font changes become spaces and "\-" a minus.
std::vector<std::string> ManPageEntries() {
    std::string man = testing::ReadBytes(PULSEDESK_MAN_PAGE);
    man = std::regex_replace(man, std::regex(R"(\\f[BIRP])"), " ");
    man = std::regex_replace(man, std::regex(R"(\\-)"), "-");
    std::vector<std::string> entries;
    std::istringstream lines(man.substr(man.find(".SH COMMANDS"), man.find(".SH EXIT")));
    bool inCommands = false;
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind(".SH", 0) == 0) inCommands = line == ".SH COMMANDS";
        if (!inCommands) continue;
        if (line == ".TP")
            entries.emplace_back();
        else if (!entries.empty())
            entries.back() += line + "\n";
    }
    return entries;
}

bool TagNames(const std::string& entry, const std::string& command) {
    const std::string tag = entry.substr(0, entry.find('\n'));
    return std::regex_search(tag, std::regex("(^|[^a-z-])" + command + "($|[^a-z-])"));
}

TEST(CommandTable, HelpAndManPageNameEveryCommandAndItsOptions) {
    const std::string programHelp = HelpText("");
    const std::vector<std::string> entries = ManPageEntries();
    ASSERT_FALSE(entries.empty());
    for (const Command& c : Commands()) {
        EXPECT_NE(programHelp.find("\n  " + c.synopsis), std::string::npos) << c.name;
        EXPECT_EQ(HelpText(c.name), c.help);
        EXPECT_EQ(c.help.rfind("Usage: pulsectl " + c.name, 0), 0u) << c.help;
        std::set<std::string> documented;
        for (const std::string& entry : entries)
            if (TagNames(entry, c.name)) documented.merge(OptionsIn(entry));
        EXPECT_FALSE(documented.empty() && !OptionsIn(c.help).empty()) << "no entry: " << c.name;
        for (const std::string& option : OptionsIn(c.help))
            EXPECT_TRUE(documented.count(option)) << c.name << " " << option;
    }
}

TEST(CommandTable, AMistypedCommandGetsTheNearestOne) {
    const struct {
        const char* typed;
        const char* suggested;
    } cases[] = {{"stauts", "status"},
                 {"rep", "report"},
                 {"mesure", "measure"},
                 {"plataeu", "plateau"},
                 {"count-limt", "count-limit"},
                 {"frobnicate", ""},
                 {"xy", ""}};
    for (const auto& c : cases) EXPECT_EQ(SuggestCommand(c.typed), c.suggested) << c.typed;
}

}  // namespace
}  // namespace pulsedesk::ctl
