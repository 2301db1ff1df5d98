#include "analysis/Journal.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <exception>
#include <iterator>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "analysis/QcMarker.h"
#include "config/Cp1251.h"
#include "reports/FileAccess.h"
#include "reports/ReportError.h"
#include "reports/ReportFormat.h"

namespace pulsedesk::analysis {

namespace chr = std::chrono;

namespace {

constexpr std::size_t kHeaderLines = 5;
constexpr std::size_t kDeviceLine = 3;
// A header line holds a label of the settings (at most 2047 characters there) and its value.
constexpr std::size_t kLongestHeaderLine = 4096;
constexpr int kReadAttempts = 3;  // a file renamed between listing and reading is looked up again
// Far more than a month of heavy use writes (a year of it is 6 MB): anything larger is damage.
constexpr std::size_t kLargestReport = 64u << 20;
// Problems named per file; the rest are counted.
constexpr int kProblemsNamed = 100;

using Cursor = reports::LineCursor;

// "YYYY-MM-DD" as people type a day.
CivilDate ReadDate(Cursor& c) {
    CivilDate d;
    d.year = static_cast<int>(c.Digits(4, 4, "a date"));
    c.Literal("-");
    d.month = static_cast<int>(c.Digits(2, 2, "a date"));
    c.Literal("-");
    d.day = static_cast<int>(c.Digits(2, 2, "a date"));
    return d;
}

// A date line's day, refused when the calendar has no such day.
std::optional<CivilDate> ParseDateLine(std::string_view line, std::string& error) {
    const auto parsed = reports::ParseDateLine(line, error);
    if (!parsed) return std::nullopt;
    const CivilDate d{parsed->year, parsed->month, parsed->day};
    if (!d.Valid()) error = "not a calendar date";
    return d.Valid() ? std::optional(d) : std::nullopt;
}

// The rate the line prints must be the one its count and time give, or one of them was altered.
bool RateAgrees(const reports::MeasurementFields& f, std::uint64_t hundredths) {
    if (!f.rate) return hundredths == 0 && f.category == '-';
    return f.category != '-' && reports::IsRateOf(*f.rate, f.count, hundredths);
}

// The state of one file's reading.
class FileReader {
  public:
    // Each record is handed to handOver, when given, once the reading has passed it, rather
    // than kept in the journal.
    FileReader(const std::string& file, std::uint32_t firstRecord, Journal& journal,
               const RecordTaker* handOver)
        : file(file), firstRecord(firstRecord), journal(journal), handOver(handOver) {}

    // The count of problems beyond those named.
    void Finish() {
        HandOverLast();
        if (lineNumber < static_cast<int>(kHeaderLines))
            journal.problems.push_back({file, 0, "the report header is cut short"});
        if (problems > kProblemsNamed)
            journal.problems.push_back(
                {file, 0,
                 std::to_string(problems - kProblemsNamed) + " more problems in this file"});
    }

    void Line(std::string_view text, int number) {
        lineNumber = number;
        const bool header = !date && !skipping && static_cast<std::size_t>(number) <= kHeaderLines;
        if (header) CheckHeaderLine(text);
        if (text.empty()) return EndDescription();
        if (reports::StartsDateLine(text)) return DateLine(text);
        // The header's label lines may hold anything.
        if (header) return;
        if (reports::StartsRecordLine(text)) return RecordLine(text);
        if (skipping) return;
        if (!date) return Skip("a line before the first date line");
        if (reports::IsContinuationLine(text))
            return Continuation(reports::ContinuationPiece(text));
        if (reports::StartsMeasurementLine(text)) return MeasurementLine(text);
        Problem("not a line of a report");
    }

  private:
    enum class State { Outside, Description, Closed };

    // Four label lines no longer than a label and its value, then the closing line.
    void CheckHeaderLine(std::string_view text) {
        const bool closing = static_cast<std::size_t>(lineNumber) == kHeaderLines;
        if (closing ? !reports::IsHeaderClosingLine(text) : text.size() > kLongestHeaderLine)
            return Problem("the report header is damaged");
        if (static_cast<std::size_t>(lineNumber) != kDeviceLine) return;
        if (const auto device = reports::ParseDeviceLine(text))
            journal.instruments.push_back(
                {file, config::Cp1251ToUtf8(device->model), device->serial, device->firmware});
    }

