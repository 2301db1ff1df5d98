#include "reports/WorkFolderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "fileio/FileError.h"
#include "reports/ReportError.h"

namespace pulsedesk::reports {

namespace {

// "pulsectl (process 4242)", as the holder wrote it; the holder may not have written yet.
std::string HolderOf(int fd) {
    char text[256] = {};
    const ssize_t n = pread(fd, text, sizeof text - 1, 0);
    std::string holder = n > 0 ? std::string(text, static_cast<std::size_t>(n)) : std::string();
    while (!holder.empty() && holder.back() == '\n') holder.pop_back();
    return holder.empty() ? "another process" : holder;
}

}  // namespace

WorkFolderLock::WorkFolderLock(const std::string& folder) {
    const std::string path = folder + "/" + kFileName;
    fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) throw ReportError(fileio::FileError("create lock", path, errno).what());
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        const std::string holder = error == EWOULDBLOCK ? HolderOf(fd) : std::string();
        close(fd);
        if (holder.empty()) throw ReportError(fileio::FileError("lock", path, error).what());
        throw ReportError("The work folder \"" + folder + "\" " + kWorkFolderInUse + " " + holder +
                          "; reports are written by one program at a time.");
    }
    NameHolder();
}

WorkFolderLock::~WorkFolderLock() {
    if (fd >= 0) close(fd);
}

// Written after the lock is taken, so a refused store never touches the holder's line.
void WorkFolderLock::NameHolder() const {
    const std::string holder = std::string(program_invocation_short_name) + " (process " +
                               std::to_string(getpid()) + ")\n";
    if (ftruncate(fd, 0) == 0) {
        [[maybe_unused]] const ssize_t n = pwrite(fd, holder.data(), holder.size(), 0);
    }
}

}  // namespace pulsedesk::reports
