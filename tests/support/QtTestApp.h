// One QApplication per test process, on the offscreen platform with a private runtime folder.
#pragma once

namespace pulsedesk::testing {

// Creates the application on first call; the test environment destroys it after the last test.
void EnsureQtApp();

}  // namespace pulsedesk::testing
