#include "SimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace pulsedesk::testing {

std::string BinDir() {
    const char* dir = std::getenv("PULSEDESK_BIN_DIR");
    return dir != nullptr && *dir != '\0' ? dir : PULSEDESK_DEFAULT_BIN_DIR;
}

pid_t SpawnChild(const std::string& program, const std::vector<std::string>& args, int stdinFd,
                 int stdoutFd, const std::string& stderrPath) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child != 0) return child;
    // Only async-signal-safe calls from here on: the test process may have other threads.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    if (stdinFd >= 0) dup2(stdinFd, STDIN_FILENO);
    if (stdoutFd >= 0) dup2(stdoutFd, STDOUT_FILENO);
    if (!stderrPath.empty()) {
        const int log = open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (log >= 0) dup2(log, STDERR_FILENO);
    }
    execv(program.c_str(), argv.data());
    _exit(127);
}

namespace {

int ExitCodeOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int WaitForExit(pid_t pid, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return ExitCodeOf(status);
        if (std::chrono::steady_clock::now() > deadline) return -1;
        usleep(2000);
    }
}

ProgramResult RunProgram(const std::string& name, const std::vector<std::string>& args,
                         std::chrono::milliseconds limit) {
    TempDir dir;
    const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int out = open(dir.File("out").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    const std::string program = name.find('/') == std::string::npos ? BinDir() + "/" + name : name;
    const pid_t pid = SpawnChild(program, args, in, out, dir.File("err"));
    close(in);
    close(out);
    ProgramResult r;
    r.exitCode = WaitForExit(pid, limit);
    if (r.exitCode < 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    r.out = Slurp(dir.File("out"));
    r.err = Slurp(dir.File("err"));
    return r;
}

ChildProcess::ChildProcess(const std::string& name, const std::vector<std::string>& args,
                           const std::string& stderrPath) {
    signal(SIGPIPE, SIG_IGN);  // a simulator that already ended must not end the test
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    const std::string program = BinDir() + "/" + name;
    pid = SpawnChild(program, args, in[0], out[1], stderrPath);
    close(in[0]);
    close(out[1]);
    toChild = in[1];
    fromChild = out[0];
    if (pid < 0) throw std::runtime_error("cannot start " + program);
}

ChildProcess::~ChildProcess() {
    Stop();
    if (toChild >= 0) close(toChild);
    close(fromChild);
}

void ChildProcess::Stop() {
    if (pid < 0) return;
    Send("quit");
    close(toChild);
    toChild = -1;
    auto ended = [this] {
        for (int i = 0; i < 100; ++i) {
            if (waitpid(pid, nullptr, WNOHANG) == pid) return true;
            usleep(10000);
        }
        return false;
    };
    if (!ended()) {
        kill(pid, SIGTERM);
        if (!ended()) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    pid = -1;
}

int ChildProcess::Signal(int signal, std::chrono::milliseconds limit) {
    if (pid < 0) return -1;
    kill(pid, signal);
    return WaitExit(limit);
}

int ChildProcess::WaitExit(std::chrono::milliseconds limit) {
    if (pid < 0) return -1;
    const int code = WaitForExit(pid, limit);
    if (code >= 0) pid = -1;
    return code;
}

SimProcess::SimProcess(const std::vector<std::string>& args, const std::string& stderrPath)
    : ChildProcess("pulsesim", args, stderrPath) {
    slavePath = ReadLine();
    if (slavePath.empty()) throw std::runtime_error("pulsesim printed no line path");
}

std::string ChildProcess::ReadLine(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto nl = buffered.find('\n');
        if (nl != std::string::npos) {
            std::string line = buffered.substr(0, nl);
            buffered.erase(0, nl + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fromChild, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return {};
        char chunk[256];
        const ssize_t n = read(fromChild, chunk, sizeof chunk);
        if (n <= 0) return {};
        buffered.append(chunk, static_cast<std::size_t>(n));
    }
}

void ChildProcess::Send(const std::string& text) {
    if (toChild < 0) return;
    const std::string line = text + "\n";
    [[maybe_unused]] ssize_t n = write(toChild, line.data(), line.size());
}

}  // namespace pulsedesk::testing
