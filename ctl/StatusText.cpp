#include "ctl/StatusText.h"

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <utility>

#include "analysis/Export.h"
#include "link/commands.h"
#include "link/protocol.h"

namespace pulsedesk::ctl {

namespace lk = pulsedesk::link;

namespace {

std::string TwoDigits(unsigned v) {
    char text[8];
    std::snprintf(text, sizeof text, "%02u", v);
    return text;
}

std::string Joined(const std::vector<StatusField>& fields, auto piece, const char* separator) {
    std::string line;
    for (const StatusField& f : fields) line += (line.empty() ? "" : separator) + piece(f);
    return line;
}

// The run-state bits in the panel's order of decision.
constexpr std::pair<std::uint8_t, const char*> kRunBits[] = {{lk::kRunDeviceError, "error"},
                                                             {lk::kRunReset, "reset"},
                                                             {lk::kRunCounting, "counting"},
                                                             {lk::kRunFinished, "finished"},
                                                             {lk::kRunBlocked, "blocked"}};

// ["a","b"] of the words "a b".
std::string JsonArray(const std::string& words) {
    std::string array;
    std::istringstream in(words);
    for (std::string word; in >> word;) array += (array.empty() ? "" : ",") + JsonString(word);
    return "[" + array + "]";
}

}  // namespace

std::string RunStateName(std::uint8_t f) {
    for (const auto& [bit, name] : kRunBits)
        if (f & bit) return name;
    return "idle";
}

std::string FlagWords(std::uint8_t f) {
    std::string words;
    for (const auto& [bit, name] : kRunBits)
        if (f & bit) words += (words.empty() ? "" : " ") + std::string(name);
    return words;
}

StatusField FlagsField(std::uint8_t runFlags) {
    return {"flags", FlagWords(runFlags), true, true};
}

std::string ClockText(const std::uint8_t* hms) {
    return TwoDigits(hms[0]) + ":" + TwoDigits(hms[1]) + ":" + TwoDigits(hms[2]);
}

std::string ElapsedText(const std::array<std::uint8_t, 4>& e) {
    return ClockText(e.data()) + "." + TwoDigits(e[3]);
}

std::vector<StatusField> StatusFields(const lk::DeviceStatus& s, const std::string& errorText) {
    return {{"state", RunStateName(s.runFlags), true},
            {"mode", std::to_string(s.Mode())},
            {"count", std::to_string(s.count)},
            {"count_limit", std::to_string(s.countLimit)},
            {"count_time", ClockText(s.countTime.data()), true},
            {"elapsed", ElapsedText(s.elapsedTime), true},
            {"threshold_mv", std::to_string(lk::ThresholdCodeToMillivolts(s.ThresholdCode()))},
            {"error", std::to_string(s.errorCode)},
            {"error_text", errorText, true}};
}

std::string StatusLines(const std::vector<StatusField>& fields) {
    std::string lines;
    for (const StatusField& f : fields) {
        if (f.value.empty()) continue;
        const bool millivolts = f.key.ends_with("_mv");
        std::string label = f.key.substr(0, f.key.size() - (millivolts ? 3 : 0));
        for (char& c : label)
            if (c == '_') c = ' ';
        label.resize(std::max<std::size_t>(label.size() + 1, 13), ' ');
        lines += label + f.value + (millivolts ? " mV" : "") + "\n";
    }
    return lines;
}

std::string JsonString(const std::string& utf8) {
    std::string out = "\"";
    for (unsigned char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string JsonObject(const std::vector<StatusField>& fields) {
    return "{" +
           Joined(
               fields,
               [](const StatusField& f) {
                   return JsonString(f.key) + ":" +
                          (f.list ? JsonArray(f.value) : f.text ? JsonString(f.value) : f.value);
               },
               ",") +
           "}";
}

std::string CsvHeader(const std::vector<StatusField>& fields) {
    return Joined(
        fields, [](const StatusField& f) { return f.key; }, ",");
}

std::string CsvLine(const std::vector<StatusField>& fields) {
    return Joined(
        fields, [](const StatusField& f) { return analysis::CsvCell(f.value); }, ",");
}

}  // namespace pulsedesk::ctl
