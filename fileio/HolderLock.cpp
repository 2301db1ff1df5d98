#include "fileio/HolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace pulsedesk::fileio {

namespace {

std::string ReadHolder(int fd) {
    char text[256] = {};
    const ssize_t n = pread(fd, text, sizeof text - 1, 0);
    std::string holder = n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
    while (!holder.empty() && holder.back() == '\n') holder.pop_back();
    return holder;
}

}  // namespace

HolderLock TakeHolderLock(const std::string& path, int extraFlags, mode_t mode,
                          const std::string& holderText) {
    HolderLock lock;
    UniqueFd fd(open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | extraFlags, mode));
    lock.opened = fd.Valid();
    if (!lock.opened) {
        lock.error = errno;
        return lock;
    }
    if (flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        lock.error = errno;
        if (lock.error == EWOULDBLOCK) lock.holder = ReadHolder(fd.Get());
        return lock;
    }
    if (ftruncate(fd.Get(), 0) == 0) {
        [[maybe_unused]] const ssize_t n = pwrite(fd.Get(), holderText.data(), holderText.size(), 0);
    }
    lock.fd = std::move(fd);
    return lock;
}

}  // namespace pulsedesk::fileio
