// The one error type of the report files; its text is shown to the operator as it is.
#pragma once

#include <stdexcept>

namespace pulsedesk::reports {

inline constexpr const char* kCannotCreateDirectory = "Cannot create directory.";
// Part of the text of a refusal because another program holds the work folder.
inline constexpr const char* kWorkFolderInUse = "is in use by";

class ReportError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

}  // namespace pulsedesk::reports
