#include "app/InstanceGuard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>

namespace pulsedesk::app {

std::string InstanceGuard::LockPath(const std::string& executablePath) {
    std::string name = executablePath.substr(executablePath.find_last_of('/') + 1);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const std::string folder = runtime != nullptr && *runtime != '\0' ? runtime : "/tmp";
    return folder + "/" + name;
}

InstanceGuard::InstanceGuard(const std::string& executablePath) {
    fd = open(LockPath(executablePath).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return;
    anotherRuns = errno == EWOULDBLOCK;
    close(fd);
    fd = -1;
}

InstanceGuard::~InstanceGuard() {
    if (fd >= 0) close(fd);
}

}  // namespace pulsedesk::app
