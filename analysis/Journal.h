// The report tree read back as data: records with their description and measurement lines,
// and every line or file that could not be read, named with its place. Read-only: nothing is
// written, renamed or locked, so it runs while the panel writes.
#pragma once

#include <cmath>
#include <compare>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pulsedesk::analysis {

struct CivilDate {
    int year = 0;
    int month = 0;
    int day = 0;
    auto operator<=>(const CivilDate&) const = default;
    std::string Text() const;  // "2026-12-07"
    // The same text written at `at`, at most kMostText characters; returns its end.
    static constexpr std::size_t kMostText = 40;
    char* PutText(char* at) const;
    // Days since 1970-01-01.
    long DayNumber() const;
    static CivilDate FromDayNumber(long days);
    bool Valid() const;
};

// Local time to the minute, as the report lines carry it.
struct LocalMinute {
    CivilDate date;
    int hour = 0;
    int minute = 0;
    auto operator<=>(const LocalMinute&) const = default;
    std::string Text() const;  // "2026-12-07 14:05"
    static constexpr std::size_t kMostText = CivilDate::kMostText + 24;
    char* PutText(char* at) const;
    // "14:05" alone.
    char* PutTime(char* at) const;
    // Days since 1970-01-01, with the time of day as its fraction.
    double Days() const;
};

// Record numbers restart every year: a record is named by both.
struct RecordId {
    int year = 0;
    std::uint32_t number = 0;
    auto operator<=>(const RecordId&) const = default;
    std::string Text() const;  // "2026:287"
};

// The counter's full scale (24 bits): a line with this count saw the counter saturate, and its
// true count is unknown.
inline constexpr std::uint32_t kSaturatedCount = 16777215;

struct JournalMeasurement {
    std::string label;             // "A", "AB", ...
    LocalMinute end;               // the end of the count, to the minute
    std::int32_t thresholdMv = 0;  // as the line states it (whole millivolts)
    std::int64_t countTimeHundredths = 0;
    std::uint32_t count = 0;
    char category = 'N';  // 'N', 'W', 'A', or '-' for a line without a count time
    int line = 0;         // from 1, in the record's file

    // Here, not out of line, so that a row's rate and uncertainty share one division for t.
    double CountTimeS() const { return static_cast<double>(countTimeHundredths) / 100.0; }
    // N / t computed afresh (not the line's truncated figure); empty without a count time.
    std::optional<double> Rate() const {
        if (countTimeHundredths == 0) return std::nullopt;
        return count / CountTimeS();
    }
    // The Poisson standard uncertainty of the rate, sqrt(N) / t.
    std::optional<double> RateUncertainty() const {
        if (countTimeHundredths == 0) return std::nullopt;
        return std::sqrt(static_cast<double>(count)) / CountTimeS();
    }
};

struct JournalRecord {
    RecordId id;
    CivilDate date;                        // the date block the record stands under
    std::vector<std::string> description;  // UTF-8, one entry per stored line
    std::vector<JournalMeasurement> measurements;
    std::string file;  // below the work folder: "2026/12-26_000287-000301.rep"
    int line = 0;      // the record line's

    // The description's first line without the blanks a cut leaves at its end; "" when empty.
    std::string FirstLine() const;
};

// A line or file that was skipped; line 0 names the file as a whole.
struct JournalProblem {
    std::string file;
    int line = 0;
    std::string reason;
};

struct YearMonth {
    int year = 0;
    int month = 0;
    auto operator<=>(const YearMonth&) const = default;
};

// Which monthly files to read; both ends included.
struct JournalFilter {
    std::optional<YearMonth> from;
    std::optional<YearMonth> to;

    bool Holds(YearMonth month) const { return !(from && month < *from) && !(to && *to < month); }
};

// The instrument a report file's header names.
struct JournalInstrument {
    std::string file;
    std::string model;
    std::uint32_t serial = 0;
    int firmware = 0;  // in tenths: 15 is 1.5
};

struct Journal {
    std::vector<JournalRecord> records;  // by year, then in file order
    std::vector<JournalInstrument> instruments;  // one per file whose header names one
    std::vector<JournalProblem> problems;

    const JournalRecord* Find(RecordId id) const;
    int NewestYear() const;  // 0 without records
};

// Every year folder ("YYYY") of the work folder and its monthly report files; BACKUP and other
// files are never read. When a month has two files, the one with the higher last record number
// is read and the other named as a problem. A file replaced while it is read is read whole, in
// its old or its new form. A year folder that cannot be listed is a problem; a work folder that
// cannot be listed raises ReportError.
Journal ReadJournal(const std::string& workFolder, const JournalFilter& filter = {});

// Each record once its file is read, on the caller's thread, in the order ReadJournal keeps them.
using RecordTaker = std::function<void(JournalRecord&&)>;
// The same reading with the records handed to take rather than kept, so that a year need not be
// held at once: the journal returned holds the instruments and the problems, no records.
Journal ReadJournal(const std::string& workFolder, const JournalFilter& filter,
                    const RecordTaker& take);

// Memory for a file's records as text, written over from file to file and never cleared: a
// string grown is filled with zeros first, and each page of it taken from the system for that.
struct TextRoom {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
};

// A piece of a file's records as text: the first `length` characters of room.
struct WrittenText {
    TextRoom room;
    std::size_t length = 0;
    std::string_view View() const { return {room.bytes.get(), length}; }
};

// Writes a file's records to text as the reading passes them, on the thread that reads the
// file. Once its text is long enough it is taken, and a new writer goes on with the file.
class RecordsWriter {
  public:
    virtual ~RecordsWriter() = default;
    virtual void Add(const JournalRecord& record) = 0;
    // The length of the text written so far.
    virtual std::size_t Length() const = 0;
    virtual WrittenText Text() && = 0;
};
// A writer for each piece of a file's text, made on the reading threads (at the same time): room
// is the room of a piece written out before, or none, whose memory the writer may write over.
using RecordsWriterMaker = std::function<std::unique_ptr<RecordsWriter>(TextRoom room)>;
using TextTaker = std::function<void(std::string_view)>;
// The same reading with each file's records written to text on the thread that reads them, and
// the text handed to take in pieces, in the order of the files, while the file is still read: a
// large journal is read and written on every processor at once. The journal returned holds the
// instruments and the problems.
Journal WriteJournal(const std::string& workFolder, const JournalFilter& filter,
                     const RecordsWriterMaker& make, const TextTaker& take);

// The records of one report file's bytes, appended to the journal. file names the file in the
// journal's problems and lines; firstRecord is the file name's first record number, from which
// numbers above 999999 (the report shows six digits) are restored.
void ReadReportText(std::string_view bytes, const std::string& file, std::uint32_t firstRecord,
                    Journal& journal);

// "[YYYY:]N" as the operator types it; year 0 when not given.
struct RecordRef {
    int year = 0;
    std::uint32_t number = 0;
};
std::optional<RecordRef> ParseRecordRef(std::string_view text);
// The year defaults to the journal's newest.
RecordId Resolve(const RecordRef& ref, const Journal& journal);

// "YYYY-MM" and "YYYY-MM-DD"; nothing when malformed or not a calendar date.
std::optional<YearMonth> ParseYearMonth(std::string_view text);
std::optional<CivilDate> ParseDate(std::string_view text);

}  // namespace pulsedesk::analysis
