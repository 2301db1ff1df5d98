// Whole-file replacement that a crash or a full disk can never leave half done.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace pulsedesk::fileio {

// Replaces the whole content of a file. Readers, and the file after a crash, see either the old
// content or the new one, never a mix. Failures raise FileError ("write") and leave the old
// file as it was.
class FileWriter {
  public:
    virtual ~FileWriter() = default;
    virtual void Replace(const std::string& path, const std::string& bytes) = 0;
};

struct DurableWriterOptions {
    // Flush data and folder to the disk; off only to measure what the flushes cost.
    bool sync = true;
    // The write(2) call, replaceable so that tests can make the disk run full part-way.
    std::function<ssize_t(int fd, const void* data, std::size_t size)> write;
};

// Writes a hidden temporary file in the target's folder, flushes it, renames it over the target
// and flushes the folder. The new file keeps the permissions of the one it replaces; a new one
// gets 0666 less the umask.
class DurableFileWriter final : public FileWriter {
  public:
    explicit DurableFileWriter(DurableWriterOptions options);
    DurableFileWriter();
    void Replace(const std::string& path, const std::string& bytes) override;

  private:
    void WriteAll(int fd, const std::string& bytes, const std::string& path) const;
    void FillAndClose(int fd, const std::string& bytes, const std::string& path) const;

    DurableWriterOptions options;
};

std::shared_ptr<FileWriter> DefaultFileWriter();

}  // namespace pulsedesk::fileio
