#include "reports/ReportStore.h"

#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <optional>

#include "config/Cp1251.h"

namespace pulsedesk::reports {

namespace {

std::string FourDigitYear(int year) {
    char text[16];
    std::snprintf(text, sizeof text, "%.4d", year);
    return text;
}

// Record numbers stay below this, so the next month's first number is never negative.
constexpr std::uint32_t kRecordNumberLimit = 2147483647;

// ".NAME.tmp-PID-N": a temporary file of a process that may still be writing it.
bool WriterMayBeAlive(const std::string& temporaryName) {
    const auto at = temporaryName.rfind(".tmp-");
    long pid = 0;
    if (std::sscanf(temporaryName.c_str() + at + 5, "%ld-", &pid) != 1 || pid <= 0) return true;
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

// A name the store can continue from: every piece a number, and a record range that makes sense.
// Other files that happen to match the month's pattern (a damaged or hand-made name among them)
// are left alone.
bool IsUsable(const ParsedReportName& parsed) {
    return parsed.complete && parsed.first >= 1 &&
           static_cast<std::uint32_t>(parsed.first) < kRecordNumberLimit &&
           parsed.last < kRecordNumberLimit &&
           (parsed.last == 0 || parsed.last >= static_cast<std::uint32_t>(parsed.first));
}

// Several files of one month can exist after a crash between writing the new name and deleting
// the old one: the one with the latest record holds every line.
bool HoldsLaterRecords(const ParsedReportName& a, const ParsedReportName& b) {
    if (a.last != b.last) return a.last > b.last;
    return a.first > b.first;
}

// The first record of a month that follows an earlier month's file. A file without records
// passes its own first number on, so numbers never repeat within a year.
std::int32_t FirstAfter(const ParsedReportName& earlier) {
    if (earlier.last == 0) return earlier.first;
    return static_cast<std::int32_t>(earlier.last + 1);
}

}  // namespace

ReportStore::ReportStore(std::string workFolder, DeviceInfo& deviceInfo,
                         HeaderLabelReader headerLabels, Clock clock,
                         std::shared_ptr<FileWriter> writer)
    : workFolder(std::move(workFolder)),
      deviceInfo(deviceInfo),
      headerLabels(std::move(headerLabels)),
      clock(std::move(clock)),
      writer(std::move(writer)) {
    TakeFolder();
}

void ReportStore::TakeFolder() {
    ReadLocalTime();
    PrepareYearFolder();
    folderLock.emplace(workFolder);
    try {
        TidyAfterKilledWriters();
        ChooseReportFile();
        EnsureHeaderAndDate();
    } catch (...) {
        folderLock.reset();
        throw;
    }
}

// A writer killed while replacing a file leaves its temporary file; one killed between writing
// a month's new name and removing the old one leaves both names. Whoever holds the folder next
// tidies them: no writer can be at work on them now.
void ReportStore::TidyAfterKilledWriters() const {
    for (const std::string& folder : {yearFolder, BackupFolder()})
        for (const auto& name : MatchingNames(folder, ".*.tmp-*-*"))
            if (!WriterMayBeAlive(name)) RemoveFileQuietly(folder + "/" + name);
    for (int month = 1; month <= 12; ++month) RemoveSupersededReportsOf(month);
}

// The older file goes only when the latest one holds its every byte at its start, as a later
// write of the store does; otherwise both stay, and the journal's readers name the second one.
void ReportStore::RemoveSupersededReportsOf(int month) const {
    const std::optional<MonthReport> latest = LatestReportOf(month);
    if (!latest) return;
    const std::string kept = yearFolder + "/" + latest->name;
    for (const auto& name : MatchingNames(yearFolder, ReportSearchPattern(month, localTime.year))) {
        if (name == latest->name || !IsUsable(ParseReportFileName(name))) continue;
        try {
            const std::string older = ReadWholeFile(yearFolder + "/" + name);
            if (ReadWholeFile(kept).compare(0, older.size(), older) == 0)
                RemoveFileQuietly(yearFolder + "/" + name);
        } catch (const ReportError&) {
            // unreadable: left for a person to look at
        }
    }
}

void ReportStore::HoldFolder() {
    if (!folderLock) TakeFolder();
}

// A write while the folder is let go holds it for that write alone.
class ReportStore::WriteHold {
  public:
    explicit WriteHold(ReportStore& store) : store(store), own(!store.folderLock) {
        if (own) store.TakeFolder();
    }
    ~WriteHold() {
        if (own) store.ReleaseFolder();
    }
    WriteHold(const WriteHold&) = delete;
    WriteHold& operator=(const WriteHold&) = delete;

