// What each pulsectl command does once its command line is sound, and the one route from a
// command line to an exit code.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/ConfigFile.h"
#include "config/FileLookup.h"
#include "config/MessageFile.h"
#include "ctl/CommandLine.h"
#include "ctl/Counter.h"

namespace pulsedesk::ctl {

// The panel's own pulsedesk.cfg and pulsedesk.msg, found where the panel finds them: beside this
// program (a portable copy), in the user's folders, then in the system's.
struct PanelFiles {
    std::string besidePanel = config::ProgramFolder() + "pulsedesk";
    config::LookupRoots roots = config::RootsFromEnvironment();
    config::ConfigFile config{
        config::ChooseFile(config::SettingsFileCandidates(besidePanel, roots))};
    config::MessageFile messages{
        config::ChooseFile(config::MessageFileCandidates(besidePanel, roots))};

    std::string ErrorText(std::uint8_t code) const;
};

// What a command gets to act on: the files always, the counter and the journal's folder when
// its row in the command table asks for them.
struct Session {
    const PanelFiles& files;
    std::string command;  // its name, for what the device did not acknowledge
    Counter* counter = nullptr;
    std::string folder;
};

int ActStatus(const StatusOptions& o, Session& s);
int ActIdentify(const Invocation& inv, Session& s);
int ActWatch(const WatchOptions& o, Session& s);
int ActMeasure(const MeasureOptions& o, Session& s);
int ActMode(const ModeOptions& o, Session& s);
int ActCountLimit(const CountLimitOptions& o, Session& s);
int ActFrame(const FrameOptions& o, Session& s);          // sends the command's one frame
int ActFrameThenPoll(const FrameOptions& o, Session& s);  // start, stop, threshold
int ActReport(const Invocation& inv, Session& s);
int ActQa(const Invocation& inv, Session& s);

// Parses the arguments after the program's name, runs the command and returns the exit code;
// every failure is told on standard error here.
int RunPulsectl(const std::vector<std::string>& args);

}  // namespace pulsedesk::ctl
