#include "config/TExtIniFile.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include "fileio/DurableFileWriter.h"
#include "fileio/FileError.h"
#include "fileio/TextLines.h"
#include "fileio/WholeFile.h"

namespace pulsedesk::config {
namespace {

using fileio::TextLine;

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

struct Lookup {
    bool sectionFound = false;
    bool keyFound = false;
    std::string value;
};

// A file that is missing or cannot be read reads as an empty one.
std::string ContentOrNothing(const std::string& fileName) {
    try {
        return fileio::ReadWholeFile(fileName);
    } catch (const fileio::FileError&) {
        return {};
    }
}

IniLine ParseSplitLine(const std::vector<TextLine>& lines, std::size_t index) {
    return ParseLine(index == 0 ? WithoutBom(lines[0].text) : lines[index].text);
}

// Looks through the file up to the end of the first section named `section`, or up to `key` in it.
Lookup LookUp(const std::string& fileName, std::string_view section, std::string_view key) {
    Lookup result;
    const std::vector<TextLine> lines = fileio::SplitLinesWithEndings(ContentOrNothing(fileName));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const IniLine parsed = ParseSplitLine(lines, i);
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

std::string LineEndingOf(const std::vector<TextLine>& lines) {
    for (const TextLine& line : lines) {
        if (!line.ending.empty()) return line.ending;
    }
    return std::string(kDefaultLineEnding);
}

std::size_t FindSection(const std::vector<TextLine>& lines, std::string_view section) {
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const IniLine parsed = ParseSplitLine(lines, i);
        if (parsed.kind == LineKind::Section && EqualsIgnoreCase(parsed.name, section)) return i;
    }
    return lines.size();
}

void InsertLineAfter(std::vector<TextLine>& lines, std::size_t index, std::string text,
                     const std::string& ending) {
    if (lines[index].ending.empty()) lines[index].ending = ending;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(index) + 1, {std::move(text), ending});
}

void SetValue(std::vector<TextLine>& lines, std::string_view section, std::string_view key,
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
        const IniLine parsed = ParseSplitLine(lines, i);
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

// A missing file is an empty one; one that cannot be read is not overwritten.
std::string ExistingContent(const std::string& fileName) {
    try {
        return fileio::ReadWholeFile(fileName);
    } catch (const fileio::FileError& error) {
        if (error.ErrorNumber() == ENOENT) return {};
        ThrowWriteError(fileName, error.ErrorNumber());
    }
}

void ReplaceFile(const std::string& fileName, const std::string& content) {
    try {
        fileio::DurableFileWriter().Replace(fileName, content);
    } catch (const fileio::FileError& error) {
        ThrowWriteError(fileName, error.ErrorNumber());
    }
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
    std::vector<TextLine> lines = fileio::SplitLinesWithEndings(ExistingContent(target));
    SetValue(lines, TrimBlanks(section), TrimBlanks(key), value);
    ReplaceFile(target, fileio::JoinLines(lines));
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
