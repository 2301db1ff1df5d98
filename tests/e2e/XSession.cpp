#include "XSession.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <memory>
#include <sstream>
#include <thread>

#include "support/SimProcess.h"
#include "support/Wait.h"

namespace pulsedesk::testing {

std::string Shell(const std::string& command) {
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    std::array<char, 256> chunk{};
    while (pipe && fgets(chunk.data(), chunk.size(), pipe.get()) != nullptr) out += chunk.data();
    return out;
}

// Test programs run side by side: each takes a display number under a lock of its own and keeps
// it until its server has exited, so a server shutting down never takes the socket of the next
// one with it. Numbers another X server holds are passed over. -noreset: by default the server
// resets when its last client leaves, and a program connecting during the reset is refused.
XSession::XSession() {
    for (int n = 100; n < 600 && displayLock < 0; ++n) {
        const int fd = open(("/tmp/pulsedesk-xvfb-" + std::to_string(n) + ".lock").c_str(),
                            O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (fd < 0) continue;
        const bool foreign = access(("/tmp/.X" + std::to_string(n) + "-lock").c_str(), F_OK) == 0;
        if (foreign || flock(fd, LOCK_EX | LOCK_NB) != 0) {
            close(fd);
            continue;
        }
        displayLock = fd;
        display = ":" + std::to_string(n);
    }
    server = SpawnChild("/usr/bin/Xvfb",
                        {display, "-screen", "0", "800x700x24", "-nolisten", "tcp", "-noreset"}, -1,
                        -1, "/dev/null");
    setenv("DISPLAY", display.c_str(), 1);
    WaitUntil([&] { return Shell("xdpyinfo >/dev/null 2>&1 && echo up") == "up\n"; },
              std::chrono::seconds(10), kLookInterval);
}

XSession::~XSession() {
    if (server > 0) {
        kill(server, SIGTERM);
        waitpid(server, nullptr, 0);
    }
    if (displayLock >= 0) close(displayLock);
}

unsigned long XSession::FindWindow(const std::string& title,
                                   std::chrono::milliseconds timeout) const {
    unsigned long found = 0;
    WaitUntil(
        [&] {
            found = std::strtoul(
                Shell("xdotool search --onlyvisible --name '^" + title + "$' 2>/dev/null | head -1")
                    .c_str(),
                nullptr, 10);
            return found != 0;
        },
        timeout, kLookInterval);
    return found;
}

unsigned long XSession::FindOtherWindowOf(pid_t pid, unsigned long besides,
                                          std::chrono::milliseconds timeout) const {
    unsigned long found = 0;
    WaitUntil(
        [&] {
            std::istringstream ids(Shell("xdotool search --onlyvisible --pid " +
                                         std::to_string(pid) + " 2>/dev/null"));
            for (unsigned long id = 0; ids >> id;)
                if (id != besides) found = id;
            return found != 0;
        },
        timeout, kLookInterval);
    return found;
}

std::string XSession::WindowTitle(unsigned long window) const {
    std::string title = Shell("xdotool getwindowname " + std::to_string(window) + " 2>/dev/null");
    if (!title.empty() && title.back() == '\n') title.pop_back();
    return title;
}

void XSession::Close(unsigned long window) const {
    Display* x = XOpenDisplay(display.c_str());
    if (x == nullptr) return;
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(x, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(x, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(x, window, False, NoEventMask, &event);
    XFlush(x);
    XCloseDisplay(x);
}

void XSession::Click(int x, int y) const {
    Shell("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1");
}

void XSession::Type(const std::string& text) const {
    Shell("xdotool type --delay 20 '" + text + "'");
}

QImage XSession::Screenshot(const std::string& savePath) const {
    Shell("import -window root '" + savePath + "'");
    return QImage(QString::fromStdString(savePath));
}

}  // namespace pulsedesk::testing
