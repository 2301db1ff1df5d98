// ReportStore: the work folder's tree of year folders, monthly report files and backups, the
// record numbers, and the operations that write the reports.
//
// Every write reads the month's file, appends to its lines and replaces the file whole through
// a FileWriter, so a crash or a full disk leaves the previous file complete. State changes only
// once a write has succeeded.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "reports/DeviceInfo.h"
#include "reports/FileAccess.h"
#include "reports/LocalTime.h"
#include "reports/ReportError.h"
#include "reports/ReportFormat.h"
#include "reports/SpecialTextOption.h"
#include "reports/WorkFolderLock.h"

namespace pulsedesk::reports {

class ReportStore {
  public:
    // Prepares the year folder, takes the work folder for this store alone (WorkFolderLock),
    // chooses the month's file and makes sure it has a header and today's date block. Raises
    // ReportError ("Cannot create directory." for folders; FolderInUseError when another store
    // has the folder, and then nothing is written). The folder stays held until ReleaseFolder.
    // deviceInfo is the record of whoever creates the store (the panel), read at every write so
    // that a device identified again shows in later headers: it must outlive the store.
    ReportStore(std::string workFolder, DeviceInfo& deviceInfo, HeaderLabelReader headerLabels,
                Clock clock, std::shared_ptr<FileWriter> writer = DefaultFileWriter());

    ReportStore(const ReportStore&) = delete;
    ReportStore& operator=(const ReportStore&) = delete;

    // Takes the work folder again after ReleaseFolder, and reads its state anew (the month's
    // file, the last record number, today's date block), since another program may have written
    // meanwhile. Raises as the constructor does.
    void HoldFolder();
    // Lets other programs write into the folder. A write while it is let go takes it for that
    // write alone.
    void ReleaseFolder() { folderLock.reset(); }
    bool HoldsFolder() const { return folderLock.has_value(); }

    // Opens a record: date block if due, next record number, description, file renamed to the
    // new record range.
    void AddRecord(const std::string& description);
    // Appends one measurement line to the current record. Refused when another program has
    // added a record since the folder was let go: the line would land in its record.
    void AddMeasurement(std::int32_t threshold, std::uint32_t count, CountTime time);

    // Appends the count to "<year folder>/<name>.txt" while the option is on.
    void SaveSpecialText(std::uint32_t count, const SpecialTextOption& option);

    std::uint32_t LastRecordNumber() const { return fileName.last; }
    const std::string& YearFolder() const { return yearFolder; }
    const std::string& ReportPath() const { return reportPath; }
    const std::string& MeasurementLabel() const { return measurementLabel; }
    const ReportFileName& FileName() const { return fileName; }

  private:
    class WriteHold;

    void ReadLocalTime() { localTime = clock(); }
    void TakeFolder();
    void TidyAfterKilledWriters() const;
    void RemoveSupersededReportsOf(int month) const;
    // Makes "<work folder>/<year>" level by level.
    void PrepareYearFolder();
    // Finds this month's report, or continues the numbering of the latest earlier month.
    void ChooseReportFile();
    // Puts a copy of the report in BACKUP as the month's only backup.
    void RefreshBackup();
    void WriteHeader();
    void EnsureHeaderAndDate();

    std::string BackupFolder() const { return yearFolder + "/BACKUP"; }
    struct MonthReport {
        std::string name;
        ParsedReportName parsed;
    };
    std::optional<MonthReport> LatestReportOf(int month) const;
    void EnsureBackupFolder() const;
    void CopyToBackup(const std::string& bytes);
    void RefreshBackupWith(const std::string& bytes);

    std::string workFolder;
    std::string yearFolder;
    std::string reportPath;
    std::string measurementLabel = "@";
    ReportFileName fileName;
    LocalTime localTime;
    DeviceInfo& deviceInfo;
    HeaderLabelReader headerLabels;
    Clock clock;
    std::shared_ptr<FileWriter> writer;
    std::optional<WorkFolderLock> folderLock;  // taken once the folder exists
};

}  // namespace pulsedesk::reports
