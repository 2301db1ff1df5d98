#include "app/InstanceGuard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string>

namespace pulsedesk::app {

std::string InstanceGuard::LockPath(const std::string& executablePath) {
    std::string name = executablePath.substr(executablePath.find_last_of('/') + 1);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string folder = runtime != nullptr && *runtime != '\0' ? runtime : "/tmp";
    return folder + "/" + name;
}

namespace {

// Replaces what an earlier holder left in the file with our process id.
void WriteOwnPid(int fd) {
    const std::string text = std::to_string(getpid()) + "\n";
    if (ftruncate(fd, 0) != 0) return;
    [[maybe_unused]] const ssize_t n = pwrite(fd, text.data(), text.size(), 0);
}

pid_t ReadPid(int fd) {
    char text[24] = {};
    if (pread(fd, text, sizeof text - 1, 0) <= 0) return 0;
    const long pid = std::strtol(text, nullptr, 10);
    return pid > 0 ? static_cast<pid_t>(pid) : 0;
}

}  // namespace

InstanceGuard::InstanceGuard(const std::string& executablePath) {
    fd = open(LockPath(executablePath).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) {
        WriteOwnPid(fd);
        return;
    }
    anotherRuns = errno == EWOULDBLOCK;
    if (anotherRuns) holder = ReadPid(fd);
    close(fd);
    fd = -1;
}

InstanceGuard::~InstanceGuard() {
    if (fd >= 0) close(fd);
}

}  // namespace pulsedesk::app
