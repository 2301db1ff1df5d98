#include "analysis/Export.h"

#include <algorithm>
#include <charconv>
#include <nlohmann/json.hpp>
#include <string_view>

#include "analysis/Json.h"

namespace pulsedesk::analysis {

namespace {

// The shortest text that reads back as the same double.
std::string Shortest(double value) {
    char text[32];
    const auto r = std::to_chars(text, text + sizeof text, value);
    return std::string(text, r.ptr);
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
    std::string out = ExportCsvHeader() + "\r\n";
    // A year of heavy use has a hundred thousand rows: what rows share is formatted once.
    const JournalRecord* quotedFor = nullptr;
    std::string recordCells, fileCell, endCell;
    LocalMinute end{{-1, 0, 0}, 0, 0};
    ForEachRow(
        journal, only,
        [&](const JournalRecord& r, const std::string& description, const JournalMeasurement& m) {
            if (quotedFor != &r) {
                quotedFor = &r;
                recordCells = std::to_string(r.id.year) + ',' + std::to_string(r.id.number) + ',' +
                              CsvTextCell(description) + ',';
                fileCell = CsvTextCell(r.file);
            }
            if (m.end != end) {
                end = m.end;
                endCell = end.Text();
            }
            const auto rate = m.Rate();
            const auto u = m.RateUncertainty();
            const auto hundredths = m.countTimeHundredths % 100;
            out += endCell + ',' + recordCells + m.label + ',' + std::to_string(m.thresholdMv) +
                   ',' + std::to_string(m.countTimeHundredths / 100) +
                   (hundredths < 10 ? ".0" : ".") + std::to_string(hundredths) + ',' +
                   std::to_string(m.count) + ',' + (rate ? Shortest(*rate) : "") + ',' +
                   (u ? Shortest(*u) : "") + ',' + m.category + ',' +
                   (m.file == r.file ? fileCell : CsvTextCell(m.file)) + ',' +
                   std::to_string(m.line) + "\r\n";
        });
    return out;
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
