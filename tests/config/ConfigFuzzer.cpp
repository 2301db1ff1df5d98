// Random bytes as a settings file, as number texts, as binary values and as text to convert:
// none of it may crash, hang or read outside its buffers.
#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "config/ConfigNumber.h"
#include "config/Cp1251.h"
#include "config/TExtIniFile.h"

using namespace pulsedesk::config;

namespace {

// An in-memory file, reached by name like any file on disk; nothing is left behind.
const std::string& ScratchFile() {
    static const std::string name = [] {
        const int fd = ::memfd_create("pulsedesk-config-fuzz", 0);
        if (fd < 0) __builtin_trap();
        return "/proc/self/fd/" + std::to_string(fd);
    }();
    return name;
}

void WriteScratch(std::string_view content) {
    const int fd = std::stoi(ScratchFile().substr(std::string_view("/proc/self/fd/").size()));
    if (::ftruncate(fd, 0) != 0 ||
        ::pwrite(fd, content.data(), content.size(), 0) != static_cast<ssize_t>(content.size())) {
        __builtin_trap();
    }
}

// The bytes as a whole file.
void FeedIniReader(std::string_view data) {
    WriteScratch(data);
    const TExtIniFile ini(ScratchFile());
    for (const char* section : {"SYSTEM", "system", "A", ""}) {
        const std::string value = ini.ReadString(section, "k", "dflt");
        if (value.size() > TExtIniFile::kMaxValueLength) __builtin_trap();
        ini.SectionExists(section);
        ini.ValueExists(section, "k");
    }
}

// The bytes as a stored binary value, read back with several sizes.
void FeedReadBinary(std::string_view data) {
    WriteScratch("[A]\r\nk=" + std::string(data));
    const TExtIniFile ini(ScratchFile());
    std::array<uint8_t, 64> buffer{};
    const std::array<uint8_t, 64> fallback{};
    for (const std::size_t size :
         {std::size_t{1}, std::size_t{4}, data.size() / 2 - 1, std::size_t{64}}) {
        if (size == 0 || size > buffer.size()) continue;
        ini.ReadBinary("A", "k", buffer.data(), size, fallback.data());
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    int32_t value = 0;
    ParseIntegerText(data, value);
    ParseConfigNumber(data, 7);
    if (Utf8ToCp1251(Cp1251ToUtf8(data)).size() != data.size()) __builtin_trap();
    Utf8ToCp1251(data);
    FeedIniReader(data);
    FeedReadBinary(data);
    return 0;
}