    void Problem(std::string reason) {
        if (++problems <= kProblemsNamed)
            journal.problems.push_back({file, lineNumber, std::move(reason)});
    }
    // A damaged date or record line: the lines that belong to it are skipped with it, up to
    // the next date or record line.
    void Skip(std::string reason) {
        Problem(reason + "; skipped up to the next date or record line");
        skipping = true;
        state = State::Outside;
    }

    void HandOverLast() {
        if (handOver == nullptr || journal.records.empty()) return;
        (*handOver)(std::move(journal.records.back()));
        journal.records.clear();
    }

    JournalRecord* Current() { return state == State::Outside ? nullptr : &journal.records.back(); }

    // A blank line ends a record's description only before it is closed; it never ends a
    // record's measurements (none are written after one, but a hand edit may add one).
    void EndDescription() {
        if (state == State::Description) {
            Problem("a record block without its closing line");
            state = State::Closed;
        }
    }

    void DateLine(std::string_view text) {
        std::string error;
        auto parsed = ParseDateLine(text, error);
        // A header label may begin with the same word.
        if (!parsed && !date && static_cast<std::size_t>(lineNumber) <= kHeaderLines) return;
        if (!parsed) {
            date.reset();
            return Skip("not a date line: " + error);
        }
        skipping = false;
        date = parsed;
        EndDescription();
        previousMinute = -1;
        day = *date;
    }

    // The six digits are the number modulo 1000000; the file name's range has the rest.
    std::uint32_t FullNumber(std::uint32_t shown) const {
        std::uint32_t number = firstRecord - firstRecord % 1000000u + shown;
        if (number < firstRecord) number += 1000000u;
        return number;
    }

    void RecordLine(std::string_view text) {
        std::string error;
        const auto shown = reports::ParseRecordNumber(text, error);
        if (!date) {
            if (!skipping) Skip("a record line without a date line before it");
            return;
        }
        if (!shown) return Skip("not a record line: " + error);
        skipping = false;
        EndDescription();
        // A record mostly has as many measurements as the one before it (a series repeated):
        // room for them is made at once, not grown into.
        const std::size_t expected =
            journal.records.empty() ? 0 : journal.records.back().measurements.size();
        HandOverLast();
        JournalRecord record;
        record.measurements.reserve(expected);
        record.id = {date->year, FullNumber(*shown)};
        record.date = *date;
        record.file = file;
        record.line = lineNumber;
        journal.records.push_back(std::move(record));
        state = State::Description;
        Piece(reports::RecordLinePiece(text));
    }

    void Continuation(std::string_view piece) {
        JournalRecord* record = Current();
        if (record == nullptr) return Problem("a description line outside a record");
        // A typed line of 69 hyphens looks like the closing line until a description line follows.
        if (state == State::Closed && record->measurements.empty() && closedByHyphens) {
            record->description.push_back(reports::ClosingPiece());
            state = State::Description;
        }
        if (state != State::Description)
            return Problem("a description line after the record's end");
        Piece(piece);
    }

    void Piece(std::string_view piece) {
        if (piece == reports::ClosingPiece()) {
            state = State::Closed;
            closedByHyphens = true;
            return;
        }
        closedByHyphens = false;
        journal.records.back().description.push_back(config::Cp1251ToUtf8(piece));
    }

