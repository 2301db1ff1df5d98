#pragma once

#include <stdexcept>
#include <string>

namespace pulsedesk::fileio {

// A file that could not be read or written. The text reads
// "Cannot <action> file "<path>": <reason> (errno <n>)."; callers that speak to the operator in
// other words build theirs from ErrorNumber().
class FileError : public std::runtime_error {
  public:
    FileError(const std::string& action, const std::string& path, int errorNumber);

    int ErrorNumber() const { return errorNumber; }

  private:
    int errorNumber;
};

}  // namespace pulsedesk::fileio
