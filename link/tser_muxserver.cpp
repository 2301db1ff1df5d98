#include "tser_muxserver.h"

#include <dlfcn.h>
#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

namespace pulsedesk::link {

namespace {

constexpr const char* kClientLibrary = "libmuxclient.so";
constexpr unsigned kHolderSize = 80;
// TransactMuxCommandEx's answer when the server had no turn for the frame in time.
constexpr int kServerBusy = -2;

// Once per process, however many links find the same old library.
void ReportOldLibrary(const std::string& where) {
    static std::once_flag once;
    std::call_once(once, [&] {
        std::fprintf(stderr,
                     "%s: %s has no control functions (an older shared-port client library): "
                     "control of the counter is neither taken nor checked\n",
                     program_invocation_short_name, where.c_str());
    });
}

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

SharedControl* SharedControlOf(TSerial* link) { return dynamic_cast<TSerialMux*>(link); }

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

TSerialMux::~TSerialMux() {
    StopPolling();
    if (tookControl && giveBack != nullptr) giveBack();
}

// The library stays loaded until the program ends; a failed look-up is tried again at the
// next exchange, so installing the library later brings the link up.
TSerialMux::TransactFn TSerialMux::Bind() {
    if (transact != nullptr) return transact;
    std::string beside = clientFolder;
    if (!beside.empty() && beside.back() != '/') beside += '/';
    beside += kClientLibrary;
    std::string where = beside;
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
    if (transact == nullptr) {
        if (onLoadFailed) onLoadFailed(LoadFailureText(beside, why));
        onLoadFailed = nullptr;
        return nullptr;
    }
    transactEx = reinterpret_cast<TransactExFn>(dlsym(lib, "TransactMuxCommandEx"));
    take = reinterpret_cast<TakeFn>(dlsym(lib, "TakeMuxControl"));
    giveBack = reinterpret_cast<GiveBackFn>(dlsym(lib, "GiveBackMuxControl"));
    takeEx = reinterpret_cast<TakeExFn>(dlsym(lib, "TakeMuxControlEx"));
    if (transactEx == nullptr || take == nullptr || giveBack == nullptr) {
        transactEx = nullptr;
        take = nullptr;
        takeEx = nullptr;
        giveBack = nullptr;
        unsupported = true;
        Dl_info info{};
        if (dladdr(reinterpret_cast<void*>(transact), &info) != 0 && info.dli_fname != nullptr)
            where = info.dli_fname;
        ReportOldLibrary(where);
    }
    return transact;
}

int TSerialMux::Exchange(const std::uint8_t* request, std::uint8_t length, std::uint8_t capacity,
                         std::uint8_t* reply) {
    TransactFn fn = Bind();
    if (fn == nullptr) return 0;
    // The library promises at most 20 bytes; a larger claim is not trusted past the buffer.
    std::array<unsigned char, kFrameBufferSize> scratch{};
    const int n = transactEx != nullptr ? ExchangeTold(request, length, scratch.data())
                                        : fn(length, request, scratch.data());
    const int kept =
        std::clamp(n, 0, static_cast<int>(std::min<std::size_t>(capacity, scratch.size())));
    std::copy_n(scratch.begin(), kept, reply);
    return kept;
}

// A refused frame, and a request the server was too busy to run, count as no reply. Only the
// server's word tells a lapse: a refusal or a reply without the grant. An exchange it did not
// answer is lost, as on a direct line, and leaves control as the last answer said; should the grant
// have ended meanwhile, the next answer says so.
int TSerialMux::ExchangeTold(const std::uint8_t* request, std::uint8_t length,
                             unsigned char* reply) {
    int told = -1;
    std::array<char, kHolderSize> holder{};
    const int n = transactEx(length, request, reply, &told, holder.data(), holder.size());
    busy = n == kServerBusy;
    if (told >= 0) {
        held = told == 1;
        if (!held) lapsed = true;
    }
    if (n >= 0 || busy) return std::max(n, 0);
    std::lock_guard lock(refusalMutex);
    lastRefusal = holder.data();
    return 0;
}

ControlAnswer TSerialMux::TakeControl() {
    std::unique_lock lock(linkMutex, std::defer_lock);
    if (!lock.try_lock_for(kLockWait) || Bind() == nullptr) return {ControlState::NoAnswer, {}};
    if (take == nullptr) return {ControlState::Unsupported, {}};
    std::array<char, kHolderSize> holder{};
    int othersMeanwhile = 1;
    const int answer = takeEx != nullptr ? takeEx(holder.data(), holder.size(), &othersMeanwhile)
                                         : take(holder.data(), holder.size());
    switch (answer) {
        case 1: {
            tookControl = true;
            held = true;  // a lapse before stays on record for HeldSinceLastAsked
            std::lock_guard refusals(refusalMutex);
            lastRefusal.clear();
            return {ControlState::Held, {}, othersMeanwhile != 0};
        }
        case 0:
            return {ControlState::Refused, holder.data()};
        default:
            return {ControlState::NoAnswer, {}};
    }
}

void TSerialMux::GiveBackControl() {
    std::unique_lock lock(linkMutex, std::defer_lock);
    if (!lock.try_lock_for(kLockWait) || giveBack == nullptr) return;
    held = false;
    if (giveBack() == 1) tookControl = false;
}

bool TSerialMux::HeldSinceLastAsked() {
    if (unsupported) return true;
    return !lapsed.exchange(false) && held;
}

std::string TSerialMux::LastRefusal() {
    std::lock_guard lock(refusalMutex);
    return lastRefusal;
}

}  // namespace pulsedesk::link
