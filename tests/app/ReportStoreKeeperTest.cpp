// The report store is tried again while it is missing, and each refusal is told once.
#include <gtest/gtest.h>

#include "app/ReportStoreKeeper.h"
#include "support/TempDir.h"

namespace pulsedesk::app {
namespace {

TEST(ReportStoreKeeper, TriesAgainEachPeriodAndTellsEachDistinctRefusalOnce) {
    pulsedesk::testing::TempDir dir;
    reports::DeviceInfo info;
    std::vector<std::string> refusals = {"held by pulsectl", "held by pulsectl", "no room", ""};
    int tries = 0;
    std::vector<std::string> told;
    ReportStoreKeeper keeper(
        [&]() -> std::unique_ptr<reports::ReportStore> {
            const std::string why = refusals.at(tries++);
            if (!why.empty()) throw reports::ReportError(why);
            return std::make_unique<reports::ReportStore>(
                dir.Path(), info, [](const std::string&) { return std::string(); },
                [] { return reports::LocalTime{2026, 12, 7, 10, 0, 0}; });
        },
        [&](const std::string& text) { told.push_back(text); });
    keeper.Create(0);
    keeper.RetryIfDue(4, 5);  // not yet due
    EXPECT_EQ(tries, 1);
    keeper.RetryIfDue(5, 5);
    keeper.RetryIfDue(10, 5);
    EXPECT_EQ(told, (std::vector<std::string>{"held by pulsectl", "no room"}));
    EXPECT_EQ(keeper.Store(), nullptr);
    keeper.RetryIfDue(15, 5);
    ASSERT_NE(keeper.Store(), nullptr);
    keeper.RetryIfDue(100, 5);
    EXPECT_EQ(tries, 4) << "a store once made is kept";

    // Idle, the folder is free for another program; a study cannot hold it meanwhile, and says
    // so in the operator's language each time it is asked.
    auto other = std::make_unique<reports::WorkFolderLock>(dir.Path());
    told.clear();
    EXPECT_FALSE(keeper.Hold(101));
    EXPECT_FALSE(keeper.Hold(102));
    ASSERT_EQ(told.size(), 2u);
    EXPECT_EQ(told[0].rfind("Папка отчётов «" + dir.Path() + "» занята программой ", 0), 0u)
        << told[0];
    EXPECT_TRUE(keeper.HeldByAnotherProgram());
    other.reset();
    EXPECT_TRUE(keeper.Hold(103));
    EXPECT_THROW(reports::WorkFolderLock{dir.Path()}, reports::FolderInUseError);
    keeper.LetGo();
    EXPECT_NO_THROW(reports::WorkFolderLock{dir.Path()});
}

}  // namespace
}  // namespace pulsedesk::app
