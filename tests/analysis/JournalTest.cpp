// The reader against trees written by the report store itself, and against damaged copies.
#include <gtest/gtest.h>
#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <thread>

#include "analysis/Export.h"
#include "analysis/Journal.h"
#include "analysis/Shortest.h"
#include "config/Cp1251.h"
#include "reports/ReportError.h"
#include "reports/StoreFixture.h"

namespace pulsedesk::analysis {
namespace {

namespace fs = std::filesystem;
using pulsedesk::testing::ReadBytes;
using pulsedesk::testing::WriteBytes;
using reports::LocalTime;

class JournalTest : public reports::testing::StoreFixture {
  protected:
    // November's last record runs past midnight; December has a record with a Cyrillic,
    // quoted, two-line description and 27 lines; January 2027 starts the numbering again.
    void WriteYearEnd() {
        now = {2026, 11, 30, 23, 50, 0};
        auto store = Open();
        store->AddRecord("QC BACKGROUND");
        now.minute = 58;
        store->AddMeasurement(120, 500, hundredSeconds);
        now = {2026, 12, 1, 0, 3, 0};
        store->AddMeasurement(120, 510, hundredSeconds);
        now = {2026, 12, 7, 14, 5, 0};
        store->AddRecord(config::Utf8ToCp1251("Проба №4, \"сухая\"\r\nsecond line"));
        for (std::uint32_t n = 1; n <= 27; ++n) store->AddMeasurement(-350, n, hundredSeconds);
        now = {2027, 1, 2, 9, 0, 0};
        store->AddRecord("");
        store->AddMeasurement(120, 400, hundredSeconds);
    }
    std::string December() const { return Year() + "/12-26_000002-000002.rep"; }
};

TEST_F(JournalTest, ReadsWhatTheStoreWrites) {
    WriteYearEnd();
    const Journal j = ReadJournal(Work());
    EXPECT_TRUE(j.problems.empty()) << j.problems.front().reason;
    ASSERT_EQ(j.records.size(), 3u);
    EXPECT_EQ(j.records[0].id, (RecordId{2026, 1}));
    EXPECT_EQ(j.records[2].id, (RecordId{2027, 1}));
    // Midnight passed within the record: no date block, the time went back.
    EXPECT_EQ(j.records[0].measurements.at(1).end.Text(), "2026-12-01 00:03");
    EXPECT_EQ(j.records[0].file, "2026/11-26_000001-000001.rep");

    const JournalRecord& r = j.records[1];
    EXPECT_EQ(r.description, (std::vector<std::string>{"Проба №4, \"сухая\"", "second line"}));
    ASSERT_EQ(r.measurements.size(), 27u);
    EXPECT_EQ(r.measurements.back().label, "AA");
    EXPECT_EQ(r.measurements.back().thresholdMv, -350);
    EXPECT_EQ(r.measurements.back().count, 27u);
    EXPECT_EQ(r.measurements.back().CountTimeS(), 100.0);
    EXPECT_EQ(r.measurements.back().end.Text(), "2026-12-07 14:05");

    EXPECT_EQ(Resolve(*ParseRecordRef("1"), j), (RecordId{2027, 1}));
    EXPECT_EQ(Resolve(*ParseRecordRef("2026:2"), j), (RecordId{2026, 2}));
    const std::string csv = ExportCsv(j);
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")), ExportCsvHeader());
    EXPECT_NE(csv.find("2026-12-07 14:05,2026,2,\"Проба №4, \"\"сухая\"\"\nsecond line\",AA,-350,"
                       "100.00,27,0.27,"),
              std::string::npos);
    EXPECT_NE(csv.find("\r\n2027-01-02 09:00,2027,1,,A,120,100.00,400,4,0.2,A,"
                       "2027/01-27_000001-000001.rep,11\r\n"),
              std::string::npos);
}

TEST_F(JournalTest, DamagedLinesAreNamedAndTheRestIsRead) {
    WriteYearEnd();
    const std::string original = ReadBytes(December());
    auto lines = reports::SplitLines(original);
    // Line numbers from 1; the record block of the December file starts at line 10.
    struct Damage {
        int line;
        std::string text;
        std::string reason;
        std::size_t measurementsLeft;
    };
    const std::string good = lines[13 - 1];  // the line of label A
    const std::vector<Damage> table{
        {13, std::string(good).replace(good.find("N=0000000") + 9, 1, "9"), "does not follow", 26},
        {13, good.substr(0, 40), "not a measurement line", 26},
        {13, "hello", "not a line of a report", 26},
        {13, std::string(good).replace(good.find("Ut=") + 3, 1, "+"), "threshold's sign", 26},
        // Twenty digits of rate overflow a 64-bit number before they are refused.
        {13, std::string(good).replace(good.find("D=") + 2, 5, std::string(20, '9')),
         "not a measurement line", 26},
        {8, "Date: 31-02-2026 ;" + std::string(62, '='), "not a calendar date", 0},
        {10, "<00a002>  ;x", "not a record line", 0},
    };
    for (const Damage& d : table) {
        SCOPED_TRACE(d.text);
        auto damaged = lines;
        damaged[d.line - 1] = d.text;
        WriteBytes(December(), reports::JoinLines(damaged));
        const Journal j = ReadJournal(Work());
        ASSERT_EQ(j.problems.size(), 1u);
        EXPECT_EQ(j.problems.front().line, d.line);
        EXPECT_EQ(j.problems.front().file, "2026/12-26_000002-000002.rep");
        EXPECT_NE(j.problems.front().reason.find(d.reason), std::string::npos)
            << j.problems.front().reason;
        const JournalRecord* december = j.Find({2026, 2});
        EXPECT_EQ(december ? december->measurements.size() : 0u, d.measurementsLeft);
        EXPECT_NE(j.Find({2027, 1}), nullptr);
    }
}

TEST_F(JournalTest, OfTwoFilesOfAMonthTheLaterIsRead) {
    WriteYearEnd();
    // A crash between writing the new name and removing the old one, and a foreign file.
    const std::string stale = Year() + "/12-26_000002-000001.rep";
    fs::copy_file(December(), stale);
    WriteBytes(Year() + "/notes.rep", "x");
    const Journal j = ReadJournal(Work());
    ASSERT_EQ(j.records.size(), 3u);  // BACKUP's copies are not read either
    ASSERT_EQ(j.problems.size(), 2u);
    EXPECT_EQ(j.problems[0].file, "2026/notes.rep");
    EXPECT_EQ(j.problems[1].file, "2026/12-26_000002-000001.rep");
    // Handed over as they are read: the same records in the same order, the same problems.
    std::vector<RecordId> handed;
    const Journal streamed =
        ReadJournal(Work(), {}, [&handed](JournalRecord&& r) { handed.push_back(r.id); });
    EXPECT_TRUE(streamed.records.empty());
    EXPECT_EQ(handed, (std::vector<RecordId>{{2026, 1}, {2026, 2}, {2027, 1}}));
    ASSERT_EQ(streamed.problems.size(), 2u);
    EXPECT_EQ(streamed.problems[1].file, j.problems[1].file);
    // A file's problems come before those the next file's listing names.
    const std::string november = Year() + "/11-26_000001-000001.rep";
    WriteBytes(november, ReadBytes(november) + "hello\n");
    const Journal damaged = ReadJournal(Work());
    ASSERT_EQ(damaged.problems.size(), 3u);
    EXPECT_EQ(damaged.problems[1].file, "2026/11-26_000001-000001.rep");
    EXPECT_EQ(damaged.problems[2].file, "2026/12-26_000002-000001.rep");
    // Written file by file on the threads that read them: the kept journal's export, joined in
    // order, the JSON's commas between the files' rows included.
    for (const ExportFormat format : {ExportFormat::Csv, ExportFormat::Json}) {
        std::string text;
        ExportWriter writer(format, [&text](std::string_view piece) { text += piece; });
        const Journal rest = WriteJournal(
            Work(), {},
            [format](TextRoom room) {
                return std::make_unique<ExportRows>(format, std::move(room));
            },
            [&writer](std::string_view rows) { writer.Add(rows); });
        writer.Finish();
        EXPECT_EQ(text, format == ExportFormat::Csv ? ExportCsv(damaged) : ExportJson(damaged));
        EXPECT_EQ(rest.problems.size(), damaged.problems.size());
    }

    const Journal december = ReadJournal(Work(), {YearMonth{2026, 12}, YearMonth{2026, 12}});
    ASSERT_EQ(december.records.size(), 1u);
    EXPECT_EQ(december.records[0].id, (RecordId{2026, 2}));
}

// A month of many records goes to the caller in pieces while it is read. The caller takes its
// time over each, so that later pieces are written meanwhile: they wait in order, each in a room
// of its own.
TEST_F(JournalTest, AFileOfManyRecordsReachesTheCallerInPiecesInOrder) {
    WriteYearEnd();
    std::string december = ReadBytes(December());
    const std::string block = december.substr(december.find("<000002>"));
    for (int n = 100000; n < 100200; ++n) december += "<" + std::to_string(n) + block.substr(7);
    WriteBytes(December(), december);
    const Journal kept = ReadJournal(Work());
    ASSERT_EQ(kept.records.size(), 203u);
    ASSERT_TRUE(kept.problems.empty()) << kept.problems.front().reason;
    std::string text;
    ExportWriter writer(ExportFormat::Csv, [&text](std::string_view piece) { text += piece; });
    WriteJournal(
        Work(), {},
        [](TextRoom room) {
            return std::make_unique<ExportRows>(ExportFormat::Csv, std::move(room));
        },
        [&writer](std::string_view rows) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            writer.Add(rows);
        });
    writer.Finish();
    EXPECT_TRUE(text == ExportCsv(kept));  // not EXPECT_EQ: its message would print a megabyte
}

// A failure on a reading thread, or in the caller's taker, reaches the caller, and the threads
// end with it: nothing waits for a file no one will take.
TEST_F(JournalTest, AFailureWhileFilesAreReadReachesTheCaller) {
    WriteYearEnd();
    struct Failing final : RecordsWriter {
        void Add(const JournalRecord& r) override {
            if (r.id == RecordId{2026, 2}) throw std::runtime_error("writer failed");
        }
        std::size_t Length() const override { return 0; }
        WrittenText Text() && override {
            TextRoom room{std::make_unique<char[]>(4), 4};
            std::memcpy(room.bytes.get(), "rows", 4);
            return {std::move(room), 4};
        }
    };
    std::vector<std::string> taken;
    const auto take = [&taken](std::string_view text) { taken.emplace_back(text); };
    EXPECT_THROW(
        WriteJournal(Work(), {}, [](TextRoom) { return std::make_unique<Failing>(); }, take),
        std::runtime_error);
    EXPECT_EQ(taken, std::vector<std::string>{"rows"});  // November's, before December failed
    EXPECT_THROW(ReadJournal(Work(), {}, [](JournalRecord&&) { throw std::runtime_error("x"); }),
                 std::runtime_error);
}

// Records of a series share their first line, whose marker is read once for them: a refusal is
// named for each record with that line, for none with another.
TEST_F(JournalTest, ARefusedMarkerIsNamedForEachOfItsRecordsAndNoOther) {
    now = {2026, 3, 2, 9, 0, 0};
    auto store = Open();
    for (const char* first : {"QC CHI2 a&b", "QC CHI2 a&b", "QC CHI2 ok", "PLATEAU a b",
                              "QC CHI2 it's"}) {
        store->AddRecord(first);
        store->AddMeasurement(120, 500, hundredSeconds);
    }
    const Journal j = ReadJournal(Work());
    ASSERT_EQ(j.records.size(), 5u);
    std::vector<int> named;
    for (const JournalProblem& p : j.problems)
        if (p.reason.find("whose name is not") != std::string::npos) named.push_back(p.line);
    EXPECT_EQ(named, (std::vector<int>{j.records[0].line, j.records[1].line, j.records[4].line}));
}

// No month reaches 64 MiB, and a damaged file names its first hundred problems only.
TEST_F(JournalTest, AFileTooLargeIsRefusedAndProblemsAreCappedPerFile) {
    WriteYearEnd();
    const std::string november = Year() + "/11-26_000001-000001.rep";
    ASSERT_EQ(::truncate(november.c_str(), (64 << 20) + 1), 0);  // sparse: nothing is written
    WriteBytes(
        December(), ReadBytes(December()) + std::string(250, '\n') + [] {
            std::string garbage;
            for (int i = 0; i < 250; ++i) garbage += "garbage\r\n";
            return garbage;
        }());
    const Journal j = ReadJournal(Work());
    ASSERT_EQ(j.problems.size(), 1u + 100 + 1);
    EXPECT_EQ(j.problems[0].file, "2026/11-26_000001-000001.rep");
    EXPECT_NE(j.problems[0].reason.find("File too large"), std::string::npos);
    EXPECT_EQ(j.problems[100].line, 39 + 250 + 100);  // December has 39 lines
    EXPECT_EQ(j.problems[101].line, 0);
    EXPECT_EQ(j.problems[101].reason, "150 more problems in this file");
    EXPECT_EQ(j.records.size(), 2u) << "December and January are read";
}

TEST_F(JournalTest, AFileWithADamagedOrCutHeaderIsNamed) {
    WriteYearEnd();
    const std::string original = ReadBytes(December());
    const std::string garbage(10 << 20, 'g');
    const struct {
        std::string bytes;
        std::vector<std::pair<int, std::string>> problems;
        bool recordRead;
    } cases[] = {
        {garbage + original.substr(original.find('\n')), {{1, "damaged"}}, true},
        {garbage, {{1, "damaged"}, {0, "cut short"}}, false},
        {original.substr(0, original.find("Month")), {{0, "cut short"}}, false},
        {"", {{0, "cut short"}}, false},
        {std::string(original).replace(original.find(";---"), 2, ";="), {{5, "damaged"}}, true},
        {std::string(original).replace(original.find(";---"), 80, ""), {{5, "damaged"}}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 80));
        WriteBytes(December(), c.bytes);
        const Journal j = ReadJournal(Work());
        ASSERT_EQ(j.problems.size(), c.problems.size());
        for (std::size_t i = 0; i < c.problems.size(); ++i) {
            EXPECT_EQ(j.problems[i].file, "2026/12-26_000002-000002.rep");
            EXPECT_EQ(j.problems[i].line, c.problems[i].first);
            EXPECT_NE(j.problems[i].reason.find(c.problems[i].second), std::string::npos);
        }
        EXPECT_EQ(j.Find({2026, 2}) != nullptr, c.recordRead);
    }
}

