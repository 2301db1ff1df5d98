// Each report line read back as it was written: the writer and the reader share one layout.
#include <gtest/gtest.h>

#include <random>

#include "reports/ReportLine.h"

namespace pulsedesk::reports {
namespace {

TEST(ReportLine, MeasurementLinesReadBackAsWritten) {
    constexpr std::uint32_t kLargestCount = 0xFFFFFFFF;
    const MeasurementFields cases[] = {
        {"A", 0, 0, 0, {0, 0, 10, 0}, 512, 51200, 'W'},
        {"AB", 9, 5, 120, {1, 2, 3, 4}, 1, 0, 'N'},
        {"ABC", 23, 59, -25, {99, 59, 59, 99}, 16777215, 46, 'A'},
        {"ABCD", 12, 30, -4600, {0, 0, 0, 0}, 7, std::nullopt, '-'},
        {"ZZZZ", 1, 1, 4600, {0, 0, 0, 1}, kLargestCount, kLargestCount * 100000ull, 'A'},
    };
    for (const MeasurementFields& f : cases) {
        const std::string line = FormatMeasurementLine(f);
        std::string error;
        const auto back = ParseMeasurementLine(line, error);
        ASSERT_TRUE(back) << line << ": " << error;
        EXPECT_EQ(*back, f) << line;
        EXPECT_TRUE(StartsMeasurementLine(line));
        // A line one column off in any field is no measurement line.
        for (std::size_t at : {line.find("Ut="), line.find("N="), line.find("D=")})
            EXPECT_FALSE(ParseMeasurementLine(std::string(line).insert(at, " "), error)) << line;
    }
}

// The store's own lines are read at their fixed columns, any other by the cursor: a blank at the
// end sends a line to the cursor, which must read it alike, however it was damaged.
TEST(ReportLine, TheFixedColumnsReadAsTheCursorReads) {
    std::mt19937_64 random(2612);
    const std::string labels[] = {"A", "Q", "ZZ", "ABC", "ZZZZ"};
    constexpr std::string_view kDamage = "0123456789 -.:=ANWZ/\xFA\xFF";
    int fast = 0;
    for (int i = 0; i < 200000; ++i) {
        const auto below = [&random](std::uint64_t n) { return random() % n; };
        const std::uint32_t count = static_cast<std::uint32_t>(below(4) == 0 ? random() : below(1e8));
        MeasurementFields f{labels[below(5)],
                            static_cast<int>(below(24)),
                            static_cast<int>(below(60)),
                            static_cast<std::int32_t>(below(9201)) - 4600,
                            {static_cast<std::uint8_t>(below(100)), 1, 2, 3},
                            count,
                            below(8) == 0 ? std::optional<std::uint64_t>() : below(2e8),
                            "NWA-"[below(4)]};
        std::string line = FormatMeasurementLine(f);
        for (auto n = below(3); n-- > 0;) line[below(line.size())] = kDamage[below(kDamage.size())];
        std::string error, cursorError;
        const auto read = ParseMeasurementLine(line, error);
        const auto byCursor = ParseMeasurementLine(line + " ", cursorError);
        ASSERT_EQ(read, byCursor) << line;
        ASSERT_EQ(error, cursorError) << line;
        fast += read && line.size() == 80;
    }
    EXPECT_GT(fast, 30000);  // lines in the fixed columns were among them
}

// A field with a character that is no digit is refused naming the field; a run of digits too
// long, naming what should have followed it.
TEST(ReportLine, AFieldOutOfItsDigitsIsNamed) {
    const std::string line = FormatMeasurementLine({"A", 9, 5, 120, {1, 2, 3, 4}, 512, 5, 'N'});
    // The text put at the field's first digit, over as many characters, or before them.
    const auto put = [&line](const char* field, std::size_t offset, std::string_view text,
                             bool over = true) {
        const std::size_t at = line.find(field) + std::string_view(field).size() + offset;
        return std::string(line).replace(at, over ? text.size() : 0, text);
    };
    const std::pair<std::string, const char*> cases[] = {
        {put("Ut=", 3, "x"), "the threshold"},
        {put("Tm=", 10, "x"), "the hundredths"},
        {put("Tm=", 0, "0", false), "expected - at"},
        {put("N=", 7, "x"), "the count"},
        {put("N=", 0, "000", false), "expected   D="},
        {put("D=", 0, "x"), "the rate"},
        {put("D=", 8, "x"), "the rate"},
    };
    for (const auto& [text, field] : cases) {
        std::string error;
        EXPECT_FALSE(ParseMeasurementLine(text, error)) << text;
        EXPECT_NE(error.find(field), std::string::npos) << text << ": " << error;
    }
}

TEST(ReportLine, DateAndRecordLinesReadBackAsWritten) {
    for (const LineDate d : {LineDate{2026, 12, 7}, LineDate{1999, 1, 31}}) {
        const std::string line = DateLine({.year = d.year, .month = d.month, .day = d.day});
        std::string error;
        EXPECT_TRUE(StartsDateLine(line));
        EXPECT_EQ(ParseDateLine(line, error), d) << line << ": " << error;
        EXPECT_FALSE(ParseDateLine(line.substr(0, line.size() - 1), error)) << "a rule too short";
    }
    for (const std::uint32_t number : {1u, 287u, 999999u, 1000287u}) {
        const std::string line = RecordLine(number, "Soil sample");
        std::string error;
        ASSERT_TRUE(StartsRecordLine(line)) << line;
        EXPECT_EQ(ParseRecordNumber(line, error), number % 1000000u) << line;
        EXPECT_EQ(RecordLinePiece(line), "Soil sample");
        EXPECT_FALSE(IsContinuationLine(line));
    }
    const std::string closing = ContinuationLine(ClosingPiece());
    EXPECT_TRUE(IsContinuationLine(closing));
    EXPECT_EQ(ContinuationPiece(closing), ClosingPiece());
    EXPECT_TRUE(IsHeaderClosingLine(HeaderClosingLine()));
    EXPECT_FALSE(IsHeaderClosingLine(HeaderClosingLine() + "-"));
}

TEST(ReportLine, TheDeviceLineGivesTheInstrumentBack) {
    const DeviceInfo devices[] = {{.firmwareVersion = 15, .modelName = "QEV-C2", .serialNumber = 42},
                                  {.firmwareVersion = 0, .modelName = "System is undefined"},
                                  {.firmwareVersion = 255,
                                   .modelName = "QEV-C1",
                                   .serialNumber = 4294967295u}};
    for (const DeviceInfo& d : devices)
        for (const std::string label : {"Device:", "Прибор, модель:"}) {
            const std::string line = label + DeviceFieldValue(d);
            EXPECT_EQ(ParseDeviceLine(line),
                      (DeviceIdentity{d.modelName, d.serialNumber, d.firmwareVersion}))
                << line;
        }
    for (const char* damaged : {"Device: QEV-C2-N042-Soft-1.5", "Device: QEV-C2-N0042-Soft-1.5x",
                                "Device: QEV-C2-N0042-Soft-25.6", "Device:-N0042-Soft-1.5", ""})
        EXPECT_FALSE(ParseDeviceLine(damaged)) << damaged;
}

}  // namespace
}  // namespace pulsedesk::reports
