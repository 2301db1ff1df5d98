#include "reports/ReportLine.h"

#include <cstdio>
#include <cstring>
#include <limits>

namespace pulsedesk::reports {

namespace {

constexpr std::string_view kRecordIndent = "          ;";
constexpr std::string_view kMeasurementIndent = "          /";
constexpr std::string_view kDateStart = "Date:";
constexpr std::size_t kDateRule = 62;
constexpr std::size_t kClosingHyphens = 69;
constexpr std::size_t kHeaderRule = 79;
constexpr std::size_t kRecordDigits = 6;
constexpr std::size_t kLabelWidth = 4;
// The largest rate a line can carry, the largest count in one hundredth of a second, has 12
// whole digits; the writer pads to 5.
constexpr std::size_t kRateDigits = 12;
constexpr std::size_t kRatePadding = 5;
constexpr std::string_view kNoRate = "-----.---";

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

// A letter label, then ":" and blanks up to four characters (a four-letter label has no ":").
bool ParseLabel(std::string_view field, std::string& label) {
    std::size_t n = 0;
    while (n < field.size() && field[n] >= 'A' && field[n] <= 'Z') ++n;
    if (n == 0 || (n < kLabelWidth && field[n] != ':')) return false;
    label.assign(field.data(), n);
    if (field.size() != kLabelWidth) return false;
    for (std::size_t i = n + 1; i < kLabelWidth; ++i)
        if (field[i] != ' ') return false;
    return true;
}

std::uint8_t TwoDigits(LineCursor& c, std::string_view what) {
    return static_cast<std::uint8_t>(c.Digits(2, 2, what));
}

// Nearly every line the store writes has a count below 10^8 and a rate below 10^5 per second:
// then each field stands at a fixed column, and the line is checked eight characters at a time
// against this picture of it ('d' a digit; L, s and c the label, the sign and the category,
// checked on their own).
constexpr std::string_view kStoreLine =
    "          /LLLLdd.dd  Ut=sddddmV  Tm=dd-dd-dd.dd  N=dddddddd  D=ddddd.ddd  Cat=c";
constexpr std::size_t kStoreWords = kStoreLine.size() / 8;
static_assert(kStoreLine.size() % 8 == 0);

struct StoreLineMasks {
    std::uint64_t literal[kStoreWords];  // 0xFF at each column of a fixed character
    std::uint64_t text[kStoreWords];     // the fixed characters
    std::uint64_t digit[kStoreWords];    // 0xFF at each digit's column
};

std::uint64_t Word(const char* bytes) {
    std::uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

StoreLineMasks MakeStoreLineMasks() {
    StoreLineMasks m{};
    char literal[kStoreLine.size()], digit[kStoreLine.size()];
    for (std::size_t i = 0; i < kStoreLine.size(); ++i) {
        const bool fixed = std::string_view("Lsdc").find(kStoreLine[i]) == std::string_view::npos;
        literal[i] = fixed ? '\xFF' : 0;
        digit[i] = kStoreLine[i] == 'd' ? '\xFF' : 0;
    }
    for (std::size_t w = 0; w < kStoreWords; ++w) {
        m.literal[w] = Word(literal + 8 * w);
        m.text[w] = Word(kStoreLine.data() + 8 * w) & m.literal[w];
        m.digit[w] = Word(digit + 8 * w);
    }
    return m;
}

// Whether every fixed character is in place and every digit column holds a digit. A byte is a
// digit when its high half is 3 and stays 3 with 6 added; a carry out of a byte only ever
// spoils the next byte's check, so a line may be sent to the cursor needlessly, never accepted
// wrongly.
bool HasStoreLayout(std::string_view line) {
    static const StoreLineMasks m = MakeStoreLineMasks();
    if (line.size() != kStoreLine.size()) return false;
    constexpr std::uint64_t kHigh = 0xF0F0F0F0F0F0F0F0, kSix = 0x0606060606060606,
                            kThrees = 0x3333333333333333;
    std::uint64_t wrong = 0;
    for (std::size_t w = 0; w < kStoreWords; ++w) {
        const std::uint64_t word = Word(line.data() + 8 * w);
        wrong |= (word & m.literal[w]) ^ m.text[w];
        wrong |= (((word & kHigh) | (((word + kSix) & kHigh) >> 4)) ^ kThrees) & m.digit[w];
    }
    return wrong == 0;
}

template <std::size_t N>
std::uint32_t DigitsAt(std::string_view line, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < N; ++i) value = value * 10 + static_cast<unsigned>(line[at + i] - '0');
    return value;
}

// The fields of a line in the store's layout, written into f; false for any other line, which
// the cursor reads.
bool ParseStoreLayout(std::string_view line, MeasurementFields& f) {
    constexpr std::size_t kLabelAt = 11, kSignAt = 25, kCategoryAt = 79;
    const char sign = line.size() > kSignAt ? line[kSignAt] : 0;
    const char category = line.size() > kCategoryAt ? line[kCategoryAt] : 0;
    // The categories compared one by one: a search of "NWA-" is a call for every line.
    const bool known = category == 'N' || category == 'W' || category == 'A' || category == '-';
    if (!HasStoreLayout(line) || (sign != ' ' && sign != '-') || !known) return false;
    if (!ParseLabel(line.substr(kLabelAt, kLabelWidth), f.label)) return false;
    f.hour = static_cast<int>(DigitsAt<2>(line, 15));
    f.minute = static_cast<int>(DigitsAt<2>(line, 18));
    if (f.hour > 23 || f.minute > 59) return false;
    const auto ut = static_cast<std::int32_t>(DigitsAt<4>(line, 26));
    f.thresholdMv = sign == '-' ? -ut : ut;
    f.time = {static_cast<std::uint8_t>(DigitsAt<2>(line, 37)),
              static_cast<std::uint8_t>(DigitsAt<2>(line, 40)),
              static_cast<std::uint8_t>(DigitsAt<2>(line, 43)),
              static_cast<std::uint8_t>(DigitsAt<2>(line, 46))};
    f.count = DigitsAt<8>(line, 52);
    f.rate = std::uint64_t{DigitsAt<5>(line, 64)} * 1000 + DigitsAt<3>(line, 70);
    f.category = category;
    return true;
}

// Any other line, read by the cursor field by field.
std::optional<MeasurementFields> ParseOtherLayout(std::string_view line, std::string& error);

}  // namespace

bool LineCursor::End() {
    if (ok && text.find_first_not_of(' ', at) != std::string_view::npos) Fail("the line's end");
    return ok;
}

bool LineCursor::Fail(std::string_view expected) {
    if (ok) error = "expected " + std::string(expected) + " at column " + std::to_string(at + 1);
    ok = false;
    return false;
}

std::string HeaderClosingLine() { return ";" + std::string(kHeaderRule, '-'); }

bool IsHeaderClosingLine(std::string_view line) {
    return line.size() == kHeaderRule + 1 && line[0] == ';' &&
           line.find_first_not_of('-', 1) == std::string_view::npos;
}

std::string DeviceFieldValue(const DeviceInfo& device) {
    char text[160];
    std::snprintf(text, sizeof text, " %s-N%.4u-Soft-%d.%d", device.modelName.c_str(),
                  device.serialNumber, device.firmwareVersion / 10, device.firmwareVersion % 10);
    return text;
}

std::optional<DeviceIdentity> ParseDeviceLine(std::string_view line) {
    const std::size_t soft = line.rfind("-Soft-");
    const std::size_t serialAt = line.rfind("-N", soft);
    if (soft == std::string_view::npos || serialAt == std::string_view::npos) return std::nullopt;
    LineCursor tail(line.substr(serialAt));
    tail.Literal("-N");
    const std::int64_t serial = tail.Digits(4, 10, "a serial number");
    tail.Literal("-Soft-");
    const std::int64_t major = tail.Digits(1, 2, "a version");
    tail.Literal(".");
    const std::int64_t minor = tail.Digits(1, 1, "a version");
    const std::int64_t firmware = major * 10 + minor;
    if (!tail.End() || serial > std::numeric_limits<std::uint32_t>::max() || firmware > 255)
        return std::nullopt;
    const std::string_view head = line.substr(0, serialAt);
    std::size_t modelAt = head.rfind(": ");
    modelAt = modelAt != std::string_view::npos ? modelAt + 2 : head.find(' ') + 1;
    if (modelAt == 0 || modelAt >= head.size()) return std::nullopt;
    return DeviceIdentity{std::string(head.substr(modelAt)), static_cast<std::uint32_t>(serial),
                          static_cast<std::uint8_t>(firmware)};
}

std::string DateText(const LocalTime& now) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2d-%.2d-%.4d", now.day, now.month, now.year);
    return text;
}

