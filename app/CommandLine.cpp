#include "app/CommandLine.h"

#include <string_view>

#include "version/Version.h"

namespace pulsedesk::app {

CommandLineRequest ParseCommandLine(int argc, const char* const* argv) {
    if (argc <= 1) return CommandLineRequest::Run;
    if (argc > 2) return CommandLineRequest::Misuse;
    const std::string_view argument = argv[1];
    if (argument == "--version") return CommandLineRequest::Version;
    if (argument == "--help") return CommandLineRequest::Help;
    return CommandLineRequest::Misuse;
}

std::string VersionText() { return "pulsedesk " + std::string(version::kVersionText) + "\n"; }

std::string UsageText() {
    return "Usage: pulsedesk [--help | --version]\n"
           "\n"
           "The front panel of the pulse-counting bench. Without arguments it opens the panel\n"
           "and polls the counter on the port that the settings file names.\n"
           "\n"
           "Files, the first one found is used:\n"
           "  settings  beside the program (pulsedesk.cfg), "
           "$XDG_CONFIG_HOME/pulsedesk/pulsedesk.cfg\n"
           "            (default ~/.config), /etc/pulsedesk/pulsedesk.cfg\n"
           "  messages  beside the program (pulsedesk.msg), "
           "$XDG_DATA_HOME/pulsedesk/pulsedesk.msg\n"
           "            (default ~/.local/share), /usr/share/pulsedesk/pulsedesk.msg\n"
           "  reports   Work_Folder of the settings; when empty, the program's folder for a\n"
           "            portable copy, else $XDG_DATA_HOME/pulsedesk/reports\n"
           "\n"
           "  --help     this text\n"
           "  --version  the program's version\n";
}

}  // namespace pulsedesk::app
