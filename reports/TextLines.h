// Report text as a list of lines: reading accepts CR LF, a lone CR or a lone LF as a line end;
// writing ends every line, the last one included, with CR LF.
#pragma once

#include <string>
#include <vector>

namespace pulsedesk::reports {

std::vector<std::string> SplitLines(const std::string& bytes);
std::string JoinLines(const std::vector<std::string>& lines);

}  // namespace pulsedesk::reports