std::string DateLine(const LocalTime& now) {
    return std::string(kDateStart) + " " + DateText(now) + " ;" + std::string(kDateRule, '=');
}

bool HasDateLineOf(const std::vector<std::string>& lines, const LocalTime& now) {
    const std::size_t dateAt = kDateStart.size() + 1;
    for (std::size_t i = lines.size(); i-- > 1;) {
        if (!StartsDateLine(lines[i])) continue;
        return lines[i].size() >= dateAt && lines[i].substr(dateAt, 10) == DateText(now);
    }
    return false;
}

bool StartsDateLine(std::string_view line) { return StartsWith(line, kDateStart); }

std::optional<LineDate> ParseDateLine(std::string_view line, std::string& error) {
    LineCursor c(line);
    c.Literal(std::string(kDateStart) + " ");
    LineDate d;
    d.day = static_cast<int>(c.Digits(2, 2, "a date"));
    c.Literal("-");
    d.month = static_cast<int>(c.Digits(2, 2, "a date"));
    c.Literal("-");
    d.year = static_cast<int>(c.Digits(4, 4, "a date"));
    c.Literal(" ;" + std::string(kDateRule, '='));
    c.End();
    error = c.Error();
    return c.Ok() ? std::optional(d) : std::nullopt;
}

std::string RecordLine(std::uint32_t number, std::string_view piece) {
    char head[16];
    std::snprintf(head, sizeof head, "<%.6u>  ;", number % 1000000u);
    return head + std::string(piece);
}

