#pragma once

#include <cstddef>
#include <limits>
#include <string>

namespace pulsedesk::fileio {

// The whole file; raises FileError ("read") when it cannot be read or is no regular file (a
// folder gives EISDIR, a pipe or a device EINVAL), so that a read never waits on a writer. A
// file of more than limit bytes gives EFBIG, before it is read.
std::string ReadWholeFile(const std::string& path,
                          std::size_t limit = std::numeric_limits<std::size_t>::max());

}  // namespace pulsedesk::fileio
