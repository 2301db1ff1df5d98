#include "config/TExtIniFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

namespace pulsedesk::config {
namespace {

// Longer lines keep only their start: far more than a value may hold.
constexpr std::size_t kMaxKeptLineLength = 64 * 1024;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kDefaultLineEnding = "\r\n";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
    }
    return true;
}

std::string_view WithoutBom(std::string_view firstLine) {
    if (firstLine.substr(0, kUtf8Bom.size()) == kUtf8Bom) firstLine.remove_prefix(kUtf8Bom.size());
    return firstLine;
}

enum class LineKind { Meaningless, Section, Entry };

struct IniLine {
    LineKind kind = LineKind::Meaningless;
    std::string_view name;   // section name or key
    std::string_view value;  // entries only, trimmed
};

// The one place that decides what a line means, for reading and for rewriting alike.
IniLine ParseLine(std::string_view line) {
    const std::string_view text = TrimBlanks(line);
    if (text.empty() || text.front() == ';') return {};
    if (text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close == std::string_view::npos) return {};
        return {LineKind::Section, TrimBlanks(text.substr(1, close - 1)), {}};
    }
    const std::size_t equals = text.find('=');
    if (equals == std::string_view::npos) return {};
    const std::string_view key = TrimBlanks(text.substr(0, equals));
    if (key.empty()) return {};
    return {LineKind::Entry, key, TrimBlanks(text.substr(equals + 1))};
}

std::string CleanValue(std::string_view value) {
    const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                        value.back() == value.front();
    if (quoted) value = value.substr(1, value.size() - 2);
    value = value.substr(0, value.find('\0'));
    return std::string(value.substr(0, TExtIniFile::kMaxValueLength));
}

// Owns an open file descriptor.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(FileDescriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    FileDescriptor& operator=(FileDescriptor&&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }

    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }

  private:
    int fd_;
};

// Opens a regular file for reading; devices and pipes are refused so that a read never hangs.
FileDescriptor OpenRegularFile(const std::string& fileName, int& error) {
    FileDescriptor fd(::open(fileName.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!fd) {
        error = errno;
        return fd;
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = EINVAL;
        return FileDescriptor(-1);
    }
    return fd;
}

// Splits a file into lines at CR LF, LF or CR, reading it in chunks.
class LineReader {
  public:
    explicit LineReader(int fd) : fd_(fd), buffer_(64 * 1024) {}

    bool Next(std::string& line) {
        line.clear();
        bool gotAny = false;
        for (int c = Get(); c != kEnd; c = Get()) {
            gotAny = true;
            if (c == '\n') return true;
            if (c == '\r') {
                if (Peek() == '\n') Get();
                return true;
            }
            if (line.size() < kMaxKeptLineLength) line.push_back(static_cast<char>(c));
        }
        return gotAny;
    }

  private:
    static constexpr int kEnd = -1;

    int Peek() {
        if (pos_ == end_ && !Fill()) return kEnd;
        return static_cast<unsigned char>(buffer_[pos_]);
    }
    int Get() {
        const int c = Peek();
        if (c != kEnd) ++pos_;
        return c;
    }
    bool Fill() {
        ssize_t got = 0;
        do {
            got = ::read(fd_, buffer_.data(), buffer_.size());
        } while (got < 0 && errno == EINTR);
        pos_ = 0;
        end_ = got > 0 ? static_cast<std::size_t>(got) : 0;  // a read error ends the file
        return end_ > 0;
    }

    int fd_;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
};

struct Lookup {
    bool sectionFound = false;
    bool keyFound = false;
    std::string value;
};

// Reads the file up to the end of the first section named `section`, or up to `key` in it.
Lookup LookUp(const std::string& fileName, std::string_view section, std::string_view key) {
    Lookup result;
    int error = 0;
    const FileDescriptor fd = OpenRegularFile(fileName, error);
    if (!fd) return result;
    LineReader reader(fd.Get());
    std::string line;
    for (bool first = true; reader.Next(line); first = false) {
        const IniLine parsed = ParseLine(first ? WithoutBom(line) : line);
        if (parsed.kind == LineKind::Section) {
            if (result.sectionFound) break;
            result.sectionFound = EqualsIgnoreCase(parsed.name, section);
        } else if (parsed.kind == LineKind::Entry && result.sectionFound &&
                   EqualsIgnoreCase(parsed.name, key)) {
            result.keyFound = true;
            result.value = CleanValue(parsed.value);
            break;
        }
    }
    return result;
}

// ---- rewriting ----

struct RawLine {
    std::string text;
    std::string ending;  // "\r\n", "\n", "\r" or empty for a last line without one
};

std::vector<RawLine> SplitLines(std::string_view content) {
    std::vector<RawLine> lines;
    while (!content.empty()) {
        const std::size_t stop = content.find_first_of("\r\n");
        if (stop == std::string_view::npos) {
            lines.push_back({std::string(content), ""});
            break;
        }
        const bool crlf =
            content[stop] == '\r' && stop + 1 < content.size() && content[stop + 1] == '\n';
        const std::size_t endingLength = crlf ? 2 : 1;
        lines.push_back({std::string(content.substr(0, stop)),
                         std::string(content.substr(stop, endingLength))});
        content.remove_prefix(stop + endingLength);
    }
    return lines;
}

std::string JoinLines(const std::vector<RawLine>& lines) {
    std::string content;
    for (const RawLine& line : lines) content += line.text + line.ending;
    return content;
}

std::string LineEndingOf(const std::vector<RawLine>& lines) {
    for (const RawLine& line : lines) {
        if (!line.ending.empty()) return line.ending;
    }
    return std::string(kDefaultLineEnding);
}

IniLine ParseRawLine(const std::vector<RawLine>& lines, std::size_t index) {
    return ParseLine(index == 0 ? WithoutBom(lines[0].text) : lines[index].text);
}

std::size_t FindSection(const std::vector<RawLine>& lines, std::string_view section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const IniLine parsed = ParseRawLine(lines, i);
        if (parsed.kind == LineKind::Section && EqualsIgnoreCase(parsed.name, section)) return i;
    }
    return lines.size();
}

