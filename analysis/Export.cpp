#include "analysis/Export.h"

#include <charconv>
#include <nlohmann/json.hpp>

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
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string cell = "\"";
    for (char c : text) cell += c == '"' ? std::string("\"\"") : std::string(1, c);
    return cell + "\"";
}

std::string ExportCsv(const Journal& journal, std::optional<RecordId> only) {
    std::string out = ExportCsvHeader() + "\r\n";
    // A record's cells are quoted once for all its rows.
    const JournalRecord* quotedFor = nullptr;
    std::string recordCells;
    ForEachRow(
        journal, only,
        [&](const JournalRecord& r, const std::string& description, const JournalMeasurement& m) {
            if (quotedFor != &r) {
                quotedFor = &r;
                recordCells = std::to_string(r.id.year) + ',' + std::to_string(r.id.number) + ',' +
                              CsvCell(description) + ',';
            }
            const auto rate = m.Rate();
            const auto u = m.RateUncertainty();
            char time[32];
            std::snprintf(time, sizeof time, "%lld.%02lld",
                          static_cast<long long>(m.countTimeHundredths / 100),
                          static_cast<long long>(m.countTimeHundredths % 100));
            out += m.end.Text();
            out += ',';
            out += recordCells;
            out += m.label + ',' + std::to_string(m.thresholdMv) + ',' + time + ',' +
                   std::to_string(m.count) + ',' + (rate ? Shortest(*rate) : "") + ',' +
                   (u ? Shortest(*u) : "") + ',' + m.category + ',' + CsvCell(m.file) + ',' +
                   std::to_string(m.line) + "\r\n";
        });
    return out;
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
