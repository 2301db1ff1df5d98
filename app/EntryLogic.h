// The program's entry logic: the single-instance guard, the message and settings files, the
// link, the panel and the message loop, and the clean-up that runs however start-up ended.
#pragma once

namespace pulsedesk::app {

// Returns the process exit code: 0 after a normal run, 1 after a start-up error or when
// another instance runs.
int RunEntryLogic(int argc, char** argv);

}  // namespace pulsedesk::app