void InsertLineAfter(std::vector<RawLine>& lines, std::size_t index, std::string text,
                     const std::string& ending) {
    if (lines[index].ending.empty()) lines[index].ending = ending;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(index) + 1, {std::move(text), ending});
}

void SetValue(std::vector<RawLine>& lines, std::string_view section, std::string_view key,
              std::string_view value) {
    const std::string ending = LineEndingOf(lines);
    const std::string entry = std::string(key) + "=" + std::string(value);
    const std::size_t sectionLine = FindSection(lines, section);
    if (sectionLine == lines.size()) {
        if (!lines.empty() && lines.back().ending.empty()) lines.back().ending = ending;
        lines.push_back({"[" + std::string(section) + "]", ending});
        lines.push_back({entry, ending});
        return;
    }
    std::size_t lastEntry = sectionLine;
    for (std::size_t i = sectionLine + 1; i < lines.size(); ++i) {
        const IniLine parsed = ParseRawLine(lines, i);
        if (parsed.kind == LineKind::Section) break;
        if (parsed.kind != LineKind::Entry) continue;
        if (EqualsIgnoreCase(parsed.name, key)) {
            std::string& text = lines[i].text;
            text = text.substr(0, text.find('=') + 1) + std::string(value);
            return;
        }
        lastEntry = i;
    }
    InsertLineAfter(lines, lastEntry, entry, ending);
}

void CheckWritable(std::string_view section, std::string_view key, std::string_view value) {
    const auto breaksTheFile = [](std::string_view text) {
        return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
    };
    const bool badSection =
        section.empty() || breaksTheFile(section) || section.find(']') != std::string_view::npos;
    const bool badKey = TrimBlanks(key).empty() || breaksTheFile(key) ||
                        key.find('=') != std::string_view::npos || TrimBlanks(key).front() == '[' ||
                        TrimBlanks(key).front() == ';';
    if (badSection || badKey || breaksTheFile(value)) {
        throw std::invalid_argument("ini entry [" + std::string(section) + "] " + std::string(key) +
                                    " cannot be written: invalid name or value");
    }
}

[[noreturn]] void ThrowWriteError(const std::string& fileName, int error) {
    throw IniWriteError("Unable to write to " + fileName + ": " + std::strerror(error));
}

// A symbolic link keeps pointing at the file it names: the rewrite goes to the target.
std::string WriteTarget(const std::string& fileName) {
    std::error_code error;
    if (!std::filesystem::is_symlink(fileName, error)) return fileName;
    const auto target = std::filesystem::canonical(fileName, error);
    return error ? fileName : target.string();
}

std::string ReadExistingContent(const std::string& fileName) {
    int error = 0;
    const FileDescriptor fd = OpenRegularFile(fileName, error);
    if (!fd) {
        if (error == ENOENT) return {};
        ThrowWriteError(fileName, error);
    }
    std::string content;
    std::vector<char> chunk(64 * 1024);
    for (;;) {
        const ssize_t got = ::read(fd.Get(), chunk.data(), chunk.size());
        if (got == 0) return content;
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) ThrowWriteError(fileName, errno);
        content.append(chunk.data(), static_cast<std::size_t>(got));
    }
}

