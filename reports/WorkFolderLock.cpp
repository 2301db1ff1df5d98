#include "reports/WorkFolderLock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "fileio/FileError.h"
#include "fileio/HolderLock.h"
#include "reports/ReportError.h"

namespace pulsedesk::reports {

WorkFolderLock::WorkFolderLock(const std::string& folder) {
    const std::string path = folder + "/" + kFileName;
    // Written only once the lock is ours, so a refused store never touches the holder's line.
    const std::string self = std::string(program_invocation_short_name) + " (process " +
                             std::to_string(getpid()) + ")\n";
    fileio::HolderLock lock = fileio::TakeHolderLock(path, O_NOFOLLOW, 0644, self);
    if (!lock.opened) throw ReportError(fileio::FileError("create lock", path, lock.error).what());
    if (lock.error == EWOULDBLOCK) {
        // The holder may not have written its name yet.
        throw FolderInUseError(folder, lock.holder.empty() ? "another process" : lock.holder);
    }
    if (lock.error != 0) throw ReportError(fileio::FileError("lock", path, lock.error).what());
    fd = std::move(lock.fd);
}

}  // namespace pulsedesk::reports
