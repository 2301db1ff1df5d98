#include "reports/FileAccess.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "fileio/FileError.h"
#include "fileio/WholeFile.h"
#include "reports/ReportError.h"

namespace pulsedesk::reports {

std::string ReadWholeFile(const std::string& path, std::size_t limit) {
    try {
        return fileio::ReadWholeFile(path, limit);
    } catch (const fileio::FileError& error) {
        throw ReportError(error.what());
    }
}

std::string_view ReadWholeFile(const std::string& path, std::size_t limit, std::string& room) {
    try {
        return fileio::ReadWholeFile(path, limit, room);
    } catch (const fileio::FileError& error) {
        throw ReportError(error.what());
    }
}

void ReplaceFile(FileWriter& writer, const std::string& path, const std::string& bytes) {
    try {
        writer.Replace(path, bytes);
    } catch (const fileio::FileError& error) {
        throw ReportError(error.what());
    }
}

bool PathExists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRegularFile(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::vector<std::string> ListMatchingNames(const std::string& folder, const std::string& pattern) {
    std::vector<std::string> names;
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr)
        throw ReportError("cannot read the folder " + folder + ": " + std::strerror(errno));
    errno = 0;
    while (dirent* entry = ::readdir(listing)) {
        if (::fnmatch(pattern.c_str(), entry->d_name, FNM_PERIOD) == 0)
            names.emplace_back(entry->d_name);
    }
    const int failure = errno;
    ::closedir(listing);
    if (failure != 0)
        throw ReportError("cannot read the folder " + folder + ": " + std::strerror(failure));
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> MatchingNames(const std::string& folder, const std::string& pattern) {
    try {
        return ListMatchingNames(folder, pattern);
    } catch (const ReportError&) {
        return {};
    }
}

bool MakeFolder(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

void RemoveFileQuietly(const std::string& path) { ::unlink(path.c_str()); }

}  // namespace pulsedesk::reports
