// Runs build/bin/pulsesim as a child process on a pseudo-terminal, for tests against a real line.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace pulsedesk::testing {

// The folder of the built programs: PULSEDESK_BIN_DIR, set by the test harness.
std::string BinDir();

// A fresh temporary folder, removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return path; }

private:
    std::string path;
};

class SimProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args);
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // The next line the simulator prints, or "" when none comes in time.
    std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    void Send(const std::string& command);
    const std::string& SlavePath() const { return slavePath; }

private:
    pid_t pid = -1;
    int toChild = -1;
    int fromChild = -1;
    std::string buffered;
    std::string slavePath;
};

}  // namespace pulsedesk::testing
