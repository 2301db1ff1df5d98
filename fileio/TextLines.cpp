#include "fileio/TextLines.h"

#include <bit>
#include <cstdint>
#include <cstring>

namespace pulsedesk::fileio {

namespace {

// Where the line ends: at its first CR or LF, both looked for in sixteen bytes at a time (two
// memchr, one for each byte, look at every byte of a line ended by CR LF twice).
std::size_t LineEnd(std::string_view bytes) {
    using Bytes = char __attribute__((vector_size(16)));
    std::size_t at = 0;
    for (; at + sizeof(Bytes) <= bytes.size(); at += sizeof(Bytes)) {
        Bytes piece;
        std::memcpy(&piece, bytes.data() + at, sizeof piece);
        const auto ends = (piece == '\n') | (piece == '\r');
        std::uint64_t halves[2];
        std::memcpy(halves, &ends, sizeof halves);
        if ((halves[0] | halves[1]) == 0) continue;
        // The first end's byte is the lowest set byte of the halves, read in the machine's order.
        const std::uint64_t half = halves[0] != 0 ? halves[0] : halves[1];
        const std::size_t first = static_cast<std::size_t>(
            std::endian::native == std::endian::little ? std::countr_zero(half)
                                                       : std::countl_zero(half)) / 8;
        return at + (halves[0] != 0 ? 0 : 8) + first;
    }
    while (at < bytes.size() && bytes[at] != '\n' && bytes[at] != '\r') ++at;
    return at;
}

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