// A year that cannot be read is named with the reason, like a report that cannot; a work folder
// that cannot be read is no journal at all.
TEST_F(JournalTest, UnreadableFoldersAreNamedWithTheirError) {
    WriteYearEnd();
    const std::string year2025 = Work() + "/2025", year2024 = Work() + "/2024";
    WriteBytes(year2025, "a file, not a folder");
    fs::create_directory_symlink(year2024, year2024);
    const Journal j = ReadJournal(Work());
    ASSERT_EQ(j.problems.size(), 2u);
    EXPECT_EQ(j.problems[0].file, "2024");
    EXPECT_NE(j.problems[0].reason.find("Too many levels of symbolic links"), std::string::npos);
    EXPECT_EQ(j.problems[1].file, "2025");
    EXPECT_NE(j.problems[1].reason.find("Not a directory"), std::string::npos);
    EXPECT_EQ(j.records.size(), 3u);

    if (::geteuid() == 0) return;  // permissions bind everyone but root
    ::chmod(Year().c_str(), 0300);
    EXPECT_NE(ReadJournal(Work()).problems.at(0).reason.find("Permission denied"),
              std::string::npos);
    ::chmod(Year().c_str(), 0700);
    ::chmod(Work().c_str(), 0300);
    EXPECT_THROW(ReadJournal(Work()), reports::ReportError);
    ::chmod(Work().c_str(), 0700);
}

