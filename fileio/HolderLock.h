// An exclusive flock on a lock file that names its holder. The kernel drops the lock when the
// holder ends, however it ends, so a crash never leaves it held; the text the holder wrote
// stays in the file, and only a refused process reads it.
#pragma once

#include <sys/types.h>

#include <string>

#include "fileio/UniqueFd.h"

namespace pulsedesk::fileio {

struct HolderLock {
    UniqueFd fd;          // holds the lock while valid
    bool opened = false;  // the file could be opened (or made)
    int error = 0;        // the errno of the failed open or lock; EWOULDBLOCK: another holds it
    std::string holder;   // when another holds it: what it wrote, trailing newlines cut
};

// Opens (making it with `mode`) and locks the file without waiting; the holder's text replaces
// the file's content only once the lock is ours. extraFlags are added to O_RDWR | O_CREAT.
HolderLock TakeHolderLock(const std::string& path, int extraFlags, mode_t mode,
                          const std::string& holderText);

}  // namespace pulsedesk::fileio
