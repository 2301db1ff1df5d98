#include <gtest/gtest.h>

#include "StoreFixture.h"

namespace pulsedesk::reports::testing {
namespace {

using Names = std::vector<std::string>;

class ReportStoreTest : public StoreFixture {};

TEST_F(ReportStoreTest, DecemberStudyAfterNovemberIsWrittenByteForByte) {
    MakeYearFolder();
    WriteBytes(Year() + "/11-26_000270-000286.rep", "November\r\n");
    auto store = Open();
    EXPECT_EQ(store->ReportPath(), Year() + "/12-26_000287-000000.rep");

    store->AddRecord("Soil sample 4, dried for two weeks.\r\nCs-137 content.");
    store->AddMeasurement(120, 2, hundredSeconds);
    now.minute = 8;
    store->AddMeasurement(120, 5, hundredSeconds);

    const std::string expected =
        "\xCE\xF2\xF7\xE5\xF2: Vantor (Orvell)\r\n"
        "Program: 1.12\r\n"
        "Device: QEV-C2-N0123-Soft-1.5\r\n"
        "Month: 2026-December\r\n"
        ";" +
        std::string(79, '-') +
        "\r\n"
        "\r\n"
        "\r\n"
        "Date: 07-12-2026 ;" +
        std::string(62, '=') +
        "\r\n"
        "\r\n"
        "<000287>  ;Soil sample 4, dried for two weeks.\r\n"
        "          ;Cs-137 content.\r\n"
        "          ;" +
        std::string(69, '-') +
        "\r\n"
        "          /A:  14.05  Ut= 0120mV  Tm=00-01-40.00  N=00000002  D=00000.020  Cat=N\r\n"
        "          /B:  14.08  Ut= 0120mV  Tm=00-01-40.00  N=00000005  D=00000.050  Cat=W\r\n";
    EXPECT_EQ(Reports(), (Names{"11-26_000270-000286.rep", "12-26_000287-000287.rep"}));
    EXPECT_EQ(ReadBytes(Year() + "/12-26_000287-000287.rep"), expected);
    EXPECT_EQ(Backups(), Names{"12-26_000287-000287.bak"});
    EXPECT_EQ(ReadBytes(Backup() + "/12-26_000287-000287.bak"), expected);
    EXPECT_EQ(store->LastRecordNumber(), 287u);
}

TEST_F(ReportStoreTest, FirstRecordRenamesTheFileAndKeepsOneBackupEqualToIt) {
    MakeYearFolder();
    auto store = Open();
    EXPECT_EQ(Reports(), Names{"12-26_000001-000000.rep"});
    EXPECT_EQ(Backups(), Names{"12-26_000001-000000.bak"});
    EXPECT_EQ(store->LastRecordNumber(), 0u);

    store->AddRecord("");
    EXPECT_EQ(Reports(), Names{"12-26_000001-000001.rep"});
    EXPECT_EQ(store->LastRecordNumber(), 1u);
    store->AddMeasurement(0, 1, hundredSeconds);
    store->AddRecord("second");
    EXPECT_EQ(Reports(), Names{"12-26_000001-000002.rep"});
    EXPECT_EQ(Backups(), Names{"12-26_000001-000002.bak"});
    EXPECT_EQ(ReadBytes(Backup() + "/12-26_000001-000002.bak"), ReadBytes(store->ReportPath()));

    auto lines = SplitLines(ReadBytes(store->ReportPath()));
    EXPECT_EQ(lines[9], "<000001>  ;" + std::string(69, '-'));
}

TEST_F(ReportStoreTest, WorkFolderIsMadeLevelByLevelAndADoubledSlashCreatesNothingExtra) {
    auto store = Open(temp.Path() + "/a/b/c");
    EXPECT_TRUE(IsDirectory(temp.Path() + "/a/b/c/2026/BACKUP"));
    EXPECT_EQ(store->YearFolder(), temp.Path() + "/a/b/c/2026");
    store.reset();  // one store per work folder

    auto doubled = Open(temp.Path() + "/a/b/c/");
    EXPECT_EQ(doubled->YearFolder(), temp.Path() + "/a/b/c//2026");
    doubled->AddRecord("x");
    EXPECT_EQ(MatchingNames(temp.Path() + "/a/b/c/2026", "*.rep"),
              Names{"12-26_000001-000001.rep"});
    EXPECT_EQ(MatchingNames(temp.Path() + "/a/b/c", "*"), Names{"2026"});
}

TEST_F(ReportStoreTest, NumberingContinuesAfterTheLatestEarlierMonthOfTheYear) {
    MakeYearFolder();
    WriteBytes(Year() + "/10-26_000001-000286.rep", "");
    WriteBytes(Year() + "/01-26_000001-000900.rep", "");
    EXPECT_EQ(Open()->FileName().name, "12-26_000287-000000.rep");

    // A month whose file never got a record passes its first number on.
    ::unlink((Year() + "/12-26_000287-000000.rep").c_str());
    WriteBytes(Year() + "/11-26_000287-000000.rep", "");
    EXPECT_EQ(Open()->FileName().name, "12-26_000287-000000.rep");

    now.year = 2027;
    now.month = 1;
    EXPECT_EQ(Open()->FileName().name, "01-27_000001-000000.rep");
}

TEST_F(ReportStoreTest, NamesWithRecordNumbersAtTheSignedLimitAreIgnored) {
    MakeYearFolder();
    WriteBytes(Year() + "/10-26_000001-000041.rep", "");
    WriteBytes(Year() + "/11-26_000042-2147483647.rep", "");  // damaged or hand-made
    WriteBytes(Year() + "/11-26_2147483647-000000.rep", "");
    EXPECT_EQ(Open()->FileName().name, "12-26_000042-000000.rep");
}

TEST_F(ReportStoreTest, NumbersAboveSixDigitsStayWholeInNamesAndWrapInRecordLines) {
    MakeYearFolder();
    WriteBytes(Year() + "/12-26_000001-999999.rep", "h\r\n");
    auto store = Open();
    store->AddRecord("");
    EXPECT_EQ(Reports(), Names{"12-26_000001-1000000.rep"});
    EXPECT_EQ(SplitLines(ReadBytes(store->ReportPath())).back(),
              "<000000>  ;" + std::string(69, '-'));
    store.reset();  // one store per work folder
    auto reopened = Open();
    reopened->AddRecord("");
    EXPECT_EQ(Reports(), Names{"12-26_000001-1000001.rep"});
    EXPECT_EQ(SplitLines(ReadBytes(reopened->ReportPath())).back(),
              "<000001>  ;" + std::string(69, '-'));
}

TEST_F(ReportStoreTest, ADateBlockIsAddedOncePerDay) {
    auto store = Open();
    const std::string path = store->ReportPath();
    std::string before = ReadBytes(path);
    store.reset();
    store = Open();  // started again the same day
    EXPECT_EQ(ReadBytes(path), before);
    EXPECT_EQ(SplitLines(before).size(), 8u);

    now.day = 8;
    store.reset();
    store = Open();  // the program started again the next day
    std::string date8 = "Date: 08-12-2026 ;" + std::string(62, '=') + "\r\n";
    EXPECT_EQ(ReadBytes(store->ReportPath()), before + "\r\n\r\n" + date8);

    now.day = 9;
    store->AddRecord("");
    std::string date9 = "Date: 09-12-2026 ;" + std::string(62, '=');
    auto lines = SplitLines(ReadBytes(store->ReportPath()));
    EXPECT_EQ(Names(lines.end() - 5, lines.end()),
              (Names{"", "", date9, "", "<000001>  ;" + std::string(69, '-')}));
}

TEST_F(ReportStoreTest, ADateOnlyOnTheFirstLineCountsAsNone) {
    MakeYearFolder();
    std::string today = "Date: 07-12-2026 ;" + std::string(62, '=');
    WriteBytes(Year() + "/12-26_000001-000000.rep", today + "\r\nheader\r\n");
    auto store = Open();
    EXPECT_EQ(ReadBytes(store->ReportPath()), today + "\r\nheader\r\n\r\n\r\n" + today + "\r\n");
}

TEST_F(ReportStoreTest, LabelsRunOnWithinARecordAndRestartWithTheNext) {
    auto store = Open();
    store->AddRecord("");
    for (int i = 0; i < 27; ++i) store->AddMeasurement(0, 1, hundredSeconds);
    auto lines = SplitLines(ReadBytes(store->ReportPath()));
    EXPECT_EQ(lines.back().substr(0, 15), "          /AA: ");
    EXPECT_EQ(lines[lines.size() - 2].substr(0, 15), "          /Z:  ");
    store->AddRecord("");
    store->AddMeasurement(0, 1, hundredSeconds);
    EXPECT_EQ(SplitLines(ReadBytes(store->ReportPath())).back().substr(0, 15), "          /A:  ");
    EXPECT_EQ(store->MeasurementLabel(), "A");
}

TEST_F(ReportStoreTest, MeasurementsStayInTheChosenFileAcrossTheMonthEnd) {
    now = {.year = 2026, .month = 12, .day = 31, .hour = 23, .minute = 59, .second = 0};
    auto store = Open();
    store->AddRecord("late");
    std::string december = store->ReportPath();
    now = {.year = 2027, .month = 1, .day = 1, .hour = 0, .minute = 1, .second = 0};
    store->AddMeasurement(-350, 0, {0, 0, 0, 0});
    EXPECT_EQ(store->ReportPath(), december);
    EXPECT_EQ(SplitLines(ReadBytes(december)).back(),
              "          /A:  00.01  Ut=-0350mV  Tm=00-00-00.00  N=00000000  D=-----.---  Cat=-");
    EXPECT_FALSE(PathExists(Work() + "/2027"));
}

class SpecialText final : public SpecialTextOption {
  public:
    explicit SpecialText(std::string name) : name(std::move(name)) {}
    bool Enabled() const override { return true; }
    std::string FileName() const override { return name; }

