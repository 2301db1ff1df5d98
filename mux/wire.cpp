#include "wire.h"

#include <algorithm>
#include <cstdio>

#include "link/Frames.h"

namespace pulsedesk::mux {

namespace {

std::string Printable(const std::uint8_t* bytes, std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < length && text.size() < kMaxName; ++i)
        text += bytes[i] >= 0x20 && bytes[i] < 0x7F ? static_cast<char>(bytes[i]) : '?';
    return text;
}

}  // namespace

bool IsValidRequestLength(std::size_t length) {
    return length >= kMinRequest && length <= kMaxRequest;
}

bool IsValidRequest(const std::uint8_t* frame, std::size_t length) {
    return frame != nullptr && IsValidRequestLength(length) && (frame[0] & 0x0Fu) + 1u == length;
}

// The code byte alone proves nothing: a longer frame that carries a query's code is no query.
bool IsChangingFrame(const std::uint8_t* frame, std::size_t length) {
    for (const link::Command query : {link::ReadStatusA, link::ReadStatusB, link::ReadSerialNumber,
                                      link::ReadModel, link::ReadFirmwareVersion}) {
        const link::frames::Frame open = link::frames::QueryFrame(query);
        if (length == open.Length() && std::equal(frame, frame + length, open.Data())) return false;
    }
    return true;
}

std::size_t MessageLength(const std::uint8_t* in, std::size_t have) {
    if (have == 0) return 1;
    if (IsValidRequestLength(in[0])) return 1 + std::size_t{in[0]};
    if (in[0] == kTakeControl || in[0] == kGiveBack) return 1;
    if (in[0] != kHello) return 0;
    if (have == 1) return 2;
    return in[1] >= kMinHello && in[1] <= kMaxHello ? 2 + std::size_t{in[1]} : 0;
}

std::string ClientIdentity::Describe() const {
    return (name.empty() ? std::string("a client") : name) + " (process " + std::to_string(pid) +
           ")";
}

std::string ClientIdentity::Logged() const {
    std::uint32_t hash = 2166136261u;  // FNV-1a: a tag to tell tokens apart, not a secret
    for (const std::uint8_t byte : token) hash = (hash ^ byte) * 16777619u;
    char tag[16];
    std::snprintf(tag, sizeof tag, "%08x", hash);
    std::string text = Describe();
    text.insert(text.size() - 1, std::string(", token ") + tag);
    return text;
}

std::vector<std::uint8_t> EncodeHello(const ClientIdentity& identity) {
    const std::string name = Printable(reinterpret_cast<const std::uint8_t*>(identity.name.data()),
                                       identity.name.size());
    std::vector<std::uint8_t> out{kHello, static_cast<std::uint8_t>(kMinHello + name.size())};
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(identity.pid >> shift));
    out.insert(out.end(), identity.token.begin(), identity.token.end());
    out.insert(out.end(), name.begin(), name.end());
    return out;
}

std::optional<ClientIdentity> DecodeHello(const std::uint8_t* body, std::size_t length) {
    if (length < kMinHello || length > kMaxHello) return std::nullopt;
    ClientIdentity id;
    for (int i = 0; i < 4; ++i) id.pid = (id.pid << 8) | body[i];
    std::copy_n(body + 4, kTokenSize, id.token.begin());
    id.name = Printable(body + kMinHello, length - kMinHello);
    return id;
}

}  // namespace pulsedesk::mux