    void MeasurementLine(std::string_view text) {
        JournalRecord* record = Current();
        if (record == nullptr) return Problem("a measurement line outside a record");
        std::string error;
        auto parsed = reports::ParseMeasurementLine(text, error);
        if (!parsed) return Problem("not a measurement line: " + error);
        const std::uint64_t hundredths = reports::Hundredths(parsed->time);
        if (!RateAgrees(*parsed, hundredths))
            return Problem("its rate D does not follow from N and Tm");
        if (state == State::Description) Problem("a record block without its closing line");
        state = State::Closed;
        closedByHyphens = false;
        // No date block is written at midnight: a time that goes back is the next day. Times run
        // on across the records of one date block, so a record's first line after midnight
        // is dated right too.
        const int minuteOfDay = parsed->hour * 60 + parsed->minute;
        if (previousMinute >= 0 && minuteOfDay < previousMinute)
            day = CivilDate::FromDayNumber(day.DayNumber() + 1);
        previousMinute = minuteOfDay;
        // Made in place: a label moved is its characters copied.
        JournalMeasurement& m = record->measurements.emplace_back();
        m.label = std::move(parsed->label);
        m.thresholdMv = parsed->thresholdMv;
        m.countTimeHundredths = static_cast<std::int64_t>(hundredths);
        m.count = parsed->count;
        m.category = parsed->category;
        m.end = {day, parsed->hour, parsed->minute};
        m.line = lineNumber;
    }

    const std::string& file;
    std::uint32_t firstRecord;
    Journal& journal;
    const RecordTaker* handOver;
    int lineNumber = 0;
    std::optional<CivilDate> date;
    State state = State::Outside;
    bool skipping = false;
    bool closedByHyphens = false;
    int previousMinute = -1;
    CivilDate day;  // the date block's, and one more for each midnight passed since
    int problems = 0;
};

struct MonthFile {
    std::string name;
    reports::ParsedReportName parsed;
    std::vector<std::string> others;  // further files of the month, not read
};

// The name exactly as the store builds it, for this year.
std::optional<reports::ParsedReportName> StrictName(const std::string& name, int year) {
    reports::ParsedReportName parsed = reports::ParseReportFileName(name);
    reports::ReportFileName built{.year = static_cast<std::int16_t>(year),
                                  .month = static_cast<std::uint8_t>(parsed.month),
                                  .first = parsed.first,
                                  .last = parsed.last,
                                  .name = {}};
    if (!parsed.complete || parsed.first < 1 || built.Build() != name) return std::nullopt;
    return parsed;
}

// Each month's file: of two (a rename caught half-way, or a crash), the one with the later
// records. Names that are no report of this year go to problems when given. Raises ReportError
// when the folder cannot be listed.
std::map<int, MonthFile> MonthFiles(const std::string& yearFolder, int year,
                                    std::vector<JournalProblem>* problems) {
    std::map<int, MonthFile> months;
    for (const std::string& name : reports::ListMatchingNames(yearFolder, "*.rep")) {
        auto parsed = StrictName(name, year);
        if (!parsed) {
            if (problems != nullptr)
                problems->push_back(
                    {std::to_string(year) + "/" + name, 0, "not a report file name of this year"});
            continue;
        }
        auto [slot, fresh] = months.try_emplace(parsed->month, MonthFile{name, *parsed, {}});
        if (fresh) continue;
        MonthFile& kept = slot->second;
        const auto later = [](const reports::ParsedReportName& p) {
            return std::pair(p.last, p.first);
        };
        if (later(*parsed) > later(kept.parsed)) {
            kept.others.push_back(kept.name);
            kept.name = name;
            kept.parsed = *parsed;
        } else {
            kept.others.push_back(name);
        }
    }
    return months;
}

// The month's bytes, read into room. A file renamed by a new record between the listing and the
// reading is looked up again under its new name.
std::optional<std::string_view> ReadMonth(const std::string& yearFolder, int year, MonthFile& file,
                                          Journal& journal, std::string& room) {
    for (int attempt = 1;; ++attempt) {
        const std::string path = yearFolder + "/" + file.name;
        try {
            return reports::ReadWholeFile(path, kLargestReport, room);
        } catch (const reports::ReportError& error) {
            if (reports::PathExists(path) || attempt == kReadAttempts) {
                journal.problems.push_back(
                    {std::to_string(year) + "/" + file.name, 0, error.what()});
                return std::nullopt;
            }
        }
        std::map<int, MonthFile> again;
        try {
            again = MonthFiles(yearFolder, year, nullptr);
        } catch (const reports::ReportError& error) {
            journal.problems.push_back({std::to_string(year) + "/" + file.name, 0, error.what()});
            return std::nullopt;
        }
        auto found = again.find(file.parsed.month);
        if (found == again.end()) return std::nullopt;
        file = found->second;
    }
}

// One report file's bytes read into a journal of its own; the records handed to handOver instead
// when it is given.
Journal ReadFileText(std::string_view bytes, const std::string& file, std::uint32_t firstRecord,
                     const RecordTaker* handOver = nullptr) {
    Journal one;
    FileReader reader(file, std::max<std::uint32_t>(firstRecord, 1), one, handOver);
    reports::LineSplitter lines(bytes);
    int number = 0;
    for (std::string_view line; lines.Next(line);) reader.Line(line, ++number);
    reader.Finish();
    return one;
}

// A file's problems and instruments added to the journal's.
void MergeNamed(Journal&& one, Journal& journal) {
    journal.problems.insert(journal.problems.end(), std::make_move_iterator(one.problems.begin()),
                            std::make_move_iterator(one.problems.end()));
    journal.instruments.insert(journal.instruments.end(),
                               std::make_move_iterator(one.instruments.begin()),
                               std::make_move_iterator(one.instruments.end()));
}

// What the checks of whole records need of one: read beside its file, kept after the records
// themselves are gone.
struct RecordMark {
    RecordId id;
    std::string file;
    int line = 0;
    std::string refusal;  // the marker's, when it cannot be trusted
};

// The records of a series mostly share their first line: a marker is read once for them, not
// once for each (a full reading, dates and numbers, for every record of a year).
class RecordMarker {
  public:
    RecordMark Mark(const JournalRecord& r) {
        std::string line = r.FirstLine();
        if (!read || line != firstLine) {
            refusal.clear();
            ParseQcMarker(line, &refusal);
            firstLine = std::move(line);
            read = true;
        }
        return {r.id, r.file, r.line, refusal};
    }

