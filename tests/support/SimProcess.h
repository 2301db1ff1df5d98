// Runs build/bin/pulsesim as a child process on a pseudo-terminal, for tests against a real line.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "TempDir.h"  // the link tests and benchmarks take TempDir from here

namespace pulsedesk::testing {

// The folder of the built programs: PULSEDESK_BIN_DIR when set, else this build's bin folder.
std::string BinDir();

// Starts program with args; stdinFd/stdoutFd (-1: inherited) become its standard input and
// output, stderrPath (empty: inherited) its standard error. The child is killed when the test
// process dies, so a crashed test never leaves a device or server behind holding CTest's pipes.
pid_t SpawnChild(const std::string& program, const std::vector<std::string>& args, int stdinFd,
                 int stdoutFd, const std::string& stderrPath = {});

// A program of build/bin as a child process, with its standard input and output on pipes.
class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& args);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next line the program prints, or "" when none comes in time.
    std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    void Send(const std::string& line);
    // Ends the program: "quit" on its input first, SIGTERM, then SIGKILL.
    void Stop();

private:
    pid_t pid = -1;
    int toChild = -1;
    int fromChild = -1;
    std::string buffered;
};

// pulsesim; its first line names the pseudo-terminal it serves.
class SimProcess : public ChildProcess {
public:
    explicit SimProcess(const std::vector<std::string>& args);
    const std::string& SlavePath() const { return slavePath; }

private:
    std::string slavePath;
};

}  // namespace pulsedesk::testing
