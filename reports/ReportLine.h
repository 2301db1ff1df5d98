// Each kind of report line both ways: the text the store writes and what the journal reads back
// from it. The layout (indents, rules, field columns and widths) lives only here.
#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "reports/DeviceInfo.h"
#include "reports/LocalTime.h"

namespace pulsedesk::reports {

// The four elapsed-time bytes of a finished measurement.
struct CountTime {
    std::uint8_t hours = 0;
    std::uint8_t minutes = 0;
    std::uint8_t seconds = 0;
    std::uint8_t hundredths = 0;

    bool operator==(const CountTime&) const = default;
};

// Reads fixed-form text from left to right; every step fails once one has failed, and the first
// failure names what was expected and where. The steps are inline: a year's export takes a
// million of them.
class LineCursor {
  public:
    explicit LineCursor(std::string_view text) : text(text) {}

    bool Literal(std::string_view expected) {
        if (!ok || text.size() - at < expected.size() ||
            std::string_view(text.data() + at, expected.size()) != expected)
            return Fail(expected);
        at += expected.size();
        return true;
    }
    // At least min and at most max digits; more than a 64-bit number holds fail.
    std::int64_t Digits(std::size_t min, std::size_t max, std::string_view what) {
        // Up to 18 digits always fit: only longer runs are checked, digit by digit.
        constexpr std::size_t kAlwaysFits = 18;
        const std::size_t start = at;
        const std::size_t first = std::min(min, kAlwaysFits);
        std::int64_t value = Exactly(first, what);
        if (!ok) return 0;
        const std::size_t stop = at + std::min(text.size() - at, max - first);
        bool fits = true;
        for (; at < stop && text[at] >= '0' && text[at] <= '9'; ++at) {
            const int digit = text[at] - '0';
            if (at - start < kAlwaysFits)
                value = value * 10 + digit;
            else
                fits = fits && !__builtin_mul_overflow(value, 10, &value) &&
                       !__builtin_add_overflow(value, digit, &value);
        }
        if (at - start < min || !fits) {
            at = start;
            Fail(what);
            return 0;
        }
        return value;
    }
    char Any(std::string_view allowed, std::string_view what) {
        const bool found = ok && at < text.size() &&
                           std::any_of(allowed.begin(), allowed.end(),
                                       [c = text[at]](char a) { return a == c; });
        if (!found) {
            Fail(what);
            return 0;
        }
        return text[at++];
    }
    bool Peek(char c) const { return ok && at < text.size() && text[at] == c; }
    // Only blanks remain.
    bool End();
    bool Ok() const { return ok; }
    const std::string& Error() const { return error; }

  private:
    bool Fail(std::string_view expected);
    // Most fields have a fixed width: every digit is looked at, with no branch per digit.
    std::int64_t Exactly(std::size_t n, std::string_view what) {
        if (!ok || text.size() - at < n) {
            Fail(what);
            return 0;
        }
        std::int64_t value = 0;
        bool digits = true;
        for (std::size_t i = 0; i < n; ++i) {
            const auto digit = static_cast<unsigned>(text[at + i] - '0');
            digits &= digit <= 9;
            value = value * 10 + digit;
        }
        if (!digits) {
            Fail(what);
            return 0;
        }
        at += n;
        return value;
    }

    std::string_view text;
    std::size_t at = 0;
    bool ok = true;
    std::string error;
};

// The header's closing rule.
std::string HeaderClosingLine();
bool IsHeaderClosingLine(std::string_view line);

// The value of the header's device line after its label: " QEV-C2-N0042-Soft-1.5".
struct DeviceIdentity {
    std::string model;
    std::uint32_t serial = 0;
    std::uint8_t firmware = 0;  // in tenths
    bool operator==(const DeviceIdentity&) const = default;
};
std::string DeviceFieldValue(const DeviceInfo& device);
// The identity in a device line as written, label included; the label is taken to end at its
// last ": " (the settings' labels end so), else at its first blank. Empty when the line does
// not end in a device field.
std::optional<DeviceIdentity> ParseDeviceLine(std::string_view line);

// "Date: DD-MM-YYYY ;" and its rule.
struct LineDate {
    int year = 0;
    int month = 0;
    int day = 0;
    bool operator==(const LineDate&) const = default;
};
std::string DateText(const LocalTime& now);  // "DD-MM-YYYY"
std::string DateLine(const LocalTime& now);
// Whether the last date line after the first line carries today's date.
bool HasDateLineOf(const std::vector<std::string>& lines, const LocalTime& now);
bool StartsDateLine(std::string_view line);
// The date as written; not checked against the calendar. Empty with error set otherwise.
std::optional<LineDate> ParseDateLine(std::string_view line, std::string& error);

// A record: "<NNNNNN>  ;" and the first description piece, the continuation lines, then the
// closing piece of hyphens.
std::string RecordLine(std::uint32_t number, std::string_view piece);  // number modulo 1000000
std::string ContinuationLine(std::string_view piece);
const std::string& ClosingPiece();
bool StartsRecordLine(std::string_view line);
// The six digits of a line StartsRecordLine took; empty with error set when they are not.
std::optional<std::uint32_t> ParseRecordNumber(std::string_view line, std::string& error);
std::string_view RecordLinePiece(std::string_view line);
bool IsContinuationLine(std::string_view line);
std::string_view ContinuationPiece(std::string_view line);

// A measurement line's fields as written.
struct MeasurementFields {
    std::string label;  // A, B, ..., ZZZZ
    int hour = 0;
    int minute = 0;
    std::int32_t thresholdMv = 0;
    CountTime time;
    std::uint32_t count = 0;
    std::optional<std::uint64_t> rate;  // D in thousandths per second; none for a time of zero
    char category = '-';                // N, W, A, or - without a rate

    bool operator==(const MeasurementFields&) const = default;
};
std::string FormatMeasurementLine(const MeasurementFields& fields);
bool StartsMeasurementLine(std::string_view line);
std::optional<MeasurementFields> ParseMeasurementLine(std::string_view line, std::string& error);

// The fields' texts.
std::string RateField(std::optional<std::uint64_t> rate);  // "00051.200" or "-----.---"
std::string LabelField(const std::string& label);          // exactly four characters
std::string UtField(std::int32_t millivolts);              // " 0120", "-0350"

}  // namespace pulsedesk::reports
