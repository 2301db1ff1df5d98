#include "app/InstanceGuard.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "fileio/HolderLock.h"

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
    fileio::HolderLock lock =
        fileio::TakeHolderLock(LockPath(executablePath), 0, 0600, std::to_string(getpid()) + "\n");
    anotherRuns = lock.opened && lock.error == EWOULDBLOCK;
    if (anotherRuns) {
        const long pid = std::strtol(lock.holder.c_str(), nullptr, 10);
        holder = pid > 0 ? static_cast<pid_t>(pid) : 0;
    }
    fd = std::move(lock.fd);
}

}  // namespace pulsedesk::app
