#include "fileio/UniqueFd.h"

#include <unistd.h>

#include <utility>

namespace pulsedesk::fileio {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        Reset();
        fd = other.Release();
    }
    return *this;
}

int UniqueFd::Release() { return std::exchange(fd, -1); }

void UniqueFd::Reset() {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

}  // namespace pulsedesk::fileio