// The digits put in place for the export's rows, and what printf's %04d and %02d make of
// values wider than their field.
TEST(LocalMinuteTest, TextPadsEachFieldAndKeepsWhatDoesNotFit) {
    const std::pair<LocalMinute, const char*> cases[] = {
        {{{2026, 12, 7}, 14, 5}, "2026-12-07 14:05"},
        {{{7, 1, 1}, 0, 0}, "0007-01-01 00:00"},
        {{{12345, 1, 2}, 9, 59}, "12345-01-02 09:59"},
        {{{-1, 100, 2}, 24, 100}, "-001-100-02 24:100"},
    };
    for (const auto& [minute, text] : cases) {
        EXPECT_EQ(minute.Text(), text);
        EXPECT_EQ(minute.date.Text(), std::string(text).substr(0, std::string(text).find(' ')));
    }
}

// A file's rows beyond the first room made for them: the room grows and keeps what was written.
// A description's lines are joined with an LF between each, after an empty first line too.
TEST(ExportRowsTest, RowsBeyondTheFirstRoomAreKept) {
    JournalRecord r{.id = {2026, 1}, .description = {std::string(300, 'x')}, .file = "2026/a.rep"};
    const auto rowsOf = [&r](std::size_t n) {
        r.measurements.assign(n, {.label = "A", .countTimeHundredths = 10000, .count = 100});
        ExportRows rows(ExportFormat::Csv);
        rows.Add(r);
        return std::string(std::move(rows).Text().View());
    };
    const std::string one = rowsOf(1);
    std::string many;
    for (int i = 0; i < 20000; ++i) many += one;  // 7 MB
    EXPECT_TRUE(rowsOf(20000) == many);  // not EXPECT_EQ: its message would print 7 MB
    r.description = {"", "b"};
    EXPECT_NE(rowsOf(1).find(",2026,1,\"\nb\",A,"), std::string::npos);
}

