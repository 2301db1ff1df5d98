#include "trace.h"

#include <pthread.h>

#include <chrono>
#include <cstdlib>
#include <string>

namespace pulsedesk::link {

namespace {

std::string Hex(const std::uint8_t* bytes, std::size_t n) {
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < n; ++i) {
        if (i) out += ' ';
        out += digits[bytes[i] >> 4];
        out += digits[bytes[i] & 0x0F];
    }
    return out;
}

}  // namespace

std::unique_ptr<FrameTrace> FrameTrace::FromEnvironment() {
    const char* path = std::getenv("PULSEDESK_TRACE");
    if (path == nullptr || *path == '\0') return nullptr;
    std::FILE* f = std::fopen(path, "ae");
    if (f == nullptr) return nullptr;
    return std::make_unique<FrameTrace>(f);
}

FrameTrace::FrameTrace(std::FILE* f) : file(f) {}

FrameTrace::~FrameTrace() { std::fclose(file); }

void FrameTrace::Record(const std::uint8_t* request, std::size_t length, const std::uint8_t* reply,
                        int replyLength) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count();
    const std::string answer = replyLength > 0 ? Hex(reply, static_cast<std::size_t>(replyLength)) +
                                                     " (" + std::to_string(replyLength) + ")"
                                               : std::string("no reply");
    std::lock_guard lock(writing);
    std::fprintf(file, "%lld %lu > %s < %s\n", static_cast<long long>(ms),
                 static_cast<unsigned long>(pthread_self()), Hex(request, length).c_str(),
                 answer.c_str());
    std::fflush(file);
}

}  // namespace pulsedesk::link
