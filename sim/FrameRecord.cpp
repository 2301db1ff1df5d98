#include "FrameRecord.h"

#include <cerrno>
#include <cstring>

namespace pulsedesk::sim {

std::optional<FrameRecord> FrameRecord::Open(const std::string& path, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "ae");
    if (f == nullptr) {
        error = path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    return FrameRecord(f);
}

namespace {

std::string Hex(const std::vector<std::uint8_t>& frame) {
    std::string line;
    char byte[4];
    for (std::uint8_t b : frame) {
        std::snprintf(byte, sizeof byte, line.empty() ? "%02X" : " %02X", b);
        line += byte;
    }
    return line;
}

}  // namespace

void FrameRecord::Write(const std::vector<std::uint8_t>& frame) { WriteLine(Hex(frame)); }

void FrameRecord::WriteLine(const std::string& line) {
    std::fprintf(file.get(), "%s\n", line.c_str());
    std::fflush(file.get());
}

}  // namespace pulsedesk::sim
