#include "fileio/TextLines.h"

#include <bit>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pulsedesk::fileio {

namespace {

// Where the line ends: at its first CR or LF, both looked for in sixteen bytes at a time (two
// memchr, one for each byte, look at every byte of a line ended by CR LF twice).
#if defined(__SSE2__)
// One bit for each CR or LF of the sixteen bytes at `at`.
unsigned EndsAt(const char* at) {
    const __m128i piece = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
        _mm_cmpeq_epi8(piece, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(piece, _mm_set1_epi8('\r')))));
}

std::size_t LineEnd(std::string_view bytes) {
    std::size_t at = 0;
    // Two blocks a step: a line of the reports is five of them.
    for (; at + 32 <= bytes.size(); at += 32) {
        const unsigned ends = EndsAt(bytes.data() + at) | EndsAt(bytes.data() + at + 16) << 16;
        if (ends != 0) return at + static_cast<std::size_t>(std::countr_zero(ends));
    }
    for (; at + 16 <= bytes.size(); at += 16) {
        const unsigned ends = EndsAt(bytes.data() + at);
        if (ends != 0) return at + static_cast<std::size_t>(std::countr_zero(ends));
    }
    while (at < bytes.size() && bytes[at] != '\n' && bytes[at] != '\r') ++at;
    return at;
}
#else
std::size_t LineEnd(std::string_view bytes) {
    const std::size_t end = bytes.find_first_of("\r\n");
    return end == std::string_view::npos ? bytes.size() : end;
}
#endif

}  // namespace

bool LineSplitter::Next(std::string_view& text, std::string_view& ending) {
    if (rest.empty()) return false;
    const std::size_t stop = LineEnd(rest);
    const bool crLf = stop + 1 < rest.size() && rest[stop] == '\r' && rest[stop + 1] == '\n';
    const std::size_t endingLength = crLf ? 2 : (stop < rest.size() ? 1 : 0);
    text = std::string_view(rest.data(), stop);
    ending = std::string_view(rest.data() + stop, endingLength);
    rest.remove_prefix(stop + endingLength);
    return true;
}

bool LineSplitter::Next(std::string_view& text) {
    std::string_view ending;
    return Next(text, ending);
}

std::vector<TextLine> SplitLinesWithEndings(std::string_view bytes) {
    std::vector<TextLine> lines;
    LineSplitter splitter(bytes);
    for (std::string_view text, ending; splitter.Next(text, ending);)
        lines.push_back({std::string(text), std::string(ending)});
    return lines;
}

std::vector<std::string> SplitLines(std::string_view bytes) {
    std::vector<std::string> texts;
    for (TextLine& line : SplitLinesWithEndings(bytes)) texts.push_back(std::move(line.text));
    return texts;
}

std::string JoinLines(const std::vector<TextLine>& lines) {
    std::string bytes;
    for (const TextLine& line : lines) bytes += line.text + line.ending;
    return bytes;
}

std::string JoinLines(const std::vector<std::string>& lines, std::string_view ending) {
    std::size_t size = 0;
    for (const auto& line : lines) size += line.size() + ending.size();
    std::string bytes;
    bytes.reserve(size);
    for (const auto& line : lines) {
        bytes += line;
        bytes += ending;
    }
    return bytes;
}

}  // namespace pulsedesk::fileio