std::string ContinuationLine(std::string_view piece) {
    return std::string(kRecordIndent) + std::string(piece);
}

const std::string& ClosingPiece() {
    static const std::string hyphens(kClosingHyphens, '-');
    return hyphens;
}

bool StartsRecordLine(std::string_view line) {
    return line.size() >= kRecordIndent.size() && line[0] == '<' &&
           line.substr(kRecordDigits + 1, 4) == ">  ;";
}

std::optional<std::uint32_t> ParseRecordNumber(std::string_view line, std::string& error) {
    LineCursor c(line);
    c.Literal("<");
    const auto shown = c.Digits(kRecordDigits, kRecordDigits, "the record number");
    error = c.Error();
    return c.Ok() ? std::optional(static_cast<std::uint32_t>(shown)) : std::nullopt;
}

std::string_view RecordLinePiece(std::string_view line) {
    return line.substr(kRecordIndent.size());
}

bool IsContinuationLine(std::string_view line) { return StartsWith(line, kRecordIndent); }

std::string_view ContinuationPiece(std::string_view line) {
    return line.substr(kRecordIndent.size());
}

std::string RateField(std::optional<std::uint64_t> rate) {
    if (!rate) return std::string(kNoRate);
    char text[48];
    std::snprintf(text, sizeof text, "%.*llu.%.3llu", static_cast<int>(kRatePadding),
                  static_cast<unsigned long long>(*rate / 1000),
                  static_cast<unsigned long long>(*rate % 1000));
    return text;
}