  private:
    bool read = false;
    std::string firstLine;
    std::string refusal;  // the first line's
};

// What is named about whole records, after the problems of the lines: a record number met a
// second time, and a marker that cannot be trusted (named here once, not wherever the records
// are judged).
class RecordChecks {
  public:
    void Check(const RecordMark& r) {
        if (!seen.insert(r.id).second)
            repeated.push_back(
                {r.file, r.line, "record " + r.id.Text() + " appears a second time"});
        if (!r.refusal.empty()) refusedMarkers.push_back({r.file, r.line, r.refusal});
    }
    void Name(Journal& journal) const {
        journal.problems.insert(journal.problems.end(), repeated.begin(), repeated.end());
        journal.problems.insert(journal.problems.end(), refusedMarkers.begin(),
                                refusedMarkers.end());
    }

  private:
    std::set<RecordId> seen;
    std::vector<JournalProblem> repeated, refusedMarkers;
};

// A step of the reading, in the journal's order: what the listing named, then the month's file
// when there is one to read.
struct ReadingStep {
    std::vector<JournalProblem> named;
    std::string yearFolder;
    int year = 0;
    std::optional<MonthFile> file;
};

// Every step, from the listings alone. Raises ReportError when the work folder cannot be listed.
std::vector<ReadingStep> PlanReading(const std::string& workFolder, const JournalFilter& filter) {
    std::vector<ReadingStep> steps;
    for (const std::string& name : reports::ListMatchingNames(workFolder, "[0-9][0-9][0-9][0-9]")) {
        const int year = std::stoi(name);
        if (filter.from && year < filter.from->year) continue;
        if (filter.to && year > filter.to->year) continue;
        const std::string yearFolder = workFolder + "/" + name;
        ReadingStep& listing = steps.emplace_back();
        std::map<int, MonthFile> months;
        try {
            months = MonthFiles(yearFolder, year, &listing.named);
        } catch (const reports::ReportError& error) {
            listing.named.push_back({name, 0, error.what()});
            continue;
        }
        for (auto& [month, file] : months) {
            if (!filter.Holds({year, month})) continue;
            ReadingStep& step = steps.emplace_back();
            for (const std::string& other : file.others)
                step.named.push_back({name + "/" + other, 0,
                                      "a second file of the month, not read: " + file.name +
                                          " holds the later records"});
            step.yearFolder = yearFolder;
            step.year = year;
            step.file = std::move(file);
        }
    }
    return steps;
}

// What the thread that read a file made of it, besides its text.
struct FileReading {
    Journal journal;  // the file's problems and instruments; its records unless written
    std::vector<RecordMark> marks;
    std::exception_ptr failure;
};

// A file's text is handed on in pieces of about this length as it is written, and written out
// while the file is still read: the memory of a few pieces is written over again and again,
// where a whole file's text would be fresh memory, a page fault for every page of it.
constexpr std::size_t kTextPiece = 256u << 10;

// Where the pieces of a file's text go, and where the room for the next piece comes from.
struct TextPieces {
    std::function<void(WrittenText)> handOn;
    std::function<TextRoom()> room;
};

// A file read into bytesRoom, its records written by writers from make when it is given, else
// kept.
FileReading ReadStep(const ReadingStep& step, const RecordsWriterMaker* make,
                     const TextPieces& pieces, std::string& bytesRoom) {
    FileReading reading;
    if (!step.file) return reading;
    MonthFile file = *step.file;
    const auto bytes = ReadMonth(step.yearFolder, step.year, file, reading.journal, bytesRoom);
    if (!bytes) return reading;
    std::unique_ptr<RecordsWriter> writer = make ? (*make)(pieces.room()) : nullptr;
    std::vector<JournalRecord> kept;
    RecordMarker marker;
    const RecordTaker handOver = [&](JournalRecord&& r) {
        reading.marks.push_back(marker.Mark(r));
        if (!writer) return kept.push_back(std::move(r));
        writer->Add(r);
        if (writer->Length() < kTextPiece) return;
        pieces.handOn(std::move(*writer).Text());
        writer = (*make)(pieces.room());
    };
    reading.journal = ReadFileText(*bytes, std::to_string(step.year) + "/" + file.name,
                                   static_cast<std::uint32_t>(file.parsed.first), &handOver);
    reading.journal.records = std::move(kept);
    if (writer) pieces.handOn(std::move(*writer).Text());
    return reading;
}

// The steps read on every processor, the caller handed each reading in the steps' order, and the
// pieces of its text as they are written. At most one file more than there are threads is read
// or held before the caller has taken the one before. A file is read and written on one thread:
// its records never cross to another processor's cache.
class ParallelReading {
  public:
    ParallelReading(const std::vector<ReadingStep>& steps, const RecordsWriterMaker* make)
        : steps(steps),
          make(make),
          done(steps.size()),
          pieces(steps.size()),
          workers(std::min({std::max<std::size_t>(1, std::thread::hardware_concurrency()),
                            kMostWorkers, steps.size()})) {
        for (std::size_t i = 0; i < workers; ++i) threads.emplace_back([this] { Work(); });
    }
    ParallelReading(const ParallelReading&) = delete;
    ParallelReading& operator=(const ParallelReading&) = delete;
    // A caller that stops early (its taker raised) lets the threads finish their file and end.
    ~ParallelReading() {
        {
            std::lock_guard lock(mutex);
            stopping = true;
        }
        changed.notify_all();
        for (std::thread& t : threads) t.join();
    }

