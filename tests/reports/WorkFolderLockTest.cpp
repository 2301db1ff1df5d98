#include <unistd.h>

#include "StoreFixture.h"

namespace pulsedesk::reports::testing {
namespace {

using WorkFolderLockTest = StoreFixture;

TEST_F(WorkFolderLockTest, ASecondStoreOnTheFolderIsRefusedNamingTheFolderAndTheHolder) {
    auto first = Open();
    first->AddRecord("first study");
    first->AddMeasurement(120, 5, hundredSeconds);
    const std::string report = ReadBytes(first->ReportPath());
    const auto reportsBefore = Reports();
    const auto backupsBefore = Backups();

    try {
        Open();
        FAIL() << "a second store opened on a held folder";
    } catch (const ReportError& e) {
        const std::string text = e.what();
        EXPECT_NE(text.find("\"" + Work() + "\""), std::string::npos) << text;
        EXPECT_NE(text.find("(process " + std::to_string(getpid()) + ")"), std::string::npos)
            << text;
    }
    EXPECT_EQ(ReadBytes(first->ReportPath()), report);
    EXPECT_EQ(Reports(), reportsBefore);
    EXPECT_EQ(Backups(), backupsBefore);

    first->AddMeasurement(120, 2, hundredSeconds);  // the holder goes on as before
    EXPECT_EQ(first->MeasurementLabel(), "B");
}

// The panel lets the folder go between studies: another program's records are then read back
// before the panel numbers its own, and a line never lands in the other program's record.
TEST_F(WorkFolderLockTest, AStoreThatLetTheFolderGoReadsItAgainWhenItHoldsIt) {
    auto panel = Open();
    panel->AddRecord("panel's study");
    panel->AddMeasurement(120, 5, hundredSeconds);
    panel->ReleaseFolder();
    {
        auto script = Open();
        script->AddRecord("QC BKG");
        script->AddMeasurement(120, 1, hundredSeconds);
    }
    EXPECT_THROW(panel->AddMeasurement(120, 6, hundredSeconds), ReportError);
    panel->HoldFolder();
    EXPECT_THROW(Open(), FolderInUseError);
    panel->AddRecord("panel's next study");
    EXPECT_EQ(panel->LastRecordNumber(), 3u);
    EXPECT_EQ(Reports().size(), 1u);
    EXPECT_EQ(Backups().size(), 1u);
    EXPECT_EQ(ReadBytes(Backup() + "/" + Backups()[0]), ReadBytes(panel->ReportPath()));
}

TEST_F(WorkFolderLockTest, TheFolderIsFreeAgainOnceTheStoreIsGone) {
    Open().reset();
    auto again = Open();
    EXPECT_EQ(again->LastRecordNumber(), 0u);
}

}  // namespace
}  // namespace pulsedesk::reports::testing
