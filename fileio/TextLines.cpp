#include "fileio/TextLines.h"

#include <cstring>

namespace pulsedesk::fileio {

namespace {

// Where the line ends: at its first CR or LF. Two memchr beat a search for either byte, which
// compares every byte with both.
std::size_t LineEnd(std::string_view bytes) {
    const void* lf = std::memchr(bytes.data(), '\n', bytes.size());
    const std::size_t stop =
        lf == nullptr ? bytes.size()
                      : static_cast<std::size_t>(static_cast<const char*>(lf) - bytes.data());
    const void* cr = std::memchr(bytes.data(), '\r', stop);
    return cr == nullptr ? stop
                         : static_cast<std::size_t>(static_cast<const char*>(cr) - bytes.data());
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
