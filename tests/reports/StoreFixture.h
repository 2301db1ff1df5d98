// A report store on a temporary work folder with a clock that the test sets.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <map>
#include <memory>

#include "reports/FileAccess.h"
#include "reports/ReportStore.h"
#include "support/TempDir.h"

namespace pulsedesk::reports::testing {

using pulsedesk::testing::ReadBytes;
using pulsedesk::testing::WriteBytes;

class StoreFixture : public ::testing::Test {
  protected:
    std::unique_ptr<ReportStore> Open(const std::string& workFolder,
                                      std::shared_ptr<FileWriter> writer = DefaultFileWriter()) {
        auto labels = [this](const std::string& key) {
            auto found = headerLabels.find(key);
            return found == headerLabels.end() ? std::string() : found->second;
        };
        return std::make_unique<ReportStore>(
            workFolder, device, labels, [this] { return now; }, std::move(writer));
    }
    std::unique_ptr<ReportStore> Open() { return Open(Work()); }

    std::string Work() const { return temp.Path() + "/work"; }
    std::string Year() const { return Work() + "/2026"; }
    std::string Backup() const { return Year() + "/BACKUP"; }
    void MakeYearFolder() const {
        ::mkdir(Work().c_str(), 0777);
        ::mkdir(Year().c_str(), 0777);
    }
    std::vector<std::string> Reports() const { return MatchingNames(Year(), "*.rep"); }
    std::vector<std::string> Backups(const std::string& pattern = "12-26_*.bak") const {
        return MatchingNames(Backup(), pattern);
    }
    // Everything in the folder, hidden names included.
    std::vector<std::string> AllNames(const std::string& folder) const {
        auto names = MatchingNames(folder, "*");
        for (auto& hidden : MatchingNames(folder, ".[!.]*")) names.push_back(hidden);
        return names;
    }

    pulsedesk::testing::TempDir temp;
    DeviceInfo device{.programVersion = 268,
                      .firmwareVersion = 15,
                      .modelName = "QEV-C2",
                      .serialNumber = 123,
                      .warningThreshold = 30,
                      .alarmThreshold = 60};
    std::map<std::string, std::string> headerLabels{
        {"Report_File_Field", "\xCE\xF2\xF7\xE5\xF2:"},  // "Отчет:" in Windows-1251
        {"SWVers_Field", "Program:"},
        {"Device_Field", "Device:"},
        {"Month_Field", "Month:"}};
    LocalTime now{.year = 2026, .month = 12, .day = 7, .hour = 14, .minute = 5, .second = 0};
    const CountTime hundredSeconds{0, 1, 40, 0};
};

}  // namespace pulsedesk::reports::testing
