// The words of a pulsectl command line, shared by every command: the usage error, the option
// walker and the parsers of numbers, times and thresholds. Each value is checked before anything
// is sent or read.
#pragma once

#include <cstdint>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "reports/ReportFormat.h"

namespace pulsedesk::journal {

// A bad command line: exit code 2, the message followed by the help that describes it. The
// command is filled in by whoever knows which one was being parsed.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
    std::string command;  // empty: the program's own help
};

[[noreturn]] void Refuse(const std::string& text);

// The most counts one series (measure --repeat, a QA series, a sweep's points) may ask for.
inline constexpr int kMaxRepeat = 100000;

// A time as H:MM:SS; the hundredths stay 0.
using ClockTime = reports::CountTime;

// A command's words in order: words before its options (a subcommand, a value), then options,
// each one allowed at most once.
class Arguments {
  public:
    Arguments(std::string command, std::vector<std::string> args)
        : command(std::move(command)), args(std::move(args)) {}

    bool AsksHelp() const;
    bool Done() const { return i >= args.size(); }
    // The next word, refused as missing at the end.
    std::string Word(const std::string& what);
    // The next word when there is one that is not an option.
    bool NextWord(std::string& word);
    // The next option; false at the end. One given twice is refused.
    bool NextOption(std::string& option);
    std::string Value(const std::string& option);
    bool Seen(const std::string& option) const { return seen.count(option) > 0; }
    void ExpectEnd();
    [[noreturn]] void RefuseOption(const std::string& option) const;
    // Refusals from here on name the subcommand too: "qa source: ...".
    void Within(const std::string& subcommand) { command += " " + subcommand; }

    std::string command;

  private:
    std::vector<std::string> args;
    std::size_t i = 0;
    std::set<std::string> seen;
};

// A whole number from min to max; refuses naming what, the text and the range.
std::int64_t ParseWhole(const std::string& what, const std::string& text, std::int64_t min,
                        std::int64_t max, const std::string& unit = {});
// A finite decimal number from min to max.
double ParseDecimal(const std::string& what, const std::string& text, double min, double max);
// Whole millivolts within the device's threshold range.
std::int32_t ParseThreshold(const std::string& what, const std::string& text);

// "1:05:00" -> 1 h 5 min 0 s; hours 0 to 99, minutes and seconds 0 to 59.
ClockTime ParseClockTime(const std::string& what, const std::string& text);
// The same for a time to count: 0:00:00 is refused, as it would count nothing.
ClockTime ParseCountTime(const std::string& what, const std::string& text);

// A folder option's value; an empty one is refused.
std::string ParseFolder(const std::string& what, const std::string& text);

}  // namespace pulsedesk::journal
