// The device's status in words, for people (status), for scripts (JSON) and for logs (CSV):
// one table of fields, three layouts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/tser.h"

namespace pulsedesk::ctl {

struct StatusField {
    std::string key;    // "count_limit"
    std::string value;  // "1000"
    bool text = false;  // quoted in JSON
    bool list = false;  // words separated by spaces, a JSON array of strings
};

// The run state in words, deciding in the panel's order: error, reset, counting, finished,
// blocked; "idle" when no bit is set.
std::string RunStateName(std::uint8_t runFlags);

// Every run-state bit that is set, in words and in the same order: "finished blocked".
std::string FlagWords(std::uint8_t runFlags);
// The "flags" field of FlagWords, a list.
StatusField FlagsField(std::uint8_t runFlags);

// "01:02:03" and, with hundredths, "01:02:03.45".
std::string ClockText(const std::uint8_t* hms);
std::string ElapsedText(const std::array<std::uint8_t, 4>& elapsed);

// state, mode, count, count_limit, count_time, elapsed, threshold_mv, error, error_text.
std::vector<StatusField> StatusFields(const link::DeviceStatus& status,
                                      const std::string& errorText);

std::string StatusLines(const std::vector<StatusField>& fields);  // "count limit  1000" lines
std::string JsonObject(const std::vector<StatusField>& fields);   // one line, no newline
std::string CsvHeader(const std::vector<StatusField>& fields);
std::string CsvLine(const std::vector<StatusField>& fields);

// A JSON string literal of UTF-8 text.
std::string JsonString(const std::string& utf8);

}  // namespace pulsedesk::ctl
