// The journal's measurements as a table for a spreadsheet or a lab information system: one row
// per measurement (or per sample result), as CSV (RFC 4180, UTF-8) or as a JSON array of objects
// with the same keys. The rate is N / t computed afresh, with its Poisson standard uncertainty
// sqrt(N) / t; counts are raw, not corrected for dead time.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/Journal.h"
#include "analysis/SampleResult.h"
#include "analysis/Shortest.h"

namespace pulsedesk::analysis {

// "end_local,year,record,description,label,threshold_mv,count_time_s,count,rate_cps,
// rate_u_cps,category,file,line"
const std::string& ExportCsvHeader();

enum class ExportFormat { Csv, Json };

// The rows of records, without the header, as they come: CSV lines end in CR LF, as RFC 4180
// has them, and a description's lines are joined with LF inside its quoted cell; a JSON row is
// an object, each written after ",\n". Room is a text whose memory may be written over.
class ExportRows final : public RecordsWriter {
  public:
    explicit ExportRows(ExportFormat format, TextRoom room = {});
    void Add(const JournalRecord& record) override;
    std::size_t Length() const override { return used; }
    WrittenText Text() && override;

  private:
    // Room is made for a row at once, not appended to piece by piece.
    char* Room(std::size_t most);
    // Room of this size, what is written kept.
    void Grow(std::size_t size);
    void Used(const char* end) { used = static_cast<std::size_t>(end - text.bytes.get()); }
    void Append(std::string_view piece);
    void AddCsv(const JournalRecord& record);
    void AddJson(const JournalRecord& record);

    ExportFormat format;
    TextRoom text;
    std::size_t used = 0;
    // The last row's day, its text written once and copied in as a block of fixed length.
    struct Day {
        CivilDate date;
        char text[CivilDate::kMostText] = {};
        std::size_t length = 0;
    } day;
    QuotientWriter rates;
};

// The whole text from rows written in parts (a file's records at a time), handed to write as it
// grows: the CSV's header line first, or the JSON array around its rows.
class ExportWriter {
  public:
    ExportWriter(ExportFormat format, std::function<void(std::string_view)> write);
    ExportWriter(const ExportWriter&) = delete;
    ExportWriter& operator=(const ExportWriter&) = delete;

    // The text of ExportRows.
    void Add(std::string_view rows);
    void Finish();

  private:
    ExportFormat format;
    std::function<void(std::string_view)> write;
    bool firstRow = true;
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