bool WriteAll(int fd, std::string_view content) {
    while (!content.empty()) {
        const ssize_t written = ::write(fd, content.data(), content.size());
        if (written < 0 && errno == EINTR) continue;
        if (written == 0) errno = EIO;
        if (written <= 0) return false;
        content.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

mode_t ModeToKeep(const std::string& fileName) {
    struct stat info {};
    return ::stat(fileName.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0644;
}

void SyncFolder(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;  // the rename has happened; only its durability is less certain
    ::fsync(fd);
    ::close(fd);
}

// Writes a temporary file beside the target, flushes it to disk and renames it over the target.
void ReplaceFile(const std::string& fileName, std::string_view content) {
    const std::filesystem::path target(fileName);
    const std::string folder =
        target.has_parent_path() ? target.parent_path().string() : std::string(".");
    std::string tempName = folder + "/." + target.filename().string() + ".XXXXXX";
    const int fd = ::mkostemp(tempName.data(), O_CLOEXEC);
    if (fd < 0) ThrowWriteError(fileName, errno);
    int failure = 0;
    if (!WriteAll(fd, content) || ::fchmod(fd, ModeToKeep(fileName)) != 0 || ::fsync(fd) != 0) {
        failure = errno;
    }
    if (::close(fd) != 0 && failure == 0) failure = errno;
    if (failure == 0 && ::rename(tempName.c_str(), fileName.c_str()) != 0) failure = errno;
    if (failure != 0) {
        ::unlink(tempName.c_str());
        ThrowWriteError(fileName, failure);
    }
    SyncFolder(folder);
}

int BinaryDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 48;  // what stored values always gave such characters; the check byte catches it
}

std::vector<uint8_t> DecodeHexPairs(std::string_view text) {
    std::vector<uint8_t> bytes(text.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const int high = BinaryDigitValue(text[2 * i]);
        const int low = BinaryDigitValue(text[2 * i + 1]);
        bytes[i] = static_cast<uint8_t>(((high << 4) | low) & 0xFF);
    }
    return bytes;
}

uint8_t XorOf(const uint8_t* bytes, std::size_t count) {
    uint8_t check = 0;
    for (std::size_t i = 0; i < count; ++i) check ^= bytes[i];
    return check;
}

}  // namespace

TExtIniFile::TExtIniFile(std::string fileName) : fileName_(std::move(fileName)) {}

std::string TExtIniFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view defaultValue) const {
    Lookup found = LookUp(fileName_, section, key);
    return found.keyFound ? std::move(found.value) : std::string(defaultValue);
}

void TExtIniFile::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
    CheckWritable(section, key, value);
    const std::string target = WriteTarget(fileName_);
    std::vector<RawLine> lines = SplitLines(ReadExistingContent(target));
    SetValue(lines, TrimBlanks(section), TrimBlanks(key), value);
    ReplaceFile(target, JoinLines(lines));
}

bool TExtIniFile::SectionExists(std::string_view section) const {
    return LookUp(fileName_, section, {}).sectionFound;
}

bool TExtIniFile::ValueExists(std::string_view section, std::string_view key) const {
    return LookUp(fileName_, section, key).keyFound;
}

void TExtIniFile::WriteBinary(std::string_view section, std::string_view key, const void* buffer,
                              std::size_t size) {
    if (buffer == nullptr || size == 0) return;
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    std::string text;
    text.reserve(2 * (size + 1));
    const auto appendByte = [&text](uint8_t byte) {
        text.push_back(kHexDigits[byte >> 4]);
        text.push_back(kHexDigits[byte & 0x0F]);
    };
    for (std::size_t i = 0; i < size; ++i) appendByte(bytes[i]);
    appendByte(XorOf(bytes, size));
    WriteString(section, key, text);
}

void TExtIniFile::ReadBinary(std::string_view section, std::string_view key, void* buffer,
                             std::size_t size, const void* defaultBuffer) const {
    if (buffer == nullptr || size == 0) return;
    const Lookup found = LookUp(fileName_, section, key);
    if (found.keyFound) {
        const std::vector<uint8_t> bytes = DecodeHexPairs(found.value);
        if (!bytes.empty() && bytes.size() - 1 == size && XorOf(bytes.data(), bytes.size()) == 0) {
            std::memcpy(buffer, bytes.data(), size);
            return;
        }
    }
    if (defaultBuffer != nullptr) std::memcpy(buffer, defaultBuffer, size);
}

}  // namespace pulsedesk::config
