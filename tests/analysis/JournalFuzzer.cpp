// Random bytes as a report file, as the lines of a description and as the operator's typed
// references: none of it may crash, hang, overflow or read outside its buffers, and what the
// reader makes of it must stay within its own rules.
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>

#include "analysis/Export.h"
#include "analysis/Journal.h"
#include "analysis/QcMarker.h"
#include "config/Cp1251.h"
#include "reports/ReportFormat.h"

using namespace pulsedesk::analysis;

namespace {

// What a terminal or a page is shown holds no control character but the tab.
void CheckVisible(std::string_view text) {
    for (const char c : pulsedesk::config::VisibleText(text)) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && byte != '\t') || byte == 0x7F) __builtin_trap();
    }
}

// A marker read back has a name of letters, digits and + - . _ / # ( ) only.
void FeedMarker(const std::string& line) {
    std::string refusal;
    const auto marker = ParseQcMarker(line, &refusal);
    if (marker && !refusal.empty()) __builtin_trap();
    if (!marker) return;
    for (const char c : marker->name)
        if (!std::isalnum(static_cast<unsigned char>(c)) &&
            std::string_view("+-._/#()").find(c) == std::string_view::npos)
            __builtin_trap();
}

void FeedTypedText(std::string_view data) {
    ParseRecordRef(data);
    ParseYearMonth(data);
    if (const auto day = ParseDate(data); day && !day->Valid()) __builtin_trap();
    CheckVisible(data);
    CsvTextCell(std::string(data));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    FeedTypedText(data);
    Journal journal;
    ReadReportText(data, "2026/03-26_000001-000009.rep", 1, journal);
    // The first hundred problems of a file are named, then one line counts the rest; a header
    // problem and that count line come on top.
    if (journal.problems.size() > 100 + 2) __builtin_trap();
    for (const JournalRecord& r : journal.records) {
        FeedMarker(r.FirstLine());
        for (const JournalMeasurement& m : r.measurements)
            if (m.end.hour > 23 || m.end.minute > 59 || m.countTimeHundredths < 0) __builtin_trap();
    }
    ExportCsv(journal);
    ExportJson(journal);
    pulsedesk::reports::LineSplitter lines(data);
    std::size_t total = 0;
    for (std::string_view text, ending; lines.Next(text, ending);)
        total += text.size() + ending.size();
    if (total != data.size()) __builtin_trap();
    return 0;
}
