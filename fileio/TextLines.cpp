#include "fileio/TextLines.h"

namespace pulsedesk::fileio {

std::vector<TextLine> SplitLinesWithEndings(std::string_view bytes) {
    std::vector<TextLine> lines;
    while (!bytes.empty()) {
        const std::size_t stop = bytes.find_first_of("\r\n");
        if (stop == std::string_view::npos) {
            lines.push_back({std::string(bytes), ""});
            break;
        }
        const std::size_t endingLength = bytes.substr(stop, 2) == "\r\n" ? 2 : 1;
        lines.push_back(
            {std::string(bytes.substr(0, stop)), std::string(bytes.substr(stop, endingLength))});
        bytes.remove_prefix(stop + endingLength);
    }
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