// A separator anywhere in a cell quotes it, one after a NUL byte too.
TEST(CsvCellTest, QuotesACellWithASeparatorAnywhere) {
    using namespace std::string_literals;
    const std::pair<std::string, std::string> cases[] = {
        {"plain", "plain"},          {"a\0b"s, "a\0b"s},           {"a\0,b"s, "\"a\0,b\""s},
        {"x\r"s, "\"x\r\""},         {"say \"hi\"", "\"say \"\"hi\"\"\""},
    };
    for (const auto& [text, cell] : cases) EXPECT_EQ(CsvCell(text), cell) << text;
}
// The export's own shortest form against the library's: the lengths at which the exponent form
// wins or ties, and a seeded sweep of rates and their uncertainties as the rows compute them;
// the rates also from their count and count time, over times of few decimals and any others.
TEST(ShortestTest, WritesWhatToCharsWrites) {
    std::vector<double> values = {0.0, -0.0, 0.27, 0.2, 4, 0.0001, 0.001, 1e-05, 100000, 10000,
                                  1234500000, 12345600000, 1.5e-10, 5e-324, 1e-300, 1e22,
                                  9007199254740991.0, 9007199254740992.0, 1.7976931348623157e308,
                                  -2.2250738585072014e-308, 123456.789, -0.5, 429496729500.0};
    struct Rate {
        double value;
        std::uint64_t count, hundredths;
    };
    std::vector<Rate> rates = {{0.1 + 0.2, 3, 1000}};  // a value that is not the double of 0.3
    const std::int64_t fewDecimals[] = {1, 8, 125, 1000, 6000, 10000, 12500, 390625, 33554432};
    std::mt19937_64 random(20261208);
    std::uniform_int_distribution<std::uint32_t> count;
    std::uniform_int_distribution<std::int64_t> hundredths(1, 99LL * 3600 * 100);
    for (int i = 0; i < 200000; ++i) {
        const std::uint32_t n = count(random) >> (i % 32);
        const std::int64_t h = i % 2 ? hundredths(random) >> (i % 24) : fewDecimals[i % 9];
        const double t = static_cast<double>(h) / 100.0;
        values.insert(values.end(), {n / t, std::sqrt(n) / t});
        if (h > 0) rates.push_back({n / t, n, static_cast<std::uint64_t>(h)});
        double bits;
        const std::uint64_t pattern = random();
        std::memcpy(&bits, &pattern, sizeof bits);
        if (std::isfinite(bits)) values.push_back(bits);
    }
    char ours[kShortestRoom], theirs[kMostShortest];
    const auto expected = [&theirs](double value) {
        return std::string_view(theirs, std::to_chars(theirs, theirs + sizeof theirs, value).ptr);
    };
    for (double value : values)
        ASSERT_EQ(std::string_view(ours, PutShortest(ours, value)), expected(value))
            << std::hexfloat << value;
    QuotientWriter writer;
    for (const Rate& r : rates)
        ASSERT_EQ(std::string_view(ours, writer.Put(ours, r.value, r.count * 100, r.hundredths)),
                  expected(r.value))
            << r.count << " / " << r.hundredths;
}

TEST(RecordRefTest, TakesYearAndNumberOrNumberAlone) {
    EXPECT_EQ(ParseRecordRef("12")->number, 12u);
    EXPECT_EQ(ParseRecordRef("2026:5")->year, 2026);
    for (const char* bad : {"", "0", ":5", "2026:", "26:5", "5 ", "x", "2026:5:1"})
        EXPECT_FALSE(ParseRecordRef(bad)) << bad;
}

}  // namespace
}  // namespace pulsedesk::analysis
