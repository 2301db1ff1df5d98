#include "fileio/WholeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "fileio/FileError.h"
#include "fileio/UniqueFd.h"

namespace pulsedesk::fileio {

namespace {

// Non-blocking, so that opening a named pipe does not wait for a writer.
UniqueFd OpenRegularFile(const std::string& path, std::size_t limit, std::size_t& size) {
    UniqueFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file.Valid()) throw FileError("read", path, errno);
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0) throw FileError("read", path, errno);
    // Pipes and devices never end like a file does: refuse them.
    if (!S_ISREG(info.st_mode))
        throw FileError("read", path, S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
    if (static_cast<std::uintmax_t>(info.st_size) > limit) throw FileError("read", path, EFBIG);
    size = static_cast<std::size_t>(info.st_size);
    return file;
}

}  // namespace

std::string_view ReadWholeFile(const std::string& path, std::size_t limit, std::string& room) {
    std::size_t size = 0;
    const UniqueFd file = OpenRegularFile(path, limit, size);
    // A byte beyond the size, so that the end is seen without growing the room when the file
    // does not grow meanwhile, and a margin for the next files, which are often a little
    // larger: growing a room copies what it holds and fills the rest with zeros.
    if (room.size() <= size) {
        room.clear();
        room.resize(size + size / 16 + 1);
    }
    std::size_t used = 0;
    for (;;) {
        if (used == room.size()) room.resize(2 * room.size());
        const ssize_t n = ::read(file.Get(), room.data() + used, room.size() - used);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw FileError("read", path, errno);
        if (n == 0) return {room.data(), used};
        // A file that grows while it is read is held to the limit too.
        if (static_cast<std::size_t>(n) > limit - used) throw FileError("read", path, EFBIG);
        used += static_cast<std::size_t>(n);
    }
}

std::string ReadWholeFile(const std::string& path, std::size_t limit) {
    std::string bytes;
    bytes.resize(ReadWholeFile(path, limit, bytes).size());
    return bytes;
}

}  // namespace pulsedesk::fileio
