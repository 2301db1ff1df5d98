// The bytes that travel between muxclient and muxserver, and the frame rule both sides check.
//
// Request: one length byte L (2 to 16), then the L bytes of the device frame.
// Reply:   one length byte n (0 to 20), then the n bytes that came back from the line.
// n = 0 means no reply: the device was silent or the line is unavailable.
//
// Control: a client that introduces itself (hello: program name, process id and a token of its
// process) may take the right to send the frames that change the device. While one client holds
// it, another client's changing frame is answered with a refusal that names the holder; the
// holder's replies carry kHeldFlag in their length byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace pulsedesk::mux {

inline constexpr std::size_t kMinRequest = 2;
inline constexpr std::size_t kMaxRequest = 16;
inline constexpr std::size_t kMaxReply = 20;

// Messages besides a request, told by their first byte (never a request's length byte).
inline constexpr std::uint8_t kHello = 0xC1;        // then body length, body (below)
inline constexpr std::uint8_t kTakeControl = 0xC2;  // alone
inline constexpr std::uint8_t kGiveBack = 0xC3;     // alone

// Answers: a take is answered kGranted, kGrantedAfterOther or a refusal, a give-back kGivenBack. A
// refusal is kRefused, the length of the holder's description (up to kMaxHolder) and the
// description.
inline constexpr std::uint8_t kGivenBack = 0x00;
inline constexpr std::uint8_t kGranted = 0x01;  // no other client was granted control since
                                                // this one last held it
inline constexpr std::uint8_t kGrantedAfterOther = 0x02;  // another client was, meanwhile
inline constexpr std::uint8_t kRefused = 0xFF;
// Instead of a request's reply: its turn did not come in time; the frame never reached the line.
inline constexpr std::uint8_t kBusy = 0xFE;
inline constexpr std::uint8_t kHeldFlag =
    0x40;  // in a reply's length byte: the asker holds control
inline constexpr std::size_t kMaxHolder = 64;

// Hello body: process id (4 bytes, big-endian), token, program name (the rest, printable).
inline constexpr std::size_t kTokenSize = 16;
inline constexpr std::size_t kMaxName = 32;
inline constexpr std::size_t kMinHello = 4 + kTokenSize;
inline constexpr std::size_t kMaxHello = kMinHello + kMaxName;
inline constexpr std::size_t kMaxMessage = 2 + kMaxHello;

// A length byte that can open a request.
bool IsValidRequestLength(std::size_t length);

// A device frame is N + 1 bytes long, N being the header's low nibble.
bool IsValidRequest(const std::uint8_t* frame, std::size_t length);

// Whether the frame changes the device: everything except the exact frames of the status
// requests and the identification queries, which stay open to every client.
bool IsChangingFrame(const std::uint8_t* frame, std::size_t length);

// How long the message that starts with the `have` bytes of `in` is in all, as far as those bytes
// tell (1 when nothing is known yet); 0 when they cannot open a message.
std::size_t MessageLength(const std::uint8_t* in, std::size_t have);

// Who a connection belongs to.
struct ClientIdentity {
    std::uint32_t pid = 0;
    std::array<std::uint8_t, kTokenSize> token{};
    std::string name;  // printable ASCII, at most kMaxName bytes

    // "pulsectl (process 4242)": what a refusal names; the token is never shown.
    std::string Describe() const;
    // "pulsectl (process 4242, token 1f0c9a3e)": what the log names, with a short hash of the
    // token, so that a client claiming another's name and process is told apart.
    std::string Logged() const;
    bool SameClient(const ClientIdentity& other) const {
        return pid == other.pid && token == other.token;
    }
};

// The whole hello message; the name is cut to kMaxName and made printable.
std::vector<std::uint8_t> EncodeHello(const ClientIdentity& identity);
// The identity of a hello body; nothing when its length is wrong. Unprintable name bytes become
// '?'.
std::optional<ClientIdentity> DecodeHello(const std::uint8_t* body, std::size_t length);

}  // namespace pulsedesk::mux
