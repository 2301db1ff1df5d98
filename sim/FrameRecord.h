// The simulator's record of what it received: every request frame as one line of hexadecimal
// bytes ("02 41 01"), appended and flushed before the reply goes out, so that a test which has
// its reply finds the request already on file. The soak logs are appended the same way.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace pulsedesk::sim {

class FrameRecord {
  public:
    // Opens path for appending (an existing file keeps its lines); nothing with error set when
    // it cannot be opened.
    static std::optional<FrameRecord> Open(const std::string& path, std::string& error);

    void Write(const std::vector<std::uint8_t>& frame);
    // Any other line for a log of its own, appended and flushed the same way.
    void WriteLine(const std::string& line);

  private:
    struct Closer {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    explicit FrameRecord(std::FILE* file) : file(file) {}

    std::unique_ptr<std::FILE, Closer> file;
};

}  // namespace pulsedesk::sim
