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
std::size_t LineEnd(std::string_view bytes) {
    const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
    std::size_t at = 0;
    for (; at + 16 <= bytes.size(); at += 16) {
        const __m128i piece = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes.data() + at));
        const int ends =
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(piece, lf), _mm_cmpeq_epi8(piece, cr)));
        if (ends != 0)
            return at + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(ends)));
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
    const std::size_t endingLength =
        rest.substr(stop, 2) == "\r\n" ? 2 : (stop < rest.size() ? 1 : 0);
    text = rest.substr(0, stop);
    ending = rest.substr(stop, endingLength);
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
