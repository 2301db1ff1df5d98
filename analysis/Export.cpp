#include "analysis/Export.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string_view>

#include "analysis/Json.h"

namespace pulsedesk::analysis {

namespace {

// A year of heavy use has a hundred thousand rows: each is written through one pointer into
// room made for it at once, as every append to a string is a call of its own.
class RowWriter {
  public:
    RowWriter(std::string& out, std::size_t most) : out(out) {
        const std::size_t start = out.size();
        out.resize(start + most);
        at = out.data() + start;
    }
    ~RowWriter() { out.resize(static_cast<std::size_t>(at - out.data())); }

    void Text(std::string_view text) {
        std::memcpy(at, text.data(), text.size());
        at += text.size();
    }
    void Char(char c) { *at++ = c; }
    // Doubles get the shortest text that reads back as the same double.
    template <class Value>
    void Number(Value value) {
        at = std::to_chars(at, at + kMostNumber, value).ptr;
    }
    void Optional(std::optional<double> value) {
        if (value) Number(*value);
    }
    // "12.05": whole seconds and two digits of hundredths.
    void CountTime(std::int64_t hundredths) {
        Number(hundredths / 100);
        const auto rest = static_cast<int>(hundredths % 100);
        Char('.');
        Char(static_cast<char>('0' + rest / 10));
        Char(static_cast<char>('0' + rest % 10));
    }
    void Minute(const LocalMinute& minute) { at = minute.PutText(at); }

    // Room for the row's numbers and separators beside its texts.
    static constexpr std::size_t kMostNumber = 32;
    static constexpr std::size_t kMostNumbers = 8 * kMostNumber + LocalMinute::kMostText;

  private:
    std::string& out;
    char* at;
};

// Rows go to the writer in pieces of about this size.
constexpr std::size_t kPieceSize = 1 << 16;

// The shortest text that reads back as the same double, as the rows write it.
std::string Shortest(double value) {
    char text[RowWriter::kMostNumber];
    return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += (text.empty() ? "" : "\n") + line;
    return text;
}

template <class Row>
void ForEachRow(const Journal& journal, std::optional<RecordId> only, Row row) {
    for (const JournalRecord& r : journal.records) {
        if (only && r.id != *only) continue;
        const std::string description = Joined(r.description);
        for (const JournalMeasurement& m : r.measurements) row(r, description, m);
    }
}

}  // namespace

const std::string& ExportCsvHeader() {
    static const std::string header =
        "end_local,year,record,description,label,threshold_mv,count_time_s,count,rate_cps,"
        "rate_u_cps,category,file,line";
    return header;
}

std::string CsvCell(const std::string& text) {
    const auto special = [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; };
    if (std::none_of(text.begin(), text.end(), special)) return text;
    std::string cell = "\"";
    for (char c : text) cell += c == '"' ? std::string("\"\"") : std::string(1, c);
    return cell + "\"";
}

std::string CsvTextCell(const std::string& text) {
    const bool formula =
        !text.empty() && std::string_view("=+-@").find(text[0]) != std::string_view::npos;
    return CsvCell(formula ? "'" + text : text);
}

std::string ExportCsv(const Journal& journal, std::optional<RecordId> only) {
    std::string all;
    WriteCsv(journal, only, [&all](std::string_view piece) { all += piece; });
    return all;
}

void WriteCsv(const Journal& journal, std::optional<RecordId> only,
              const std::function<void(std::string_view)>& write) {
    std::string out = ExportCsvHeader() + "\r\n";
    out.reserve(kPieceSize + out.size());
    // Rows of one record share their first cells and the file's cell: formatted once.
    const JournalRecord* quotedFor = nullptr;
    std::string recordCells, fileCell;
    ForEachRow(
        journal, only,
        [&](const JournalRecord& r, const std::string& description, const JournalMeasurement& m) {
            if (quotedFor != &r) {
                quotedFor = &r;
                recordCells = std::to_string(r.id.year) + ',' + std::to_string(r.id.number) + ',' +
                              CsvTextCell(description) + ',';
                fileCell = CsvTextCell(r.file);
            }
            const std::string otherFile = m.file == r.file ? std::string() : CsvTextCell(m.file);
            const std::string_view file = otherFile.empty() ? fileCell : otherFile;
            {
                RowWriter row(out, RowWriter::kMostNumbers + recordCells.size() + m.label.size() +
                                       file.size());
                row.Minute(m.end);
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
                row.Optional(m.Rate());
                row.Char(',');
                row.Optional(m.RateUncertainty());
                row.Char(',');
                row.Char(m.category);
                row.Char(',');
                row.Text(file);
                row.Char(',');
                row.Number(m.line);
                row.Text("\r\n");
            }
            if (out.size() >= kPieceSize) {
                write(out);
                out.clear();
            }
        });
    write(out);
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

std::string ExportJson(const Journal& journal, std::optional<RecordId> only) {
    std::string out = "[";
    ForEachRow(journal, only,
               [&out](const JournalRecord& r, const std::string& description,
                      const JournalMeasurement& m) {
                   const auto rate = m.Rate();
                   const auto u = m.RateUncertainty();
                   nlohmann::ordered_json row{
                       {"end_local", m.end.Text()},
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
                       {"file", m.file},
                       {"line", m.line}};
                   out += (out.size() > 1 ? ",\n" : "\n") + row.dump();
               });
    return out + "\n]\n";
}

}  // namespace pulsedesk::analysis
