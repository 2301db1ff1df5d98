#include "wire.h"

namespace pulsedesk::mux {

bool IsValidRequestLength(std::size_t length) {
    return length >= kMinRequest && length <= kMaxRequest;
}

bool IsValidRequest(const std::uint8_t* frame, std::size_t length) {
    return frame != nullptr && IsValidRequestLength(length) && (frame[0] & 0x0Fu) + 1u == length;
}

}  // namespace pulsedesk::mux
