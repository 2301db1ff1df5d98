#include "MuxHarness.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

#include "mux/endpoint.h"
#include "mux/socket_io.h"
#include "support/SimProcess.h"

namespace pulsedesk::muxtest {

namespace {

using Clock = std::chrono::steady_clock;

int ExitCodeOf(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

ServerProcess::ServerProcess(const std::string& port, const std::string& listen,
                             const std::string& logPath) {
    const std::string program = BinDir() + "/muxserver";
    pid = testing::SpawnChild(program, {"--port", port, "--listen", listen}, -1, -1, logPath);
    if (pid < 0) throw std::runtime_error("cannot start " + program);
}

ServerProcess::~ServerProcess() {
    if (pid > 0 && Stop(SIGKILL) < 0) waitpid(pid, nullptr, 0);
}

int ServerProcess::Stop(int signal, std::chrono::milliseconds within) {
    if (pid <= 0) return -1;
    kill(pid, signal);
    return WaitExit(within);
}

int ServerProcess::WaitExit(std::chrono::milliseconds within) {
    const auto deadline = Clock::now() + within;
    while (pid > 0) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return ExitCodeOf(status);
        }
        if (Clock::now() > deadline) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return -1;
}

bool WaitForListener(const std::string& address, std::chrono::milliseconds within) {
    const auto endpoint = mux::ParseEndpoint(address);
    const auto deadline = Clock::now() + within;
    while (endpoint && Clock::now() < deadline) {
        if (mux::ConnectWithin(*endpoint, Clock::now() + std::chrono::milliseconds(100)).Valid())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

ClientLibrary::ClientLibrary() {
    const std::string path = BinDir() + "/libmuxclient.so";
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) throw std::runtime_error(dlerror());
    function = reinterpret_cast<Transact>(dlsym(handle, "TransactMuxCommand"));
    if (function == nullptr) throw std::runtime_error("TransactMuxCommand not exported");
}

ClientLibrary::~ClientLibrary() { dlclose(handle); }

void* ClientLibrary::Symbol(const char* name) const { return dlsym(handle, name); }

int ClientLibrary::Call(const std::vector<std::uint8_t>& request,
                        std::vector<std::uint8_t>& reply) const {
    unsigned char buffer[20] = {};
    const int n = function(static_cast<unsigned int>(request.size()), request.data(), buffer);
    reply.assign(buffer, buffer + (n > 0 && n <= 20 ? n : 0));
    return n;
}

}  // namespace pulsedesk::muxtest
