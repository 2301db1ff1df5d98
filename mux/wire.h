// The bytes that travel between muxclient and muxserver, and the frame rule both sides check.
//
// Request: one length byte L (2 to 16), then the L bytes of the device frame.
// Reply:   one length byte n (0 to 20), then the n bytes that came back from the line.
// n = 0 means no reply: the device was silent or the line is unavailable.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pulsedesk::mux {

inline constexpr std::size_t kMinRequest = 2;
inline constexpr std::size_t kMaxRequest = 16;
inline constexpr std::size_t kMaxReply = 20;

// A length byte that can open a request.
bool IsValidRequestLength(std::size_t length);

// A device frame is N + 1 bytes long, N being the header's low nibble.
bool IsValidRequest(const std::uint8_t* frame, std::size_t length);

}  // namespace pulsedesk::mux
