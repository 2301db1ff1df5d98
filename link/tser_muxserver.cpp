#include "tser_muxserver.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <string>

namespace pulsedesk::link {

namespace {

constexpr const char* kClientLibrary = "libmuxclient.so";

std::string LoaderError() {
    const char* text = dlerror();
    return text != nullptr ? text : "no reason given";
}

std::string LoadFailureText(const std::string& besidePath, const std::string& why) {
    return std::string("Shared-port mode (TarlinkSupport=1): the client library ") +
           kClientLibrary + " could not be loaded, so the counter stays unreachable.\nLooked in " +
           besidePath +
           ", then on the system's library path (LD_LIBRARY_PATH, /etc/ld.so.cache, /lib, "
           "/usr/lib):\n" +
           why;
}

}  // namespace

std::string TSerialMux::ExecutableFolder() {
    std::array<char, 4096> path{};
    const ssize_t n = readlink("/proc/self/exe", path.data(), path.size() - 1);
    if (n <= 0) return {};
    std::string exe(path.data(), static_cast<std::size_t>(n));
    return exe.substr(0, exe.rfind('/') + 1);
}

TSerialMux::TSerialMux(std::string folder, LoadFailed loadFailed)
    : clientFolder(std::move(folder)), onLoadFailed(std::move(loadFailed)) {
    OpenAndStart();
}

TSerialMux::~TSerialMux() { StopPolling(); }

// The library stays loaded until the program ends; a failed look-up is tried again at the
// next exchange, so installing the library later brings the link up.
TSerialMux::TransactFn TSerialMux::Bind() {
    if (transact != nullptr) return transact;
    std::string beside = clientFolder;
    if (!beside.empty() && beside.back() != '/') beside += '/';
    beside += kClientLibrary;
    std::string why;  // the loader's words for each failed step
    void* lib = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) {
        why = LoaderError();
        lib = dlopen(kClientLibrary, RTLD_NOW | RTLD_LOCAL);
        if (lib == nullptr) why += "\n" + LoaderError();
    }
    if (lib != nullptr) {
        transact = reinterpret_cast<TransactFn>(dlsym(lib, "TransactMuxCommand"));
        if (transact == nullptr) why = LoaderError();
    }
    if (transact == nullptr && onLoadFailed) {
        onLoadFailed(LoadFailureText(beside, why));
        onLoadFailed = nullptr;
    }
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
