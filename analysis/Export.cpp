#include "analysis/Export.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string_view>

#include "analysis/Json.h"
#include "analysis/Shortest.h"

namespace pulsedesk::analysis {

namespace {

// Room for a row's numbers and separators beside its texts.
constexpr std::size_t kMostNumber = kShortestRoom;
constexpr std::size_t kMostNumbers = 8 * kMostNumber + LocalMinute::kMostText;

// A year of heavy use has a hundred thousand rows: each is written through one pointer into
// room made for it at once, as every append to a string is a call of its own.
class RowWriter {
  public:
    explicit RowWriter(char* room) : at(room) {}
    char* End() const { return at; }

    void Text(std::string_view text) {
        std::memcpy(at, text.data(), text.size());
        at += text.size();
    }
    void Char(char c) { *at++ = c; }
    // The first `length` characters of a text of at most N, copied as N: a copy of fixed length
    // is a few moves, one of the text's own length a call. The row's room has N to spare.
    template <std::size_t N>
    void Block(const char (&text)[N], std::size_t length) {
        std::memcpy(at, text, N);
        at += length;
    }
    template <class Integer>
    void Number(Integer value) {
        at = std::to_chars(at, at + kMostNumber, value).ptr;
    }
    // Doubles get the shortest text that reads back as the same double.
    void Number(double value) { at = PutShortest(at, value); }
    void Optional(std::optional<double> value) {
        if (value) Number(*value);
    }
    // The rate is the count over the count time: count × 100 / hundredths.
    void Rate(const JournalMeasurement& m, QuotientWriter& rates) {
        if (const auto rate = m.Rate())
            at = rates.Put(at, *rate, std::uint64_t{m.count} * 100,
                           static_cast<std::uint64_t>(m.countTimeHundredths));
    }
    // "12.05": whole seconds and two digits of hundredths.
    void CountTime(std::int64_t hundredths) {
        Number(hundredths / 100);
        const auto rest = static_cast<int>(hundredths % 100);
        Char('.');
        Char(static_cast<char>('0' + rest / 10));
        Char(static_cast<char>('0' + rest % 10));
    }
    void Time(const LocalMinute& minute) { at = minute.PutTime(at); }

  private:
    char* at;
};

// A month of heavy use has about 1.5 MB of rows, a piece of a file's text a sixth of that: room
// for them is reserved at once rather than grown into, moved and taken from the system anew at
// every doubling. Only the pages written to are taken.
constexpr std::size_t kFirstRoom = 4u << 20;

// The shortest text that reads back as the same double, as the rows write it.
std::string Shortest(double value) {
    char text[kShortestRoom];
    return std::string(text, PutShortest(text, value));
}

// An LF between every two lines, an empty first line's included.
std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) text += '\n';
        text += lines[i];
    }
    return text;
}

std::string Exported(const Journal& journal, std::optional<RecordId> only, ExportFormat format) {
    std::string all;
    ExportWriter writer(format, [&all](std::string_view piece) { all += piece; });
    ExportRows rows(format);
    for (const JournalRecord& r : journal.records)
        if (!only || r.id == *only) rows.Add(r);
    writer.Add(std::move(rows).Text().View());
    writer.Finish();
    return all;
}

}  // namespace

const std::string& ExportCsvHeader() {
    static const std::string header =
        "end_local,year,record,description,label,threshold_mv,count_time_s,count,rate_cps,"
        "rate_u_cps,category,file,line";
    return header;
}

namespace {

// Whether a cell must be quoted. The C library's strcspn looks at many characters at once; it
// stops at a NUL too, past which the search goes on.
bool NeedsQuotes(const std::string& text) {
    for (std::size_t at = 0; at < text.size(); ++at) {
        at += std::strcspn(text.c_str() + at, ",\"\r\n");
        if (at < text.size() && text[at] != '\0') return true;
    }
    return false;
}

}  // namespace

std::string CsvCell(const std::string& text) {
    if (!NeedsQuotes(text)) return text;
    std::string cell;
    cell.reserve(text.size() + 8);
    cell += '"';
    // Copied from quote to quote, each quote doubled.
    for (std::size_t at = 0, quote = 0; at < text.size(); at = quote + 1) {
        quote = std::min(text.find('"', at), text.size());
        cell.append(text, at, quote - at);
        if (quote < text.size()) cell += "\"\"";
    }
    return cell += '"';
}

std::string CsvTextCell(const std::string& text) {
    const bool formula =
        !text.empty() && std::string_view("=+-@").find(text[0]) != std::string_view::npos;
    return CsvCell(formula ? "'" + text : text);
}

std::string ExportCsv(const Journal& journal, std::optional<RecordId> only) {
    return Exported(journal, only, ExportFormat::Csv);
}

std::string ExportJson(const Journal& journal, std::optional<RecordId> only) {
    return Exported(journal, only, ExportFormat::Json);
}

