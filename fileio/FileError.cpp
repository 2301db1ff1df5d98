#include "fileio/FileError.h"

#include <cstring>

namespace pulsedesk::fileio {

FileError::FileError(const std::string& action, const std::string& path, int errorNumber)
    : std::runtime_error("Cannot " + action + " file \"" + path +
                         "\": " + std::strerror(errorNumber) + " (errno " +
                         std::to_string(errorNumber) + ")."),
      errorNumber(errorNumber) {}

}  // namespace pulsedesk::fileio
