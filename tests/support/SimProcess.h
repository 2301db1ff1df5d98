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

// What a program that ran to its end left: its exit code (-1 when it had to be killed after
// the time limit, 128 + n when signal n ended it), its standard output and its standard error.
struct ProgramResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a program of build/bin (or the one a path names) with standard input from /dev/null, up
// to the time limit.
ProgramResult RunProgram(const std::string& name, const std::vector<std::string>& args,
                         std::chrono::milliseconds limit = std::chrono::seconds(10));

// Waits for the child to end; its exit code as in ProgramResult, or -1 when it did not end in
// time (it is left running then).
int WaitForExit(pid_t pid, std::chrono::milliseconds limit);

// A program of build/bin as a child process, with its standard input and output on pipes and
// its standard error in stderrPath (inherited when empty).
class ChildProcess {
  public:
    ChildProcess(const std::string& program, const std::vector<std::string>& args,
                 const std::string& stderrPath = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next line the program prints, or "" when none comes in time.
    std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    void Send(const std::string& line);
    // Ends the program: "quit" on its input first, SIGTERM, then SIGKILL.
    void Stop();
    // Sends a signal and waits for the program to end; its exit code as in ProgramResult.
    int Signal(int signal, std::chrono::milliseconds limit = std::chrono::seconds(5));
    // Waits for the program to end by itself; its exit code, or -1 when it runs on.
    int WaitExit(std::chrono::milliseconds limit = std::chrono::seconds(5));
    pid_t Pid() const { return pid; }

  private:
    pid_t pid = -1;
    int toChild = -1;
    int fromChild = -1;
    std::string buffered;
};

// pulsesim; its first line names the pseudo-terminal it serves.
class SimProcess : public ChildProcess {
  public:
    explicit SimProcess(const std::vector<std::string>& args, const std::string& stderrPath = {});
    const std::string& SlavePath() const { return slavePath; }

  private:
    std::string slavePath;
};

}  // namespace pulsedesk::testing
