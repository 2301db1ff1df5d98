// The file-system services the reports need: the file layer's whole-file reads and replacement
// (fileio/) raising ReportError, folder listing and creation.
#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "fileio/DurableFileWriter.h"

namespace pulsedesk::reports {

using fileio::DefaultFileWriter;
using fileio::DurableFileWriter;
using fileio::DurableWriterOptions;
using fileio::FileWriter;

// The file layer's operations with their failures raised as ReportError, with the same text.
std::string ReadWholeFile(const std::string& path,
                          std::size_t limit = std::numeric_limits<std::size_t>::max());
std::string_view ReadWholeFile(const std::string& path, std::size_t limit, std::string& room);
void ReplaceFile(FileWriter& writer, const std::string& path, const std::string& bytes);

bool PathExists(const std::string& path);
bool IsDirectory(const std::string& path);
bool IsRegularFile(const std::string& path);

// Names in the folder that match a shell pattern (fnmatch), in sorted order; raises ReportError
// naming the folder and the reason when it cannot be listed.
std::vector<std::string> ListMatchingNames(const std::string& folder, const std::string& pattern);
// The same, with none when the folder cannot be listed.
std::vector<std::string> MatchingNames(const std::string& folder, const std::string& pattern);

// Makes one folder; false when it cannot be made.
bool MakeFolder(const std::string& path);

// Deletes a file; a failure is ignored, as the callers only tidy up.
void RemoveFileQuietly(const std::string& path);

}  // namespace pulsedesk::reports