  private:
    ReportStore& store;
    bool own;
};

void ReportStore::PrepareYearFolder() {
    yearFolder = workFolder + "/" + FourDigitYear(localTime.year);
    if (IsDirectory(yearFolder)) return;
    std::string prefix;
    std::size_t start = 0;
    for (;;) {
        auto slash = yearFolder.find('/', start);
        prefix += yearFolder.substr(start, slash - start);
        if (!prefix.empty() && !IsDirectory(prefix) && !MakeFolder(prefix) && !IsDirectory(prefix))
            throw ReportError(kCannotCreateDirectory);
        if (slash == std::string::npos) return;
        prefix += '/';
        start = slash + 1;
    }
}

std::optional<ReportStore::MonthReport> ReportStore::LatestReportOf(int month) const {
    std::optional<MonthReport> latest;
    for (const auto& name : MatchingNames(yearFolder, ReportSearchPattern(month, localTime.year))) {
        ParsedReportName parsed = ParseReportFileName(name);
        if (!IsUsable(parsed) || !IsRegularFile(yearFolder + "/" + name)) continue;
        if (!latest || HoldsLaterRecords(parsed, latest->parsed)) latest = MonthReport{name, parsed};
    }
    return latest;
}

void ReportStore::ChooseReportFile() {
    std::int32_t first = 1;
    std::uint32_t last = 0;
    const int currentMonth = ValidMonth(localTime.month);
    for (int month = currentMonth; month >= 1; --month) {
        auto found = LatestReportOf(month);
        if (!found) continue;
        if (month == currentMonth) {
            first = found->parsed.first;
            last = found->parsed.last;
        } else {
            first = FirstAfter(found->parsed);
        }
        break;
    }
    fileName = ReportFileName{.year = static_cast<std::int16_t>(localTime.year),
                              .month = static_cast<std::uint8_t>(currentMonth),
                              .first = first,
                              .last = last,
                              .name = {}};
    reportPath = yearFolder + "/" + fileName.Build();
}

void ReportStore::EnsureBackupFolder() const {
    std::string folder = BackupFolder();
    if (!IsDirectory(folder) && !MakeFolder(folder) && !IsDirectory(folder))
        throw ReportError(kCannotCreateDirectory);
}

// The backup is a convenience copy: a failed copy keeps the last good one and is not reported,
// and older copies of the month go only once the new one is complete.
void ReportStore::CopyToBackup(const std::string& bytes) {
    std::string name = fileName.BackupName();
    try {
        ReplaceFile(*writer, BackupFolder() + "/" + name, bytes);
    } catch (const ReportError&) {
        return;
    }
    for (const auto& other :
         MatchingNames(BackupFolder(), BackupSearchPattern(fileName.month, fileName.year))) {
        if (other != name) RemoveFileQuietly(BackupFolder() + "/" + other);
    }
}

void ReportStore::RefreshBackup() {
    EnsureBackupFolder();
    std::string bytes;
    try {
        bytes = ReadWholeFile(reportPath);
    } catch (const ReportError&) {
        return;
    }
    CopyToBackup(bytes);
}

void ReportStore::RefreshBackupWith(const std::string& bytes) {
    EnsureBackupFolder();
    CopyToBackup(bytes);
}

void ReportStore::WriteHeader() {
    ReplaceFile(*writer, reportPath, JoinLines(HeaderLines(deviceInfo, localTime, headerLabels)));
}

void ReportStore::EnsureHeaderAndDate() {
    if (!PathExists(reportPath)) {
        WriteHeader();
        RefreshBackup();
    }
    std::string bytes = ReadWholeFile(reportPath);
    std::vector<std::string> lines = SplitLines(bytes);
    if (!HasDateLineOf(lines, localTime)) {
        lines.insert(lines.end(), {"", "", DateLine(localTime)});
        bytes = JoinLines(lines);
        ReplaceFile(*writer, reportPath, bytes);
    }
    RefreshBackupWith(bytes);
}

void ReportStore::AddRecord(const std::string& description) {
    const WriteHold hold(*this);
    ReadLocalTime();
    PrepareYearFolder();
    ChooseReportFile();
    EnsureHeaderAndDate();
    std::vector<std::string> lines = SplitLines(ReadWholeFile(reportPath));

    ReportFileName renamed = fileName;
    renamed.last = renamed.last == 0 ? static_cast<std::uint32_t>(renamed.first) : renamed.last + 1;
    std::vector<std::string> block = RecordBlock(renamed.last, description);
    lines.insert(lines.end(), block.begin(), block.end());

    // The new name is complete before the old one goes, so one file always holds every line.
    std::string bytes = JoinLines(lines);
    std::string renamedPath = yearFolder + "/" + renamed.Build();
    ReplaceFile(*writer, renamedPath, bytes);
    if (renamedPath != reportPath) RemoveFileQuietly(reportPath);

    fileName = renamed;
    reportPath = renamedPath;
    measurementLabel = "@";
    RefreshBackupWith(bytes);
}

void ReportStore::AddMeasurement(std::int32_t threshold, std::uint32_t count, CountTime time) {
    const std::uint32_t record = fileName.last;
    const WriteHold hold(*this);
    if (fileName.last != record)
        throw ReportError("Another program added a record to the work folder after record " +
                          std::to_string(record) + "; the measurement would land in its record.");
    ReadLocalTime();
    std::vector<std::string> lines = SplitLines(ReadWholeFile(reportPath));
    std::string label = NextLabel(measurementLabel);
    lines.push_back(MeasurementLine(label, localTime, threshold, count, time, deviceInfo));

    std::string bytes = JoinLines(lines);
    ReplaceFile(*writer, reportPath, bytes);
    measurementLabel = label;
    RefreshBackupWith(bytes);
}

void ReportStore::SaveSpecialText(std::uint32_t count, const SpecialTextOption& option) {
    if (!option.Enabled()) return;
    const WriteHold hold(*this);
    // The name comes in Windows-1251, as all the bench's text; names on disk are UTF-8.
    const std::string name = config::Cp1251ToUtf8(option.FileName());
    // The name is typed by the operator: it names a file in the year folder and nowhere else.
    if (name.find('/') != std::string::npos)
        throw ReportError("The special-format file name must not contain \"/\": " + name);
    std::string path = yearFolder + "/" + name + ".txt";
    std::vector<std::string> lines;
    if (PathExists(path)) lines = SplitLines(ReadWholeFile(path));
    lines.push_back(std::to_string(count));
    ReplaceFile(*writer, path, JoinLines(lines));
}

}  // namespace pulsedesk::reports
