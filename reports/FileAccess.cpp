#include "reports/FileAccess.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>

#include "reports/ReportError.h"

namespace pulsedesk::reports {

ReportError FileError(const std::string& action, const std::string& path, int errorNumber) {
    return ReportError("Cannot " + action + " file \"" + path +
                       "\": " + std::strerror(errorNumber) + " (errno " +
                       std::to_string(errorNumber) + ").");
}

namespace {

std::string FolderOf(const std::string& path) {
    auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
    auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A hidden name beside the target that no report or backup pattern matches.
std::string TemporaryNameFor(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    std::string folder = FolderOf(path);
    return (folder == "/" ? "" : folder) + "/." + BaseNameOf(path) + ".tmp-" +
           std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
    int Get() const { return fd; }
    int Release() { return std::exchange(fd, -1); }

  private:
    int fd;
};

int OpenTemporary(const std::string& path, std::string& temporary) {
    for (;;) {
        temporary = TemporaryNameFor(path);
        int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
}

// The replacement keeps the permissions of the file it replaces.
void KeepModeOf(const std::string& path, int fd) {
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && S_ISREG(old.st_mode)) ::fchmod(fd, old.st_mode & 07777);
}

// Best effort: some file systems cannot flush a folder, and the rename has happened by then.
void SyncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

}  // namespace

DurableFileWriter::DurableFileWriter(DurableWriterOptions options) : options(std::move(options)) {
    if (!this->options.write) this->options.write = ::write;
}

DurableFileWriter::DurableFileWriter() : DurableFileWriter(DurableWriterOptions{}) {}

void DurableFileWriter::WriteAll(int fd, const std::string& bytes, const std::string& path) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = options.write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw FileError("write", path, errno);
        if (n == 0) throw FileError("write", path, EIO);
        done += static_cast<std::size_t>(n);
    }
}

void DurableFileWriter::Replace(const std::string& path, const std::string& bytes) {
    std::string temporary;
    Descriptor file(OpenTemporary(path, temporary));
    if (file.Get() < 0) throw FileError("write", path, errno);
    try {
        KeepModeOf(path, file.Get());
        WriteAll(file.Get(), bytes, path);
        if (options.sync && ::fsync(file.Get()) != 0) throw FileError("write", path, errno);
        if (::close(file.Release()) != 0) throw FileError("write", path, errno);
        if (::rename(temporary.c_str(), path.c_str()) != 0) throw FileError("write", path, errno);
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    if (options.sync) SyncFolder(FolderOf(path));
}

std::shared_ptr<FileWriter> DefaultFileWriter() { return std::make_shared<DurableFileWriter>(); }

std::string ReadWholeFile(const std::string& path) {
    // Non-blocking, so that a named pipe is refused instead of waiting for a writer.
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (file.Get() < 0) throw FileError("read", path, errno);
    struct stat info {};
    if (::fstat(file.Get(), &info) != 0) throw FileError("read", path, errno);
    // Pipes and devices never end like a file does: refuse them.
    if (!S_ISREG(info.st_mode))
        throw FileError("read", path, S_ISDIR(info.st_mode) ? EISDIR : EINVAL);
    std::string bytes;
    char buffer[65536];
    for (;;) {
        ssize_t n = ::read(file.Get(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw FileError("read", path, errno);
        if (n == 0) return bytes;
        bytes.append(buffer, static_cast<std::size_t>(n));
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

std::vector<std::string> MatchingNames(const std::string& folder, const std::string& pattern) {
    std::vector<std::string> names;
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr) return names;
    while (dirent* entry = ::readdir(listing)) {
        if (::fnmatch(pattern.c_str(), entry->d_name, FNM_PERIOD) == 0)
            names.emplace_back(entry->d_name);
    }
    ::closedir(listing);
    std::sort(names.begin(), names.end());
    return names;
}

bool MakeFolder(const std::string& path) { return ::mkdir(path.c_str(), 0777) == 0; }

void RemoveFileQuietly(const std::string& path) { ::unlink(path.c_str()); }

}  // namespace pulsedesk::reports
