#pragma once

#include <string>
#include <string_view>

// The files that live beside the program and are named after it.
namespace pulsedesk::config {

// The executable's path with the extension of its file name replaced by `extension` (".cfg"),
// or `extension` appended when the file name has none. A "." in a folder name, or at the very
// start of the file name, never counts: /opt/bench.d/pulsedesk gives /opt/bench.d/pulsedesk.cfg,
// /x/bench.exe gives /x/bench.cfg.
std::string SiblingFileName(std::string_view exePath, std::string_view extension);

// A file named exactly, for the settings or message file found somewhere other than beside the
// program.
struct ExactFile {
    std::string path;
};

// True when `fileName` names a regular file (a link to one included): a folder, a pipe or a
// device is no settings or message file, and reading a pipe would wait on its writer.
bool IsExistingFile(const std::string& fileName);

}  // namespace pulsedesk::config
