// The report's text, byte for byte: file names, header, date, record and measurement lines.
// Pure functions of their arguments; ReportStore puts them into files.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fileio/TextLines.h"
#include "reports/DeviceInfo.h"
#include "reports/LocalTime.h"
#include "reports/ReportLine.h"

namespace pulsedesk::reports {

// Report text as lines: reading accepts CR LF, a lone CR or a lone LF as a line end; writing
// ends every line, the last one included, with CR LF.
using fileio::LineSplitter;
using fileio::SplitLines;
std::string JoinLines(const std::vector<std::string>& lines);

// Reads the text of one key of the header-label section; empty when the key is missing.
using HeaderLabelReader = std::function<std::string(const std::string& key)>;

// The numbers a report file's name is built from.
struct ReportFileName {
    std::int16_t year = 0;
    std::uint8_t month = 1;
    std::int32_t first = 1;  // number of the file's first record, present or to come
    std::uint32_t last = 1;  // number of its latest record; 0 while it holds none
    std::string name;        // the last name built from the record

    // "MM-YY_FFFFFF-LLLLLL.rep"; also kept in name.
    const std::string& Build();
    // The same four numbers with ".bak".
    std::string BackupName() const;
};

// 0 or above 12 becomes 1.
std::uint8_t ValidMonth(int month);

// The pieces of "MM-YY_FFFFFF-LLLLLL.rep": month, year, first, last. A piece that is empty or not
// a decimal number takes its default (month 1, year 10, first 0, last 0); complete is false then.
struct ParsedReportName {
    int month = 1;
    int year = 10;
    std::int32_t first = 0;
    std::uint32_t last = 0;
    bool complete = true;
};
ParsedReportName ParseReportFileName(const std::string& name);

// "MM-YY*.rep" and "MM-YY_*.bak" for one month's reports and backups.
std::string ReportSearchPattern(int month, int year);
std::string BackupSearchPattern(int month, int year);

const char* MonthName(int month);

std::vector<std::string> HeaderLines(const DeviceInfo& device, const LocalTime& now,
                                     const HeaderLabelReader& labels);

// The description cut into the pieces that follow the record prefixes; line breaks end a piece
// and are dropped.
std::vector<std::string> SplitDescription(std::string description);
// The empty line, the record line(s) with the number modulo 1000000, and the closing line.
std::vector<std::string> RecordBlock(std::uint32_t number, const std::string& description);

// The whole time in hundredths of a second.
std::uint64_t Hundredths(const CountTime& time);

// Pulses per second in thousandths, truncated; empty for a count time of zero.
std::optional<std::uint64_t> RateOf(std::uint32_t count, CountTime time);
// Whether rate is RateOf for a count over a time of these hundredths, found without a division:
// the reader checks every line.
bool IsRateOf(std::uint64_t rate, std::uint32_t count, std::uint64_t hundredths);
char CategoryOf(std::uint64_t rate, const DeviceInfo& device);  // 'N', 'W' or 'A'
// The measurement line with its rate and category.
std::string MeasurementLine(const std::string& label, const LocalTime& now, std::int32_t threshold,
                            std::uint32_t count, CountTime time, const DeviceInfo& device);

// A, B, ..., Z, AA, AB, ... from "@".
std::string NextLabel(std::string label);

}  // namespace pulsedesk::reports
