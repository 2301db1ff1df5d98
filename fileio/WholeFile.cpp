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

std::string ReadWholeFile(const std::string& path, std::size_t limit) {
    std::size_t size = 0;
    const UniqueFd file = OpenRegularFile(path, limit, size);
    std::string bytes;
    bytes.reserve(size);  // one allocation for a file that does not grow meanwhile
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(file.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw FileError("read", path, errno);
        if (n == 0) return bytes;
        // A file that grows while it is read is held to the limit too.
        if (static_cast<std::size_t>(n) > limit - bytes.size())
            throw FileError("read", path, EFBIG);
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
}

}  // namespace pulsedesk::fileio
