#include "protocol.h"

namespace pulsedesk::link {

std::size_t BuildFrame(std::uint8_t header, std::initializer_list<std::int64_t> values,
                       FrameBuffer& buf) {
    const std::size_t n = PayloadLength(header);
    if (n == 0 || values.size() != n) return 0;
    buf[0] = header;
    std::size_t i = 1;
    for (std::int64_t v : values) buf[i++] = static_cast<std::uint8_t>(v & 0xFF);
    return n + 1;
}

bool ReplyLengthAgrees(const std::uint8_t* reply, std::size_t length) {
    return length >= 1 && length == PayloadLength(reply[0]) + 1;
}

bool IsReplyA(const std::uint8_t* reply, std::size_t length) {
    return length == kReplyALength && reply[1] == ReplyCodeFor(ReadStatusA);
}

bool IsReplyB(const std::uint8_t* reply, std::size_t length) {
    return length == kReplyBLength && reply[1] == ReplyCodeFor(ReadStatusB);
}

}  // namespace pulsedesk::link
