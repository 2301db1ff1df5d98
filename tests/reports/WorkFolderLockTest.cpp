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

TEST_F(WorkFolderLockTest, TheFolderIsFreeAgainOnceTheStoreIsGone) {
    Open().reset();
    auto again = Open();
    EXPECT_EQ(again->LastRecordNumber(), 0u);
}

}  // namespace
}  // namespace pulsedesk::reports::testing
