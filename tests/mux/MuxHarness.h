// The pieces every muxserver test needs: the server as a real child process, the client
// library loaded from the build's bin folder, and a temporary folder for sockets and links.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "support/SimProcess.h"

namespace pulsedesk::muxtest {

using testing::BinDir;
using testing::ReadBytes;
using testing::TempDir;

// muxserver as a child process; its standard error goes to a log file.
class ServerProcess {
  public:
    ServerProcess(const std::string& port, const std::string& listen, const std::string& logPath);
    ~ServerProcess();  // SIGKILL if still running
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    // Sends the signal and waits for the exit; the exit code, or -1 when it did not end in time.
    int Stop(int signal, std::chrono::milliseconds within = std::chrono::seconds(5));
    // Waits for the process to end by itself; its exit code, or -1.
    int WaitExit(std::chrono::milliseconds within);

  private:
    pid_t pid = -1;
};

// Waits until something accepts connections on the address.
bool WaitForListener(const std::string& address,
                     std::chrono::milliseconds within = std::chrono::seconds(5));

// TransactMuxCommand taken from build/bin/libmuxclient.so with dlopen.
class ClientLibrary {
  public:
    using Transact = int (*)(unsigned int, const unsigned char*, unsigned char*);
    ClientLibrary();
    ~ClientLibrary();
    int Call(const std::vector<std::uint8_t>& request, std::vector<std::uint8_t>& reply) const;
    Transact Function() const { return function; }
    // Another export of the library; null when it has none.
    void* Symbol(const char* name) const;

  private:
    void* handle = nullptr;
    Transact function = nullptr;
};

}  // namespace pulsedesk::muxtest