  private:
    std::string name;
};

TEST_F(ReportStoreTest, SpecialTextListsCountsOnlyWhileSwitchedOn) {
    auto store = Open();
    Names before = AllNames(Year());
    store->SaveSpecialText(12, SpecialTextOff());
    EXPECT_EQ(AllNames(Year()), before);

    for (std::uint32_t count : {12u, 0u, 6789u})
        store->SaveSpecialText(count, SpecialText("counts"));
    EXPECT_EQ(ReadBytes(Year() + "/counts.txt"), "12\r\n0\r\n6789\r\n");

    WriteBytes(Year() + "/earlier.txt", "5\n7");
    store->SaveSpecialText(4294967295u, SpecialText("earlier"));
    EXPECT_EQ(ReadBytes(Year() + "/earlier.txt"), "5\r\n7\r\n4294967295\r\n");

    store->SaveSpecialText(1, SpecialText(""));
    EXPECT_EQ(ReadBytes(Year() + "/.txt"), "1\r\n");

    // The dialog hands "Счёт" on in Windows-1251; the file's name on disk is UTF-8.
    store->SaveSpecialText(7, SpecialText("\xD1\xF7\xB8\xF2"));
    EXPECT_EQ(ReadBytes(Year() + "/Счёт.txt"), "7\r\n");

    // A typed name never reaches outside the year folder.
    EXPECT_THROW(store->SaveSpecialText(1, SpecialText("../escaped")), ReportError);
    EXPECT_FALSE(PathExists(Work() + "/escaped.txt"));
}

}  // namespace
}  // namespace pulsedesk::reports::testing
