#include "config/Cp1251.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace pulsedesk::config {
namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;
constexpr char kUnmappable = '?';

// Code points of bytes 0x80..0xBF; 0xC0..0xFF are the contiguous letters U+0410..U+044F.
// clang-format off
constexpr std::array<char32_t, 64> kUpperHalfStart = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 0x80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 0x88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 0x90
    kReplacementCharacter, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 0x98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // 0xA0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // 0xA8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // 0xB0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // 0xB8
};
// clang-format on
constexpr char32_t kFirstCyrillicLetter = 0x0410;  // byte 0xC0
constexpr char32_t kLastCyrillicLetter = 0x044F;   // byte 0xFF

char32_t DecodeByte(unsigned char byte) {
    if (byte < 0x80) return byte;
    if (byte < 0xC0) return kUpperHalfStart[byte - 0x80];
    return kFirstCyrillicLetter + (byte - 0xC0);
}

char EncodeCodePoint(char32_t cp) {
    if (cp < 0x80) return static_cast<char>(cp);
    if (cp >= kFirstCyrillicLetter && cp <= kLastCyrillicLetter) {
        return static_cast<char>(0xC0 + (cp - kFirstCyrillicLetter));
    }
    for (std::size_t i = 0; i < kUpperHalfStart.size(); ++i) {
        if (kUpperHalfStart[i] == cp && cp != kReplacementCharacter) {
            return static_cast<char>(0x80 + i);
        }
    }
    return kUnmappable;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {  // every code point of the table lies below U+10000
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// Decodes one well-formed UTF-8 sequence at `pos` (rejecting overlong forms, surrogates and
// values above U+10FFFF) and advances past it; on anything else advances by one byte and
// returns false.
bool DecodeUtf8At(std::string_view text, std::size_t& pos, char32_t& cp) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    std::size_t length = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        cp = lead;
        ++pos;
        return true;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2, minimum = 0x80, cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, minimum = 0x800, cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, minimum = 0x10000, cp = lead & 0x07;
    } else {
        ++pos;
        return false;
    }
    if (text.size() - pos < length) {
        ++pos;
        return false;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[pos + i]);
        if (!IsContinuation(byte)) {
            ++pos;
            return false;
        }
        cp = (cp << 6) | (byte & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++pos;
        return false;
    }
    pos += length;
    return true;
}

bool IsShown(char32_t cp) {
    const bool control = (cp < 0x20 && cp != '\t') || (cp >= 0x7F && cp <= 0x9F);
    return !control && cp != 0xFFFE && cp != 0xFFFF;
}

void AppendEscaped(std::string& out, std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    }
}

}  // namespace

std::string Cp1251ToUtf8(std::string_view cp1251) {
    std::string out;
    out.reserve(cp1251.size() * 2);
    const auto upper = [](char c) { return static_cast<unsigned char>(c) >= 0x80; };
    for (auto at = cp1251.begin(); at != cp1251.end();) {
        // ASCII, the same bytes in both, is copied a run at a time.
        const auto run = std::find_if(at, cp1251.end(), upper);
        out.append(at, run);
        if (run == cp1251.end()) break;
        AppendUtf8(out, DecodeByte(static_cast<unsigned char>(*run)));
        at = run + 1;
    }
    return out;
}

std::string Utf8ToCp1251(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        char32_t cp = 0;
        out.push_back(DecodeUtf8At(utf8, pos, cp) ? EncodeCodePoint(cp) : kUnmappable);
    }
    return out;
}

std::string VisibleText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const std::size_t start = pos;
        char32_t cp = 0;
        const bool decoded = DecodeUtf8At(utf8, pos, cp);
        const std::string_view bytes = utf8.substr(start, pos - start);
        if (decoded && IsShown(cp))
            out += bytes;
        else
            AppendEscaped(out, bytes);
    }
    return out;
}

}  // namespace pulsedesk::config
