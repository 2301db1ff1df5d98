#pragma once

#include <string>

namespace pulsedesk::fileio {

// The whole file; raises FileError ("read") when it cannot be read or is no regular file (a
// folder gives EISDIR, a pipe or a device EINVAL), so that a read never waits on a writer.
std::string ReadWholeFile(const std::string& path);

}  // namespace pulsedesk::fileio
