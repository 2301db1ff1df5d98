#include <gtest/gtest.h>

#include "ctl/Series.h"
#include "ctl/StatusText.h"
#include "link/commands.h"

namespace pulsedesk::ctl {
namespace {

namespace lk = pulsedesk::link;

TEST(RunStateName, TheFirstSetBitDecidesInThePanelsOrder) {
    EXPECT_EQ(RunStateName(0), "idle");
    EXPECT_EQ(RunStateName(lk::kRunDeviceError | lk::kRunCounting), "error");
    EXPECT_EQ(RunStateName(lk::kRunReset | lk::kRunCounting), "reset");
    EXPECT_EQ(RunStateName(lk::kRunCounting | lk::kRunFinished), "counting");
    EXPECT_EQ(RunStateName(lk::kRunFinished | lk::kRunBlocked), "finished");
    EXPECT_EQ(RunStateName(lk::kRunBlocked), "blocked");
}

TEST(FlagWords, EveryBitSetInThePanelsOrderAndAsAJsonArray) {
    EXPECT_EQ(FlagWords(0), "");
    EXPECT_EQ(FlagWords(lk::kRunBlocked | lk::kRunFinished), "finished blocked");
    EXPECT_EQ(FlagWords(0xFF), "error reset counting finished blocked");
    EXPECT_EQ(JsonObject({FlagsField(lk::kRunBlocked | lk::kRunFinished), FlagsField(0)}),
              "{\"flags\":[\"finished\",\"blocked\"],\"flags\":[]}");
}

TEST(MeasurementLine, RateAndPoissonUncertaintyPerSecond) {
    EXPECT_EQ(MeasurementLine(2, 3, {400, {0, 0, 10, 0}, 0}),
              "2/3 count=400 time=00:00:10.00 rate=40.000/s sigma=2.000/s");
    EXPECT_EQ(MeasurementLine(1, 1, {16777215, {0, 0, 1, 0}, 0}),
              "1/1 count=16777215 time=00:00:01.00 rate=16777215.000/s sigma=4096.000/s");
    EXPECT_EQ(MeasurementLine(1, 1, {5, {0, 0, 0, 0}, 0}),
              "1/1 count=5 time=00:00:00.00 rate=- sigma=-");
}

TEST(StatusLayouts, TextIsEscapedForJsonAndQuotedForCsv) {
    EXPECT_EQ(JsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\u000a\\u0001\"");
    const std::vector<StatusField> fields{
        {"state", "link lost", true}, {"error_text", "a,\"b\"", true}, {"count", "7"}};
    EXPECT_EQ(JsonObject(fields),
              "{\"state\":\"link lost\",\"error_text\":\"a,\\\"b\\\"\",\"count\":7}");
    EXPECT_EQ(CsvHeader(fields), "state,error_text,count");
    EXPECT_EQ(CsvLine(fields), "link lost,\"a,\"\"b\"\"\",7");
}

}  // namespace
}  // namespace pulsedesk::ctl
