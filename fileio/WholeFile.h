#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

namespace pulsedesk::fileio {

// The whole file; raises FileError ("read") when it cannot be read or is no regular file (a
// folder gives EISDIR, a pipe or a device EINVAL), so that a read never waits on a writer. A
// file of more than limit bytes gives EFBIG, before it is read.
std::string ReadWholeFile(const std::string& path,
                          std::size_t limit = std::numeric_limits<std::size_t>::max());
// The same, read into `room`, which keeps its length and is written over: a reader of file after
// file keeps one buffer, not a new one for each that is faulted in page by page, and the bytes
// are not copied on from a buffer of their own. Returns the bytes, at the room's start.
std::string_view ReadWholeFile(const std::string& path, std::size_t limit, std::string& room);

}  // namespace pulsedesk::fileio
