#include "reports/ReportFormat.h"

#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <limits>

namespace pulsedesk::reports {

namespace {

constexpr std::size_t kPieceLimit = 70;
constexpr const char* kMonthNames[] = {"January",   "February", "March",    "April",
                                       "May",       "Juni",     "July",     "August",
                                       "September", "October",  "November", "December"};

__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int size = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(static_cast<std::size_t>(size), '\0');
    std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

int YearInName(int year) { return year % 100; }

// Takes the text up to the separator off the front of rest; all of it when there is none.
std::string CutAt(std::string& rest, char separator) {
    auto at = rest.find(separator);
    std::string piece = rest.substr(0, at);
    rest = at == std::string::npos ? std::string() : rest.substr(at + 1);
    return piece;
}

template <typename Number>
std::optional<Number> DecimalOf(const std::string& piece) {
    if (piece.empty()) return std::nullopt;
    for (char c : piece)
        if (c < '0' || c > '9') return std::nullopt;
    Number value{};
    auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
    if (error != std::errc() || end != piece.data() + piece.size()) return std::nullopt;
    return value;
}

template <typename Number>
Number DecimalOr(const std::string& piece, Number fallback, bool& complete) {
    auto value = DecimalOf<Number>(piece);
    if (!value) complete = false;
    return value.value_or(fallback);
}

bool IsSeparator(char c) {
    switch (c) {
        case '\\':
        case ';':
        case '.':
        case ',':
        case '/':
        case '!':
        case ' ':
        case '\t':
        case '\n':
            return true;
        default:
            return false;
    }
}

// Drops a line break at the end of a piece; only a piece that ran past the limit without a
// separator can end in one, and a typed line break is never written.
void DropLineBreak(std::string& piece) {
    if (!piece.empty() && piece.back() == '\n') piece.pop_back();
    if (!piece.empty() && piece.back() == '\r') piece.pop_back();
}

// Length of the next piece (positions counted from 1, as the cutting rule states them); a line
// break that ends the piece is taken out of the text.
std::size_t NextPieceLength(std::string& text) {
    std::size_t lastSeparator = 0;
    std::size_t i = 1;
    for (; i <= text.size(); ++i) {
        if (!IsSeparator(text[i - 1])) continue;
        if (i > kPieceLimit) break;
        if (text[i - 1] == '\n') {
            text.erase(--i, 1);
            if (i >= 1 && text[i - 1] == '\r') text.erase(--i, 1);
            break;
        }
        lastSeparator = i;
    }
    return (lastSeparator == 0 || i < kPieceLimit) ? i : lastSeparator;
}

}  // namespace

std::uint8_t ValidMonth(int month) {
    return static_cast<std::uint8_t>(month < 1 || month > 12 ? 1 : month);
}

const std::string& ReportFileName::Build() {
    name = Format("%.2d-%.2d_%.6d-%.6u.rep", month, YearInName(year), first, last);
    return name;
}

std::string ReportFileName::BackupName() const {
    return Format("%.2d-%.2d_%.6d-%.6u", month, YearInName(year), first, last) + ".bak";
}

ParsedReportName ParseReportFileName(const std::string& name) {
    ParsedReportName parsed;
    std::string rest = name;
    std::string month = CutAt(rest, '-');
    std::string year = CutAt(rest, '_');
    std::string first = CutAt(rest, '-');
    std::string last = CutAt(rest, '.');
    parsed.month = ValidMonth(DecimalOr<int>(month, 1, parsed.complete));
    parsed.year = DecimalOr<int>(year, 10, parsed.complete);
    parsed.first = DecimalOr<std::int32_t>(first, 0, parsed.complete);
    parsed.last = DecimalOr<std::uint32_t>(last, 0, parsed.complete);
    return parsed;
}

std::string ReportSearchPattern(int month, int year) {
    return Format("%.2d-%.2d*.rep", month, YearInName(year));
}

std::string BackupSearchPattern(int month, int year) {
    return Format("%.2d-%.2d_*", month, YearInName(year)) + ".bak";
}

const char* MonthName(int month) { return kMonthNames[ValidMonth(month) - 1]; }

std::vector<std::string> HeaderLines(const DeviceInfo& device, const LocalTime& now,
                                     const HeaderLabelReader& labels) {
    const std::string values[] = {
        " Vantor (Orvell)",
        Format(" %d.%d", device.programVersion >> 8, device.programVersion & 0xFF),
        DeviceFieldValue(device),
        Format(" %.4d-%s", now.year, MonthName(now.month))};
    const char* keys[] = {"Report_File_Field", "SWVers_Field", "Device_Field", "Month_Field"};
    std::vector<std::string> lines;
    for (int i = 0; i < 4; ++i) {
        std::string label = labels(keys[i]);
        lines.push_back(label.empty() ? label : label + values[i]);
    }
    lines.push_back(HeaderClosingLine());
    return lines;
}

std::vector<std::string> SplitDescription(std::string description) {
    std::vector<std::string> pieces;
    while (!description.empty()) {
        std::size_t length = NextPieceLength(description);
        std::string piece = description.substr(0, length);
        description.erase(0, length);
        DropLineBreak(piece);
        pieces.push_back(std::move(piece));
    }
    return pieces;
}

std::vector<std::string> RecordBlock(std::uint32_t number, const std::string& description) {
    std::vector<std::string> lines{""};
    const auto pieces = SplitDescription(description);
    lines.push_back(RecordLine(number, pieces.empty() ? ClosingPiece() : pieces[0]));
    for (std::size_t i = 1; i < pieces.size(); ++i) lines.push_back(ContinuationLine(pieces[i]));
    if (!pieces.empty()) lines.push_back(ContinuationLine(ClosingPiece()));
    return lines;
}

std::uint64_t Hundredths(const CountTime& t) {
    return ((t.hours * 60ull + t.minutes) * 60ull + t.seconds) * 100ull + t.hundredths;
}

std::optional<std::uint64_t> RateOf(std::uint32_t count, CountTime time) {
    const std::uint64_t hundredths = Hundredths(time);
    if (hundredths == 0) return std::nullopt;
    return std::uint64_t{count} * 100000ull / hundredths;
}

bool IsRateOf(std::uint64_t rate, std::uint32_t count, std::uint64_t hundredths) {
    // rate = floor(n / hundredths) exactly when rate × hundredths <= n < (rate + 1) × hundredths
    const std::uint64_t n = std::uint64_t{count} * 100000ull;
    const unsigned __int128 below = static_cast<unsigned __int128>(rate) * hundredths;
    return hundredths != 0 && below <= n && n - below < hundredths;
}

char CategoryOf(std::uint64_t rate, const DeviceInfo& device) {
    if (rate < static_cast<std::uint32_t>(device.warningThreshold)) return 'N';
    if (rate < static_cast<std::uint32_t>(device.alarmThreshold)) return 'W';
    return 'A';
}

std::string MeasurementLine(const std::string& label, const LocalTime& now, std::int32_t threshold,
                            std::uint32_t count, CountTime time, const DeviceInfo& device) {
    // Without a count time there is no rate: a marker of the same width says so.
    auto rate = RateOf(count, time);
    MeasurementFields f{label, now.hour, now.minute, threshold, time, count, rate, '-'};
    if (rate) f.category = CategoryOf(*rate, device);
    return FormatMeasurementLine(f);
}

std::string NextLabel(std::string label) {
    for (std::size_t i = label.size(); i-- > 0;) {
        if (static_cast<unsigned char>(label[i]) < 'Z') {
            ++label[i];
            return label;
        }
        label[i] = 'A';
    }
    return "A" + label;
}

std::string JoinLines(const std::vector<std::string>& lines) {
    return fileio::JoinLines(lines, "\r\n");
}

}  // namespace pulsedesk::reports
