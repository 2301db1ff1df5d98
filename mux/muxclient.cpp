// libmuxclient.so: the shared-port server's client library. TransactMuxCommand sends one device
// frame to the server named by PULSEDESK_MUX and waits for the reply, on a connection of its
// own, so a restarted server is reached by the next call. Every connection opens with this
// process's hello (program name, process id, a random token made once per process), so the
// server knows which process asks even though each call has a connection of its own; the
// control functions take and give back the right to change the device.
#include <errno.h>
#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "endpoint.h"
#include "socket_io.h"
#include "wire.h"

namespace {

using namespace pulsedesk::mux;

constexpr std::chrono::milliseconds kConnectLimit{500};
constexpr std::chrono::milliseconds kCallLimit{2000};  // connect, queue, exchange and reply

// What the server said to one message.
struct Answer {
    bool refused = false;
    bool busy = false;      // the server had no turn for the request in time
    bool held = false;      // this process holds control (a request's reply)
    std::uint8_t code = 0;  // a control message's answer
    std::size_t length = 0;
    std::array<std::uint8_t, kMaxReply> reply{};
    std::string holder;  // when refused
};

void FillRandom(std::uint8_t* bytes, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = getrandom(bytes + done, length - done, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    if (done == length) return;
    // No kernel randomness: still different for every process and start (never for security).
    const auto seed = std::chrono::steady_clock::now().time_since_epoch().count() ^ getpid();
    for (std::size_t i = done; i < length; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed >> (8 * (i % 8)) ^ (i * 151));
}

// This process's identity; made again after a fork, so a child never speaks as its parent.
ClientIdentity Self() {
    static std::mutex mutex;
    static ClientIdentity self;
    std::lock_guard lock(mutex);
    const auto pid = static_cast<std::uint32_t>(getpid());
    if (self.pid != pid) {
        self.pid = pid;
        FillRandom(self.token.data(), self.token.size());
        self.name = program_invocation_short_name;
    }
    return self;
}

// The holder's description after a refusal byte.
bool ReceiveHolder(int fd, Answer& a, Clock::time_point deadline) {
    std::uint8_t length = 0;
    std::array<char, 255> text{};
    if (!ReceiveExactWithin(fd, &length, 1, deadline) || length > kMaxHolder ||
        !ReceiveExactWithin(fd, reinterpret_cast<std::uint8_t*>(text.data()), length, deadline))
        return false;
    a.refused = true;
    a.holder.assign(text.data(), length);
    return true;
}

bool ReceiveReply(int fd, Answer& a, Clock::time_point deadline) {
    std::uint8_t first = 0;
    if (!ReceiveExactWithin(fd, &first, 1, deadline)) return false;
    if (first == kRefused) return ReceiveHolder(fd, a, deadline);
    if (first == kBusy) {
        a.busy = true;
        return true;
    }
    a.held = (first & kHeldFlag) != 0;
    a.length = first & ~kHeldFlag;
    return a.length <= kMaxReply && ReceiveExactWithin(fd, a.reply.data(), a.length, deadline);
}

bool ReceiveControlAnswer(int fd, Answer& a, Clock::time_point deadline) {
    if (!ReceiveExactWithin(fd, &a.code, 1, deadline)) return false;
    if (a.code == kRefused) return ReceiveHolder(fd, a, deadline);
    return a.code == kGranted || a.code == kGrantedAfterOther || a.code == kGivenBack;
}

// Sends the hello and the message on a new connection; the answer, or nothing when none came.
std::optional<Answer> Call(const std::uint8_t* message, std::size_t length) {
    const auto endpoint = ParseEndpoint(ClientEndpointText());
    if (!endpoint) return std::nullopt;
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + kCallLimit;
    UniqueFd s = ConnectWithin(*endpoint, start + kConnectLimit);
    if (!s.Valid()) return std::nullopt;
    std::vector<std::uint8_t> out = EncodeHello(Self());
    out.insert(out.end(), message, message + length);
    if (!SendAllWithin(s.Get(), out.data(), out.size(), deadline)) return std::nullopt;
    Answer a;
    const bool request = IsValidRequestLength(message[0]);
    const bool ok =
        request ? ReceiveReply(s.Get(), a, deadline) : ReceiveControlAnswer(s.Get(), a, deadline);
    if (!ok) return std::nullopt;
    return a;
}

void CopyHolder(const std::string& holder, char* out, unsigned int size) {
    if (out == nullptr || size == 0) return;
    const std::size_t n = std::min<std::size_t>(holder.size(), size - 1);
    std::memcpy(out, holder.data(), n);
    out[n] = '\0';
}

// The reply's length with the reply in place, -1 after a refusal (holder named), -2 when the
// server was busy, or nothing.
std::optional<int> Transact(const unsigned char* request, unsigned int length, unsigned char* reply,
                            int* held, char* holder, unsigned int holderSize) {
    std::array<std::uint8_t, 1 + kMaxRequest> message{};
    message[0] = static_cast<std::uint8_t>(length);
    std::copy_n(request, length, message.begin() + 1);
    const auto a = Call(message.data(), 1 + length);
    if (!a) return std::nullopt;
    if (a->busy) return -2;
    if (held != nullptr) *held = a->held ? 1 : 0;
    if (a->refused) {
        CopyHolder(a->holder, holder, holderSize);
        return -1;
    }
    std::copy_n(a->reply.begin(), a->length, reply);
    return static_cast<int>(a->length);
}

}  // namespace

#define MUXCLIENT_EXPORT extern "C" __attribute__((visibility("default")))

// Returns the number of reply bytes written into reply (at most 20), 0 on any failure, a
// refusal included.
MUXCLIENT_EXPORT int TransactMuxCommand(unsigned int length, const unsigned char* request,
                                        unsigned char* reply) {
    if (request == nullptr || reply == nullptr || !IsValidRequest(request, length)) return 0;
    try {
        return std::max(Transact(request, length, reply, nullptr, nullptr, 0).value_or(0), 0);
    } catch (...) {  // nothing may escape into a C caller
        return 0;
    }
}

// As TransactMuxCommand, and tells more: -1 when the frame was refused because another client
// holds control (its description, NUL-terminated, in holder), -2 when the server was too busy to
// run it in time (it never reached the line); *held is 1 when this process held control as the
// server answered, 0 when it did not, -1 when no answer about control came (busy included).
MUXCLIENT_EXPORT int TransactMuxCommandEx(unsigned int length, const unsigned char* request,
                                          unsigned char* reply, int* held, char* holder,
                                          unsigned int holderSize) {
    if (held != nullptr) *held = -1;
    if (request == nullptr || reply == nullptr || !IsValidRequest(request, length)) return 0;
    try {
        return Transact(request, length, reply, held, holder, holderSize).value_or(0);
    } catch (...) {
        return 0;
    }
}

// As TakeMuxControl, and tells more: *othersMeanwhile is 0 when the server granted control and
// no other client has held it since this process last did (or since the server started), else
// 1.
MUXCLIENT_EXPORT int TakeMuxControlEx(char* holder, unsigned int holderSize, int* othersMeanwhile) {
    if (othersMeanwhile != nullptr) *othersMeanwhile = 1;
    try {
        const auto a = Call(&kTakeControl, 1);
        if (!a) return -1;
        if (a->refused) {
            CopyHolder(a->holder, holder, holderSize);
            return 0;
        }
        if (othersMeanwhile != nullptr && a->code == kGranted) *othersMeanwhile = 0;
        return 1;
    } catch (...) {
        return -1;
    }
}

// 1 when this process now holds control (taken, or kept and renewed), 0 when another client
// holds it (its description in holder), -1 when no server answered.
MUXCLIENT_EXPORT int TakeMuxControl(char* holder, unsigned int holderSize) {
    return TakeMuxControlEx(holder, holderSize, nullptr);
}

// 1 when this process holds control no longer (given back, or it never held it), -1 when no
// server answered.
MUXCLIENT_EXPORT int GiveBackMuxControl(void) {
    try {
        const auto a = Call(&kGiveBack, 1);
        return a && a->code == kGivenBack ? 1 : -1;
    } catch (...) {
        return -1;
    }
}