    // The reading of step i, once it is done, the pieces of its text handed to take before;
    // each step in turn, from the first.
    FileReading Take(std::size_t i, const TextTaker& take) {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return !pieces[i].empty() || done[i].has_value(); });
            // A file's last piece is handed on before its reading is done.
            if (pieces[i].empty()) break;
            WrittenText piece = std::move(pieces[i].front());
            pieces[i].pop_front();
            lock.unlock();
            take(piece.View());
            lock.lock();
            // Its memory is written over by a later piece, not given back and taken anew.
            rooms.push_back(std::move(piece.room));
        }
        FileReading reading = std::move(*done[i]);
        done[i].reset();
        ++written;
        lock.unlock();
        changed.notify_all();
        if (reading.failure) std::rethrow_exception(reading.failure);
        return reading;
    }

  private:
    static constexpr std::size_t kMostWorkers = 8;

    void Work() {
        std::string bytes;  // this thread's files', each written over the one before
        for (;;) {
            std::size_t i = 0;
            {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] {
                    return stopping || next == steps.size() || next < written + workers + 1;
                });
                if (stopping || next == steps.size()) return;
                i = next++;
            }
            const TextPieces toCaller{[this, i](WrittenText piece) { HandOn(i, std::move(piece)); },
                                      [this] { return Room(); }};
            FileReading reading;
            try {
                reading = ReadStep(steps[i], make, toCaller, bytes);
            } catch (...) {
                reading.failure = std::current_exception();
            }
            {
                std::lock_guard lock(mutex);
                done[i] = std::move(reading);
            }
            changed.notify_all();
        }
    }

    void HandOn(std::size_t i, WrittenText piece) {
        {
            std::lock_guard lock(mutex);
            pieces[i].push_back(std::move(piece));
        }
        changed.notify_all();
    }

    // A piece's room written out before, or none, for which the writer makes one.
    TextRoom Room() {
        std::lock_guard lock(mutex);
        if (rooms.empty()) return {};
        TextRoom room = std::move(rooms.back());
        rooms.pop_back();
        return room;
    }

    const std::vector<ReadingStep>& steps;
    const RecordsWriterMaker* make;
    std::vector<std::optional<FileReading>> done;
    std::vector<std::deque<WrittenText>> pieces;  // written, not yet taken
    std::vector<TextRoom> rooms;
    const std::size_t workers;
    std::size_t next = 0;
    std::size_t written = 0;
    bool stopping = false;
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<std::thread> threads;
};

