// The one error type of the report files; its text is shown to the operator as it is.
#pragma once

#include <stdexcept>
#include <string>

namespace pulsedesk::reports {

inline constexpr const char* kCannotCreateDirectory = "Cannot create directory.";

class ReportError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Another program holds the work folder. The folder and the holder are kept apart from the text
// so that a program may say it in its operator's language.
class FolderInUseError : public ReportError {
  public:
    FolderInUseError(std::string folder, std::string holder)
        : ReportError("The work folder \"" + folder + "\" is in use by " + holder +
                      "; reports are written by one program at a time."),
          folder(std::move(folder)),
          holder(std::move(holder)) {}
    const std::string& Folder() const { return folder; }
    const std::string& Holder() const { return holder; }

  private:
    std::string folder;
    std::string holder;
};

}  // namespace pulsedesk::reports
