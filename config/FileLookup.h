// Where the panel and pulsectl find the settings and message files and where reports go. A portable
// copy keeps everything beside the executable; an installed program reads the user's copy or
// the system's and writes its reports into the user's data folder.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "config/SiblingFile.h"

namespace pulsedesk::config {

// The folders tried after the executable's own, each without a trailing "/". An empty user
// folder (neither the XDG variable nor HOME set) is skipped.
struct LookupRoots {
    std::string userConfig;  // $XDG_CONFIG_HOME/pulsedesk, default ~/.config/pulsedesk
    std::string userData;    // $XDG_DATA_HOME/pulsedesk, default ~/.local/share/pulsedesk
    std::string systemConfig = "/etc/pulsedesk";
    std::string systemData = "/usr/share/pulsedesk";
};

// The folder of the running program, with a trailing "/"; empty when /proc does not say.
std::string ProgramFolder();

// The roots from XDG_CONFIG_HOME, XDG_DATA_HOME and HOME; a relative XDG value counts as unset.
LookupRoots RootsFromEnvironment();

// Every place the file may be, in the order tried; the first is always the file beside the
// executable, which the start-up error texts name.
std::vector<std::string> SettingsFileCandidates(std::string_view exePath, const LookupRoots& roots);
std::vector<std::string> MessageFileCandidates(std::string_view exePath, const LookupRoots& roots);

// The first candidate that is an existing file; empty when none is.
std::string FirstExistingFile(const std::vector<std::string>& candidates);

// The first candidate found, else the first candidate (beside the program), which is then what
// a missing file's error text names.
ExactFile ChooseFile(const std::vector<std::string>& candidates);

// One line for standard error: what was looked for and every path tried.
std::string TriedPathsText(std::string_view what, const std::vector<std::string>& candidates);

// The report tree's root when "Work_Folder" is empty, with a trailing "/": the executable's
// folder for a portable copy (settings beside the program, folder writable), otherwise the
// user's data folder's "reports", which the report store creates on first use.
std::string DefaultWorkFolder(std::string_view exePath, const std::string& settingsFile,
                              const LookupRoots& roots);

}  // namespace pulsedesk::config