std::string LabelField(const std::string& label) {
    return (label + ":" + std::string(kLabelWidth, ' ')).substr(0, kLabelWidth);
}

std::string UtField(std::int32_t millivolts) {
    char text[16];
    std::snprintf(text, sizeof text, "%s%.4d", millivolts >= 0 ? " " : "", millivolts);
    return text;
}

std::string FormatMeasurementLine(const MeasurementFields& f) {
    char text[160];
    std::snprintf(
        text, sizeof text, "%.2d.%.2d  Ut=%smV  Tm=%.2d-%.2d-%.2d.%.2d  N=%.8u  D=%s  Cat=%c",
        f.hour, f.minute, UtField(f.thresholdMv).c_str(), f.time.hours, f.time.minutes,
        f.time.seconds, f.time.hundredths, f.count, RateField(f.rate).c_str(), f.category);
    return std::string(kMeasurementIndent) + LabelField(f.label) + text;
}

bool StartsMeasurementLine(std::string_view line) { return StartsWith(line, kMeasurementIndent); }

std::optional<MeasurementFields> ParseMeasurementLine(std::string_view line, std::string& error) {
    // One object, returned in place: a label moved is its characters copied.
    std::optional<MeasurementFields> fields(std::in_place);
    if (!ParseStoreLayout(line, *fields)) fields = ParseOtherLayout(line, error);
    return fields;
}

namespace {

std::optional<MeasurementFields> ParseOtherLayout(std::string_view line, std::string& error) {
    MeasurementFields f;
    const std::size_t labelAt = kMeasurementIndent.size();
    if (line.size() < labelAt + kLabelWidth ||
        !ParseLabel(line.substr(labelAt, kLabelWidth), f.label)) {
        error = "no measurement label at column " + std::to_string(labelAt + 1);
        return std::nullopt;
    }
    LineCursor c(line.substr(labelAt + kLabelWidth));
    const auto hour = c.Digits(2, 2, "the hour");
    c.Literal(".");
    const auto minute = c.Digits(2, 2, "the minute");
    c.Literal("  Ut=");
    const bool negative = c.Any(" -", "the threshold's sign") == '-';
    const auto ut = c.Digits(4, 4, "the threshold");
    c.Literal("mV  Tm=");
    f.time.hours = TwoDigits(c, "the hours");
    c.Literal("-");
    f.time.minutes = TwoDigits(c, "the minutes");
    c.Literal("-");
    f.time.seconds = TwoDigits(c, "the seconds");
    c.Literal(".");
    f.time.hundredths = TwoDigits(c, "the hundredths");
    c.Literal("  N=");
    const auto count = c.Digits(8, 10, "the count");
    c.Literal("  D=");
    if (c.Peek('-')) {
        c.Literal(kNoRate);
    } else {
        const auto whole = c.Digits(kRatePadding, kRateDigits, "the rate");
        c.Literal(".");
        f.rate = static_cast<std::uint64_t>(whole * 1000 + c.Digits(3, 3, "the rate"));
    }
    c.Literal("  Cat=");
    f.category = c.Any("NWA-", "the category");
    c.End();
    if (!c.Ok()) {
        error = c.Error();
        return std::nullopt;
    }
    if (hour > 23 || minute > 59 || count > 0xFFFFFFFFLL) {
        error = "a time or count out of range";
        return std::nullopt;
    }
    f.hour = static_cast<int>(hour);
    f.minute = static_cast<int>(minute);
    f.thresholdMv = static_cast<std::int32_t>(negative ? -ut : ut);
    f.count = static_cast<std::uint32_t>(count);
    return f;
}

}  // namespace

}  // namespace pulsedesk::reports
