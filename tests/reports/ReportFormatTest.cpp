#include <gtest/gtest.h>

#include <random>

#include "reports/ReportFormat.h"

namespace pulsedesk::reports {
namespace {

using Lines = std::vector<std::string>;

const std::string kIndent = "          ;";

TEST(TextLines, ReadingAcceptsEveryLineEndAndWritingUsesCrLf) {
    EXPECT_EQ(SplitLines("a\r\nb\rc\nd"), (Lines{"a", "b", "c", "d"}));
    EXPECT_EQ(SplitLines("a\r\n\r\n"), (Lines{"a", ""}));
    EXPECT_EQ(SplitLines("\n\r"), (Lines{"", ""}));
    EXPECT_EQ(SplitLines(""), Lines{});
    EXPECT_EQ(SplitLines(std::string("x\0y\xFF", 4)), Lines{std::string("x\0y\xFF", 4)});
    EXPECT_EQ(JoinLines({"a", "", "\xC4\xE0"}), "a\r\n\r\n\xC4\xE0\r\n");
    // Lines are searched in blocks: an end at each place of the first blocks, and none at all.
    for (const std::string& after : {std::string("y"), std::string(64, 'y')})
        for (std::size_t length = 0; length < 80; ++length)
            for (const char* end : {"\r", "\n", "\r\n"})
                EXPECT_EQ(SplitLines(std::string(length, 'x') + end + after),
                          (Lines{std::string(length, 'x'), after}));
    for (const std::size_t length : {40, 57})
        EXPECT_EQ(SplitLines(std::string(length, 'x')), Lines{std::string(length, 'x')});
}

TEST(ReportFileNames, BuildWithSixDigitsOrMoreAndParseWithDefaults) {
    ReportFileName name{.year = 2026, .month = 12, .first = 287, .last = 0, .name = {}};
    EXPECT_EQ(name.Build(), "12-26_000287-000000.rep");
    EXPECT_EQ(name.name, "12-26_000287-000000.rep");
    name.last = 1000000;
    EXPECT_EQ(name.Build(), "12-26_000287-1000000.rep");
    EXPECT_EQ(name.BackupName(), "12-26_000287-1000000.bak");

    auto parsed = ParseReportFileName("10-26_000001-000286.rep");
    EXPECT_TRUE(parsed.complete);
    EXPECT_EQ(parsed.first, 1);
    EXPECT_EQ(parsed.last, 286u);

    auto noDot = ParseReportFileName("03-26_000005-000009");
    EXPECT_EQ(noDot.last, 9u);
    EXPECT_TRUE(noDot.complete);

    auto garbage = ParseReportFileName("13-xx_copy.rep");
    EXPECT_FALSE(garbage.complete);
    EXPECT_EQ(garbage.month, 1);
    EXPECT_EQ(garbage.year, 10);
    EXPECT_EQ(garbage.first, 0);
    EXPECT_EQ(garbage.last, 0u);
    EXPECT_FALSE(ParseReportFileName("12-26_000001-99999999999.rep").complete);
}

TEST(Header, KeyTextsWithValuesAndEmptyLinesForEmptyKeys) {
    DeviceInfo device{.programVersion = 268,
                      .firmwareVersion = 15,
                      .modelName = "QEV-C2",
                      .serialNumber = 0xFFFF,
                      .warningThreshold = 30,
                      .alarmThreshold = 60};
    auto labels = [](const std::string& key) { return key == "SWVers_Field" ? "" : key + ":"; };
    Lines header = HeaderLines(device, LocalTime{.year = 2026, .month = 6}, labels);
    EXPECT_EQ(header, (Lines{"Report_File_Field: Vantor (Orvell)", "",
                             "Device_Field: QEV-C2-N65535-Soft-1.5", "Month_Field: 2026-Juni",
                             ";" + std::string(79, '-')}));
}

TEST(DateLines, OnlyTheLastDateLineAfterTheFirstLineCounts) {
    LocalTime today{.year = 2026, .month = 12, .day = 7};
    EXPECT_EQ(DateLine(today), "Date: 07-12-2026 ;" + std::string(62, '='));
    EXPECT_EQ(DateLine(today).size(), 80u);
    EXPECT_FALSE(HasDateLineOf({DateLine(today), "x"}, today));
    EXPECT_TRUE(HasDateLineOf({"h", DateLine(today), "x"}, today));
    EXPECT_FALSE(HasDateLineOf(
        {"h", DateLine(today), DateLine({.year = 2026, .month = 12, .day = 6})}, today));
    EXPECT_FALSE(HasDateLineOf({"h", "Date:", "Date: 07-12"}, today));
}

TEST(Records, DescriptionLinesAndTheirPrefixes) {
    EXPECT_EQ(RecordBlock(287, "Soil sample 4, dried for two weeks.\r\nCs-137 content."),
              (Lines{"", "<000287>  ;Soil sample 4, dried for two weeks.",
                     kIndent + "Cs-137 content.", kIndent + std::string(69, '-')}));
    EXPECT_EQ(RecordBlock(1000287, ""), (Lines{"", "<000287>  ;" + std::string(69, '-')}));
    EXPECT_EQ(RecordBlock(5, "one\n\ntwo\n"), (Lines{"", "<000005>  ;one", kIndent, kIndent + "two",
                                                     kIndent + std::string(69, '-')}));
}

TEST(Records, LongTextsAreCutAtTheLastSeparatorWithinSeventy) {
    Lines pieces = SplitDescription(
        "Water sample from the north well, filtered through a 0.45 um membrane and evaporated to "
        "dryness before counting.");
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0], "Water sample from the north well, filtered through a 0.45 um membrane ");
    EXPECT_EQ(("<000001>  ;" + pieces[0]).size(), 81u);
    EXPECT_EQ(pieces[1], "and evaporated to dryness before counting.");