// The whole reading: each file's problems in the order of the steps, the checks of whole
// records after them; texts and records handed to the caller's takers in that order, on its
// thread.
Journal ReadSteps(const std::string& workFolder, const JournalFilter& filter,
                  const RecordsWriterMaker* make, const TextTaker& takeText,
                  const std::function<void(FileReading&)>& take) {
    const std::vector<ReadingStep> steps = PlanReading(workFolder, filter);
    Journal journal;
    RecordChecks checks;
    ParallelReading reading(steps, make);
    for (std::size_t i = 0; i < steps.size(); ++i) {
        journal.problems.insert(journal.problems.end(), steps[i].named.begin(),
                                steps[i].named.end());
        FileReading one = reading.Take(i, takeText);
        for (const RecordMark& mark : one.marks) checks.Check(mark);
        if (steps[i].file) take(one);
        MergeNamed(std::move(one.journal), journal);
    }
    checks.Name(journal);
    return journal;
}

}  // namespace

namespace {

// An export writes a date and a minute in each row: the digits are put in place, and only a
// value that does not fit its width goes through printf.
char* PutDigits(char* at, int value, int width) {
    constexpr int kWidthLimit[] = {1, 10, 100, 1000, 10000};
    if (value < 0 || value >= kWidthLimit[width])
        return at + std::sprintf(at, "%0*d", width, value);
    for (int i = width - 1; i > 0; i -= 2, value /= 100) {
        at[i] = static_cast<char>('0' + value % 10);
        at[i - 1] = static_cast<char>('0' + value / 10 % 10);
    }
    if (width % 2 != 0) at[0] = static_cast<char>('0' + value);
    return at + width;
}

}  // namespace

std::string CivilDate::Text() const {
    char text[kMostText];
    return std::string(text, PutText(text));
}

char* CivilDate::PutText(char* at) const {
    at = PutDigits(at, year, 4);
    *at++ = '-';
    at = PutDigits(at, month, 2);
    *at++ = '-';
    return PutDigits(at, day, 2);
}

long CivilDate::DayNumber() const {
    const chr::year_month_day ymd{chr::year(year), chr::month(static_cast<unsigned>(month)),
                                  chr::day(static_cast<unsigned>(day))};
    return static_cast<long>(chr::sys_days(ymd).time_since_epoch().count());
}

CivilDate CivilDate::FromDayNumber(long days) {
    const chr::year_month_day ymd{chr::sys_days(chr::days(days))};
    return {static_cast<int>(ymd.year()), static_cast<int>(static_cast<unsigned>(ymd.month())),
            static_cast<int>(static_cast<unsigned>(ymd.day()))};
}

