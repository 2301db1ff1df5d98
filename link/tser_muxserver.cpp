#include "tser_muxserver.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <string>

namespace pulsedesk::link {

namespace {

constexpr const char* kClientLibrary = "libmuxclient.so";

}  // namespace

std::string TSerialMux::ExecutableFolder() {
    std::array<char, 4096> path{};
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0) return {};
    std::string exe(path.data(), static_cast<std::size_t>(n));
    return exe.substr(0, exe.rfind('/') + 1);
}

TSerialMux::TSerialMux(std::string folder) : clientFolder(std::move(folder)) { OpenAndStart(); }

TSerialMux::~TSerialMux() { StopPolling(); }

// The library stays loaded until the program ends; a failed look-up is tried again at the
// next exchange, so installing the library later brings the link up.
TSerialMux::TransactFn TSerialMux::Bind() {
    if (transact != nullptr) return transact;
    std::string beside = clientFolder;
    if (!beside.empty() && beside.back() != '/') beside += '/';
    void* lib = dlopen((beside + kClientLibrary).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) lib = dlopen(kClientLibrary, RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) return nullptr;
    transact = reinterpret_cast<TransactFn>(dlsym(lib, "TransactMuxCommand"));
    return transact;
}

int TSerialMux::Exchange(const std::uint8_t* request, std::uint8_t length, std::uint8_t capacity,
                         std::uint8_t* reply) {
    TransactFn fn = Bind();
    if (fn == nullptr) return 0;
    // The library promises at most 20 bytes; a larger claim is not trusted past the buffer.
    std::array<unsigned char, kFrameBufferSize> scratch{};
    const int n = fn(length, request, scratch.data());
    const int kept =
        std::clamp(n, 0, static_cast<int>(std::min<std::size_t>(capacity, scratch.size())));
    std::copy_n(scratch.begin(), kept, reply);
    return kept;
}

}  // namespace pulsedesk::link
