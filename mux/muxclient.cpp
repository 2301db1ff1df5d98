// libmuxclient.so: the shared-port server's client library. Its one export,
// TransactMuxCommand, sends one device frame to the server named by PULSEDESK_MUX and waits for
// the reply, on a connection of its own, so a restarted server is reached by the next call.
#include <algorithm>
#include <array>
#include <chrono>
#include <optional>

#include "endpoint.h"
#include "socket_io.h"
#include "wire.h"

namespace {

using namespace pulsedesk::mux;

constexpr std::chrono::milliseconds kConnectLimit{500};
constexpr std::chrono::milliseconds kCallLimit{2000};  // connect, queue, exchange and reply

// The reply's length, with the reply in place, or nothing.
std::optional<std::size_t> Transact(const std::uint8_t* request, std::size_t length,
                                    std::uint8_t* reply) {
    const auto endpoint = ParseEndpoint(ClientEndpointText());
    if (!endpoint) return std::nullopt;
    const Clock::time_point start = Clock::now();
    const Clock::time_point deadline = start + kCallLimit;
    UniqueFd s = ConnectWithin(*endpoint, start + kConnectLimit);
    if (!s.Valid()) return std::nullopt;

    std::array<std::uint8_t, 1 + kMaxRequest> message{};
    message[0] = static_cast<std::uint8_t>(length);
    std::copy_n(request, length, message.begin() + 1);
    if (!SendAllWithin(s.Get(), message.data(), 1 + length, deadline)) return std::nullopt;

    std::uint8_t replyLength = 0;
    std::array<std::uint8_t, kMaxReply> answer{};
    if (!ReceiveExactWithin(s.Get(), &replyLength, 1, deadline) || replyLength > kMaxReply ||
        !ReceiveExactWithin(s.Get(), answer.data(), replyLength, deadline))
        return std::nullopt;
    std::copy_n(answer.begin(), replyLength, reply);
    return replyLength;
}

}  // namespace

// Returns the number of reply bytes written into reply (at most 20), 0 on any failure.
extern "C" __attribute__((visibility("default"))) int TransactMuxCommand(
    unsigned int length, const unsigned char* request, unsigned char* reply) {
    if (request == nullptr || reply == nullptr || !IsValidRequest(request, length)) return 0;
    try {
        return static_cast<int>(Transact(request, length, reply).value_or(0));
    } catch (...) {  // nothing may escape into a C caller
        return 0;
    }
}