ExportRows::ExportRows(ExportFormat format, TextRoom room) : format(format), text(std::move(room)) {
    // Memory the system gives page by page, as the rows are written into it.
    if (text.size < kFirstRoom) Grow(kFirstRoom);
}

void ExportRows::Add(const JournalRecord& record) {
    if (format == ExportFormat::Csv)
        AddCsv(record);
    else
        AddJson(record);
}

WrittenText ExportRows::Text() && { return {std::move(text), used}; }

char* ExportRows::Room(std::size_t most) {
    if (text.size - used < most) Grow(std::max(used + most, 2 * text.size));
    return text.bytes.get() + used;
}

void ExportRows::Grow(std::size_t size) {
    TextRoom larger{std::make_unique_for_overwrite<char[]>(size), size};
    if (used > 0) std::memcpy(larger.bytes.get(), text.bytes.get(), used);
    text = std::move(larger);
}

void ExportRows::Append(std::string_view piece) {
    std::memcpy(Room(piece.size()), piece.data(), piece.size());
    used += piece.size();
}

void ExportRows::AddCsv(const JournalRecord& r) {
    // A record's rows share their first cells and the file's cell: formatted once.
    std::string recordCells = std::to_string(r.id.year);
    recordCells += ',';
    recordCells += std::to_string(r.id.number);
    recordCells += ',';
    recordCells += CsvTextCell(Joined(r.description));
    recordCells += ',';
    const std::string fileCell = CsvTextCell(r.file);
    for (const JournalMeasurement& m : r.measurements) {
        RowWriter row(Room(kMostNumbers + recordCells.size() + m.label.size() + fileCell.size()));
        // A record's rows mostly share their day.
        if (day.length == 0 || day.date != m.end.date) {
            day.date = m.end.date;
            day.length = static_cast<std::size_t>(m.end.date.PutText(day.text) - day.text);
        }
        row.Block(day.text, day.length);
        row.Char(' ');
        row.Time(m.end);
        row.Char(',');
        row.Text(recordCells);
        row.Text(m.label);
        row.Char(',');
        row.Number(m.thresholdMv);
        row.Char(',');
        row.CountTime(m.countTimeHundredths);
        row.Char(',');
        row.Number(m.count);
        row.Char(',');
        row.Rate(m, rates);
        row.Char(',');
        row.Optional(m.RateUncertainty());
        row.Char(',');
        row.Char(m.category);
        row.Char(',');
        row.Text(fileCell);
        row.Char(',');
        row.Number(m.line);
        row.Text("\r\n");
        Used(row.End());
    }
}

void ExportRows::AddJson(const JournalRecord& r) {
    const std::string description = Joined(r.description);
    for (const JournalMeasurement& m : r.measurements) {
        const auto rate = m.Rate();
        const auto u = m.RateUncertainty();
        nlohmann::ordered_json row{{"end_local", m.end.Text()},
                                   {"year", r.id.year},
                                   {"record", r.id.number},
                                   {"description", description},
                                   {"label", m.label},
                                   {"threshold_mv", m.thresholdMv},
                                   {"count_time_s", m.CountTimeS()},
                                   {"count", m.count},
                                   {"rate_cps", rate ? nlohmann::ordered_json(*rate) : nullptr},
                                   {"rate_u_cps", u ? nlohmann::ordered_json(*u) : nullptr},
                                   {"category", std::string(1, m.category)},
                                   {"file", r.file},
                                   {"line", m.line}};
        Append(",\n");
        Append(row.dump());
    }
}

ExportWriter::ExportWriter(ExportFormat format, std::function<void(std::string_view)> write)
    : format(format), write(std::move(write)) {
    this->write(format == ExportFormat::Csv ? ExportCsvHeader() + "\r\n" : "[");
}

void ExportWriter::Add(std::string_view rows) {
    if (rows.empty()) return;
    // The array's first object follows its bracket without a comma.
    if (format == ExportFormat::Json && firstRow) rows.remove_prefix(1);
    firstRow = false;
    write(rows);
}

void ExportWriter::Finish() {
    if (format == ExportFormat::Json) write("\n]\n");
}

std::string SampleResultsCsv(const std::vector<SampleResult>& results) {
    std::string out;
    const Json keys = SampleResult{};
    for (const auto& [key, value] : keys.items()) out += (out.empty() ? "" : ",") + key;
    out += "\r\n";
    for (const SampleResult& r : results) {
        std::string row;
        bool first = true;
        const Json cells = r;
        for (const Json& value : cells) {
            row += first ? "" : ",";
            first = false;
            if (value.is_string())
                row += CsvTextCell(value.get<std::string>());
            else if (value.is_number_float())
                row += Shortest(value.get<double>());
            else if (!value.is_null())
                row += value.dump();
        }
        out += row + "\r\n";
    }
    return out;
}

std::string SampleResultsJson(const std::vector<SampleResult>& results) {
    return Json(results).dump(2) + "\n";
}

}  // namespace pulsedesk::analysis
