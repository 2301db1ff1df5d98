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

// The rows of every record, or of one; the header line first. Lines end in CR LF, as RFC 4180
// has them; a description's lines are joined with LF inside its quoted cell.
std::string ExportCsv(const Journal& journal, std::optional<RecordId> only = std::nullopt);
// The same text handed to write in pieces, so that a year's rows need not be held at once.
void WriteCsv(const Journal& journal, std::optional<RecordId> only,
              const std::function<void(std::string_view)>& write);
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
