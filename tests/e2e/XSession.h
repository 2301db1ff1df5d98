// A private X server (Xvfb) for end-to-end tests, and what the tests do on it: find windows,
// click at panel coordinates, close a window as its close box would, take screenshots.
#pragma once

#include <sys/types.h>

#include <QImage>
#include <chrono>
#include <string>

namespace pulsedesk::testing {

// Every look at the server starts an X client: looks are spaced by this, so that polling never
// crowds out the panel's own connection.
inline constexpr std::chrono::milliseconds kLookInterval{50};

class XSession {
  public:
    XSession();  // starts Xvfb on a free display and sets DISPLAY for this process
    ~XSession();
    XSession(const XSession&) = delete;
    XSession& operator=(const XSession&) = delete;

    // The first visible window with this exact title, 0 when none appears in time.
    unsigned long FindWindow(const std::string& title,
                             std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // A visible window of the process other than `besides`, 0 when none appears in time; for
    // dialogs, whose titles are not ASCII and whose matching would depend on the locale.
    unsigned long FindOtherWindowOf(
        pid_t pid, unsigned long besides,
        std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    std::string WindowTitle(unsigned long window) const;
    // What the close box does: WM_DELETE_WINDOW to the window.
    void Close(unsigned long window) const;
    void Click(int x, int y) const;
    void Type(const std::string& text) const;
    QImage Screenshot(const std::string& savePath) const;

  private:
    pid_t server = -1;
    int displayLock = -1;
    std::string display;
};

// Runs a command through the shell; its standard output.
std::string Shell(const std::string& command);

}  // namespace pulsedesk::testing
