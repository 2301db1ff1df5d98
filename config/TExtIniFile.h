#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace pulsedesk::config {

// Raised when the ini file cannot be rewritten; the file on disk is then left as it was.
class IniWriteError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// An ini file read and written the way the bench's private-profile files always were:
// - "[name]" opens a section; "key=value" lines are its entries; lines without "=", lines
//   starting with ";" and section lines without "]" are kept but mean nothing;
// - section and key names match without regard to ASCII letter case; of duplicate sections or
//   keys the first one counts;
// - a value is the text after the first "=", without leading and trailing blanks, and without
//   a pair of matching quotes around it; bytes (Windows-1251) pass unchanged; a value is cut
//   at a NUL byte and after kMaxValueLength characters;
// - lines may end in CR LF, LF or CR.
// Every call works on the file as it is on disk at that moment: nothing is cached, and a file
// that is missing or unreadable behaves as an empty one.
class TExtIniFile {
  public:
    static constexpr std::size_t kMaxValueLength = 2047;

    explicit TExtIniFile(std::string fileName);
    virtual ~TExtIniFile() = default;
    TExtIniFile(const TExtIniFile&) = delete;
    TExtIniFile& operator=(const TExtIniFile&) = delete;

    const std::string& FileName() const { return fileName_; }

    std::string ReadString(std::string_view section, std::string_view key,
                           std::string_view defaultValue) const;
    // Sets the value, adding the key or the section when missing, and keeps every other line
    // as it was. The new file replaces the old one in a single rename, so a crash leaves
    // either the old or the new file. Throws IniWriteError when the file cannot be written,
    // std::invalid_argument for names or values that would break the file's line structure.
    void WriteString(std::string_view section, std::string_view key, std::string_view value);
    bool SectionExists(std::string_view section) const;
    bool ValueExists(std::string_view section, std::string_view key) const;

    // Stores `size` bytes plus an exclusive-or check byte as upper-case hexadecimal text.
    // Nothing happens when `buffer` is null or `size` is 0. Throws as WriteString does.
    // Values are read back at most kMaxValueLength characters long, so at most 1022 bytes
    // can be read back.
    virtual void WriteBinary(std::string_view section, std::string_view key, const void* buffer,
                             std::size_t size);
    // Fills `size` bytes from a value stored by WriteBinary with the same size; when the value
    // is missing, of another size or fails its check, copies `size` bytes of `defaultBuffer`
    // instead (or leaves `buffer` as it was when that is null). Never fails.
    virtual void ReadBinary(std::string_view section, std::string_view key, void* buffer,
                            std::size_t size, const void* defaultBuffer) const;

  private:
    std::string fileName_;
};

}  // namespace pulsedesk::config
