// One writer per work folder. Each report store keeps its record number and file name in
// memory, so two stores on one folder would interleave records and lose lines. The store holds
// this lock while it writes (a program's whole run, or the panel's open study): an flock on a
// lock file in the work folder, which the kernel drops when the holder ends, even after a crash.
// The file names the holder (process id and program) for whoever is refused.
#pragma once

#include <string>

#include "fileio/UniqueFd.h"

namespace pulsedesk::reports {

class WorkFolderLock {
  public:
    static constexpr const char* kFileName = ".pulsedesk.lock";

    // Takes the lock on the folder, which must exist. Raises FolderInUseError when another store
    // holds it, or ReportError with the reason when the lock file cannot be made.
    explicit WorkFolderLock(const std::string& folder);
    WorkFolderLock(const WorkFolderLock&) = delete;
    WorkFolderLock& operator=(const WorkFolderLock&) = delete;

  private:
    fileio::UniqueFd fd;
};

}  // namespace pulsedesk::reports
