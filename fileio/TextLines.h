// Text as lines: a line ends at CR LF, a lone CR or a lone LF; a last line may have no end.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pulsedesk::fileio {

struct TextLine {
    std::string text;
    std::string ending;  // "\r\n", "\n", "\r", or empty for a last line without one
};

// The lines one at a time, as views into the bytes: nothing is copied or kept.
class LineSplitter {
  public:
    explicit LineSplitter(std::string_view bytes) : rest(bytes) {}
    // The next line's text and ending; false after the last line.
    bool Next(std::string_view& text, std::string_view& ending);
    bool Next(std::string_view& text);

  private:
    std::string_view rest;
};

std::vector<TextLine> SplitLinesWithEndings(std::string_view bytes);
// The lines' texts alone.
std::vector<std::string> SplitLines(std::string_view bytes);

// Every line with its own ending: the bytes they were split from.
std::string JoinLines(const std::vector<TextLine>& lines);
// Every line, the last one included, ended with `ending`.
std::string JoinLines(const std::vector<std::string>& lines, std::string_view ending);

}  // namespace pulsedesk::fileio
