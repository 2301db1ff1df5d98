// The program's few arguments, read before anything is opened: no file, no port, no display.
#pragma once

#include <string>

namespace pulsedesk::app {

enum class CommandLineRequest { Run, Version, Help, Misuse };

// No argument runs the panel; "--version" or "--help" alone asks for that text; anything else
// is misuse.
CommandLineRequest ParseCommandLine(int argc, const char* const* argv);

std::string VersionText();
std::string UsageText();

}  // namespace pulsedesk::app
