// The journal's measurements as a table for a spreadsheet or a lab information system: one row
// per measurement (or per sample result), as CSV (RFC 4180, UTF-8) or as a JSON array of objects
// with the same keys. The rate is N / t computed afresh, with its Poisson standard uncertainty
// sqrt(N) / t; counts are raw, not corrected for dead time.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/Journal.h"
#include "analysis/SampleResult.h"

namespace pulsedesk::analysis {

// "end_local,year,record,description,label,threshold_mv,count_time_s,count,rate_cps,
// rate_u_cps,category,file,line"
const std::string& ExportCsvHeader();

enum class ExportFormat { Csv, Json };

// The rows written as the records come, so that an export reads and writes in one pass: the
// text is handed to write in pieces. CSV lines end in CR LF, as RFC 4180 has them, the header
// line first; a description's lines are joined with LF inside its quoted cell. JSON is an array
// of one object per row.
class ExportWriter {
  public:
    ExportWriter(ExportFormat format, std::function<void(std::string_view)> write);
    ExportWriter(const ExportWriter&) = delete;
    ExportWriter& operator=(const ExportWriter&) = delete;

    void Add(const JournalRecord& record);
    // The text's end, and what is left of it handed over.
    void Finish();

  private:
    void AddCsv(const JournalRecord& record);
    void AddJson(const JournalRecord& record);
    void HandOverFull();

    // The text not yet handed over: room is made once, not cleared for every row.
    class Pending {
      public:
        char* Room(std::size_t most);
        void Used(const char* end) { used = static_cast<std::size_t>(end - text.data()); }
        void Append(std::string_view piece);
        std::string_view Text() const { return {text.data(), used}; }
        void Clear() { used = 0; }

      private:
        std::string text;
        std::size_t used = 0;
    };

    ExportFormat format;
    std::function<void(std::string_view)> write;
    Pending out;
    bool firstRow = true;
    struct Day {
        CivilDate date;
        std::string text;
    } day;  // the last row's, written once
};

// The rows of every record, or of one, as one text.
std::string ExportCsv(const Journal& journal, std::optional<RecordId> only = std::nullopt);
std::string ExportJson(const Journal& journal, std::optional<RecordId> only = std::nullopt);

// Sample results, one row each, with the keys of their JSON objects (analysis/Json.h) as the
// CSV's header: an absent figure is an empty cell, a flag true or false.
std::string SampleResultsCsv(const std::vector<SampleResult>& results);
std::string SampleResultsJson(const std::vector<SampleResult>& results);

// A CSV cell, quoted when it holds a comma, a quote or a line break.
std::string CsvCell(const std::string& text);
// A cell of free text (a description, a file name): one that starts with "=", "+", "-" or "@",
// which a spreadsheet would take for a formula, gets a "'" in front. Numbers, negative ones
// included, go through CsvCell.
std::string CsvTextCell(const std::string& text);

}  // namespace pulsedesk::analysis
