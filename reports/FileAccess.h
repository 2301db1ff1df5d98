// The file-system services the reports need: whole-file reads, whole-file replacement that a
// crash or a full disk can never leave half done, folder listing and creation.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pulsedesk::reports {

// Replaces the whole content of a file. Readers, and the file after a crash, see either the old
// content or the new one, never a mix. Failures raise ReportError and leave the old file as it was.
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
// and flushes the folder.
class DurableFileWriter final : public FileWriter {
  public:
    explicit DurableFileWriter(DurableWriterOptions options);
    DurableFileWriter();
    void Replace(const std::string& path, const std::string& bytes) override;

  private:
    void WriteAll(int fd, const std::string& bytes, const std::string& path) const;

    DurableWriterOptions options;
};

std::shared_ptr<FileWriter> DefaultFileWriter();

// The whole file; raises ReportError naming the path when it cannot be read or is no regular
// file (a folder, a pipe, a device).
std::string ReadWholeFile(const std::string& path);

bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
bool IsRegularFile(const std::string& path);

// Names in the folder that match a shell pattern (fnmatch), in sorted order; none when the folder
// cannot be listed.
std::vector<std::string> MatchingNames(const std::string& folder, const std::string& pattern);

// Makes one folder; false when it cannot be made.
bool MakeFolder(const std::string& path);

// Deletes a file; a failure is ignored, as the callers only tidy up.
void RemoveFileQuietly(const std::string& path);

}  // namespace pulsedesk::reports
