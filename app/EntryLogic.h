// The program's entry logic: the single-instance guard, the message and settings files, the
// link, the panel and the message loop, and the clean-up that runs however start-up ended.
#pragma once

#include <string>

namespace pulsedesk::app {

// An error that ends the start-up or stops the link: the text, and the detail (why, and what
// the operator can do) under it, on standard error and in the error box.
void ShowStartupError(const std::string& text, const std::string& detail);

// Returns the process exit code: 0 after a normal run, 1 after a start-up error or when
// another instance runs.
int RunEntryLogic(int argc, char** argv);

}  // namespace pulsedesk::app
