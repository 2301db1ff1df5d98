#include "fileio/DurableFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <utility>

#include "fileio/FileError.h"
#include "fileio/UniqueFd.h"

namespace pulsedesk::fileio {

namespace {

std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A hidden name beside the target, so that no listing by pattern takes it for a real file.
std::string TemporaryNameFor(const std::string& path) {
    static std::atomic<unsigned> counter{0};
    const std::string folder = FolderOf(path);
    return (folder == "/" ? "" : folder) + "/." + BaseNameOf(path) + ".tmp-" +
           std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

int OpenTemporary(const std::string& path, std::string& temporary) {
    for (;;) {
        temporary = TemporaryNameFor(path);
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
}

// The replacement keeps the permissions of the file it replaces.
bool KeepModeOf(const std::string& path, int fd) {
    struct stat old {};
    if (::stat(path.c_str(), &old) != 0 || !S_ISREG(old.st_mode)) return true;
    return ::fchmod(fd, old.st_mode & 07777) == 0;
}

// Best effort: some file systems cannot flush a folder, and the rename has happened by then.
void SyncFolder(const std::string& folder) {
    const UniqueFd fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.Valid()) ::fsync(fd.Get());
}

}  // namespace

DurableFileWriter::DurableFileWriter(DurableWriterOptions options) : options(std::move(options)) {
    if (!this->options.write) this->options.write = ::write;
}

DurableFileWriter::DurableFileWriter() : DurableFileWriter(DurableWriterOptions{}) {}

void DurableFileWriter::WriteAll(int fd, const std::string& bytes, const std::string& path) const {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = options.write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) throw FileError("write", path, errno);
        if (n == 0) throw FileError("write", path, EIO);
        done += static_cast<std::size_t>(n);
    }
}

void DurableFileWriter::FillAndClose(int fd, const std::string& bytes,
                                     const std::string& path) const {
    UniqueFd file(fd);
    if (!KeepModeOf(path, file.Get())) throw FileError("write", path, errno);
    WriteAll(file.Get(), bytes, path);
    if (options.sync && ::fsync(file.Get()) != 0) throw FileError("write", path, errno);
    if (::close(file.Release()) != 0) throw FileError("write", path, errno);
}

void DurableFileWriter::Replace(const std::string& path, const std::string& bytes) {
    std::string temporary;
    const int fd = OpenTemporary(path, temporary);
    if (fd < 0) throw FileError("write", path, errno);
    try {
        FillAndClose(fd, bytes, path);
        if (::rename(temporary.c_str(), path.c_str()) != 0) throw FileError("write", path, errno);
    } catch (...) {
        ::unlink(temporary.c_str());
        throw;
    }
    if (options.sync) SyncFolder(FolderOf(path));
}

std::shared_ptr<FileWriter> DefaultFileWriter() { return std::make_shared<DurableFileWriter>(); }

}  // namespace pulsedesk::fileio