    std::string word75(75, 'x');
    EXPECT_EQ(SplitDescription(word75 + " end"), (Lines{word75 + " ", "end"}));
    EXPECT_EQ(SplitDescription(word75 + "\r\nend"), (Lines{word75, "end"}));
    std::string remainder69 = std::string(60, 'y') + " " + std::string(8, 'z');
    EXPECT_EQ(SplitDescription(remainder69),
              (Lines{std::string(60, 'y') + " ", std::string(8, 'z')}));
    std::string remainder68 = std::string(59, 'y') + " " + std::string(8, 'z');
    EXPECT_EQ(SplitDescription(remainder68), Lines{remainder68});
}

TEST(Measurements, FieldsWidthsRatesAndCategories) {
    DeviceInfo device;
    LocalTime at{.year = 2026, .month = 12, .day = 7, .hour = 14, .minute = 5};
    CountTime hundredSeconds{0, 1, 40, 0};
    std::string line = MeasurementLine("A", at, 120, 2, hundredSeconds, device);
    EXPECT_EQ(line,
              "          /A:  14.05  Ut= 0120mV  Tm=00-01-40.00  N=00000002  D=00000.020  Cat=N");
    EXPECT_EQ(line.size(), 80u);

    auto d = [&](std::uint32_t count, CountTime time) {
        std::string l = MeasurementLine("A", at, 0, count, time, device);
        return l.substr(l.find("D="));
    };
    EXPECT_EQ(d(6789, hundredSeconds), "D=00067.890  Cat=A");
    EXPECT_EQ(d(5, hundredSeconds), "D=00000.050  Cat=W");
    EXPECT_EQ(d(3, hundredSeconds), "D=00000.030  Cat=W");  // exactly at the warning threshold
    EXPECT_EQ(d(6, hundredSeconds), "D=00000.060  Cat=A");  // exactly at the alarm threshold
    EXPECT_EQ(d(2, hundredSeconds), "D=00000.020  Cat=N");
    EXPECT_EQ(d(100000, {0, 0, 10, 0}), "D=10000.000  Cat=A");
    EXPECT_EQ(d(16777215, {0, 0, 1, 0}), "D=16777215.000  Cat=A");
    EXPECT_EQ(d(0xFFFFFFFFu, {0, 0, 0, 1}), "D=429496729500.000  Cat=A");
    EXPECT_EQ(d(7, {0, 0, 0, 0}), "D=-----.---  Cat=-");
    EXPECT_EQ(MeasurementLine("A", at, 0, 7, {}, device).size(), 80u);

    EXPECT_EQ(UtField(-350), "-0350");
    EXPECT_EQ(UtField(0), " 0000");
    EXPECT_EQ(UtField(4600), " 4600");
    EXPECT_EQ(LabelField("A"), "A:  ");
    EXPECT_EQ(LabelField("AB"), "AB: ");
    EXPECT_EQ(LabelField("ABC"), "ABC:");
    EXPECT_EQ(LabelField("ABCD"), "ABCD");

    // Negative thresholds read as huge unsigned numbers: everything is below them.
    device.warningThreshold = -1;
    EXPECT_EQ(CategoryOf(1'000'000'000, device), 'N');
}

// The reader's check without a division against the writer's rate, over seeded counts and
// times, at the rate, one either side, a rate too large for any count, and one whose product
// with a time of 2^20 hundredths wraps round 64 bits to just below the count.
TEST(Measurements, ARateIsCheckedAsTheWriterComputesIt) {
    std::mt19937_64 random(20261209);
    for (int i = 0; i < 100000; ++i) {
        const std::uint32_t count = i < 2 ? (i == 0 ? 0 : 0xFFFFFFFFu) : random() >> (i % 32);
        const std::uint64_t hundredths =
            i % 7 == 0 ? std::uint64_t{1} << (i / 7 % 21) : random() % 36000000 >> (i % 24);
        const CountTime time{static_cast<std::uint8_t>(hundredths / 360000),
                             static_cast<std::uint8_t>(hundredths / 6000 % 60),
                             static_cast<std::uint8_t>(hundredths / 100 % 60),
                             static_cast<std::uint8_t>(hundredths % 100)};
        const std::uint64_t rate = RateOf(count, time).value_or(0);
        for (std::uint64_t r : {rate - 1, rate, rate + 1, std::uint64_t{999999999999999},
                                (std::uint64_t{1} << 44) + rate})
            ASSERT_EQ(IsRateOf(r, count, hundredths), RateOf(count, time) == r)
                << r << " for " << count << " over " << hundredths;
    }
}

TEST(Labels, RunFromAtThroughZToAaAndOn) {
    std::string label = "@";
    std::vector<std::string> seen;
    for (int i = 0; i < 703; ++i) seen.push_back(label = NextLabel(label));
    EXPECT_EQ(seen[0], "A");
    EXPECT_EQ(seen[25], "Z");
    EXPECT_EQ(seen[26], "AA");
    EXPECT_EQ(seen[27], "AB");
    EXPECT_EQ(seen[51], "AZ");
    EXPECT_EQ(seen[52], "BA");
    EXPECT_EQ(seen[701], "ZZ");
    EXPECT_EQ(seen[702], "AAA");
}

}  // namespace
}  // namespace pulsedesk::reports