bool CivilDate::Valid() const {
    return month >= 1 && month <= 12 && day >= 1 && day <= 31 &&
           chr::year_month_day{chr::year(year), chr::month(static_cast<unsigned>(month)),
                               chr::day(static_cast<unsigned>(day))}
               .ok();
}

std::string LocalMinute::Text() const {
    char text[kMostText];
    return std::string(text, PutText(text));
}

char* LocalMinute::PutText(char* at) const {
    at = date.PutText(at);
    *at++ = ' ';
    return PutTime(at);
}

char* LocalMinute::PutTime(char* at) const {
    at = PutDigits(at, hour, 2);
    *at++ = ':';
    return PutDigits(at, minute, 2);
}

double LocalMinute::Days() const {
    return static_cast<double>(date.DayNumber()) + (hour * 60 + minute) / 1440.0;
}

std::string RecordId::Text() const { return std::to_string(year) + ":" + std::to_string(number); }

std::string JournalRecord::FirstLine() const {
    if (description.empty()) return {};
    const std::string& line = description.front();
    return line.substr(0, line.find_last_not_of(' ') + 1);
}

const JournalRecord* Journal::Find(RecordId id) const {
    for (const JournalRecord& r : records)
        if (r.id == id) return &r;
    return nullptr;
}

int Journal::NewestYear() const {
    int newest = 0;
    for (const JournalRecord& r : records) newest = std::max(newest, r.id.year);
    return newest;
}

void ReadReportText(std::string_view bytes, const std::string& file, std::uint32_t firstRecord,
                    Journal& journal) {
    Journal one = ReadFileText(bytes, file, firstRecord);
    std::move(one.records.begin(), one.records.end(), std::back_inserter(journal.records));
    MergeNamed(std::move(one), journal);
}

Journal ReadJournal(const std::string& workFolder, const JournalFilter& filter,
                    const RecordTaker& take) {
    return ReadSteps(workFolder, filter, nullptr, TextTaker{}, [&take](FileReading& one) {
        for (JournalRecord& r : one.journal.records) take(std::move(r));
    });
}

Journal ReadJournal(const std::string& workFolder, const JournalFilter& filter) {
    std::vector<JournalRecord> records;
    Journal journal = ReadJournal(workFolder, filter, [&records](JournalRecord&& r) {
        records.push_back(std::move(r));
    });
    journal.records = std::move(records);
    return journal;
}

Journal WriteJournal(const std::string& workFolder, const JournalFilter& filter,
                     const RecordsWriterMaker& make, const TextTaker& take) {
    return ReadSteps(workFolder, filter, &make, take, [](FileReading&) {});
}

std::optional<RecordRef> ParseRecordRef(std::string_view text) {
    RecordRef ref;
    const auto colon = text.find(':');
    Cursor c(text);
    if (colon != std::string_view::npos) {
        ref.year = static_cast<int>(c.Digits(4, 4, "the year"));
        c.Literal(":");
    }
    const auto number = c.Digits(1, 10, "the record number");
    c.End();
    if (!c.Ok() || number < 1 || number > 0xFFFFFFFFLL || text.find(' ') != std::string_view::npos)
        return std::nullopt;
    ref.number = static_cast<std::uint32_t>(number);
    return ref;
}

RecordId Resolve(const RecordRef& ref, const Journal& journal) {
    return {ref.year != 0 ? ref.year : journal.NewestYear(), ref.number};
}

std::optional<YearMonth> ParseYearMonth(std::string_view text) {
    Cursor c(text);
    YearMonth ym;
    ym.year = static_cast<int>(c.Digits(4, 4, "the year"));
    c.Literal("-");
    ym.month = static_cast<int>(c.Digits(2, 2, "the month"));
    if (!c.End() || text.size() != 7 || ym.month < 1 || ym.month > 12) return std::nullopt;
    return ym;
}

std::optional<CivilDate> ParseDate(std::string_view text) {
    Cursor c(text);
    const CivilDate d = ReadDate(c);
    if (!c.End() || text.size() != 10 || !d.Valid()) return std::nullopt;
    return d;
}

}  // namespace pulsedesk::analysis
