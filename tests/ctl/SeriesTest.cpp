// pulsectl's series in process, against the simulated counter on a clock the test moves: reply B
// goes unanswered from the middle of a count past its end, so the status keeps an earlier count.
#include <gtest/gtest.h>

#include <thread>

#include "ctl/Series.h"
#include "link/commands.h"
#include "support/SimLink.h"
#include "support/TempDir.h"
#include "support/Wait.h"

namespace pulsedesk::ctl {
namespace {

using namespace std::chrono_literals;
using namespace pulsedesk::testing;

struct SeriesTest : ::testing::Test {
    ManualClock clock;
    sim::DeviceModel device{{}, 200, 7, [this] { return clock.Now(); }};
    std::unique_ptr<TSerialSim> owned = std::make_unique<TSerialSim>(device);
    TSerialSim* line = owned.get();
    Counter counter{std::move(owned)};
    TempDir dir;
    std::FILE* out = std::fopen(dir.File("out").c_str(), "w");
    std::string failure;
    std::thread series;

    void TearDown() override {
        if (series.joinable()) series.join();
        std::fclose(out);
    }
    template <class F>
    auto Device(F f) {
        decltype(f(device)) result{};
        line->WithDevice([&](sim::DeviceModel& d) { result = f(d); });
        return result;
    }
    // A series of 10 s counts; the count is 5 s in when reply B falls silent, and has ended at
    // a count above the last one read once the series has polled it a few times.
    std::uint32_t StartAndEndWithReplyBSilent(int repeat) {
        series = std::thread([this, repeat] {
            MeasureOptions o;
            o.mode = 1;
            o.time = ClockTime{0, 0, 10};
            o.repeat = repeat;
            try {
                RunSeries(counter, o, nullptr, "", out);
            } catch (const LinkError& e) {
                failure = e.what();
            }
        });
        EXPECT_TRUE(WaitUntil([&] { return Device([](auto& d) { return d.Counting(); }); }));
        clock.Advance(5000);
        PollsPass(2);
        Device([](auto& d) { return d.faults().noReplyB = true; });
        clock.Advance(5000);
        PollsPass(3);
        EXPECT_FALSE(Device([](auto& d) { return d.Counting(); }));
        return Device([](auto& d) { return d.Count(); });
    }
    void PollsPass(int polls) {
        const int until = line->ExchangeCount() + 2 * polls;
        EXPECT_TRUE(WaitUntil([&] { return line->ExchangeCount() >= until; }));
    }
    std::string Printed() const { return ReadBytes(dir.File("out")); }
    static std::string Line(int number, int of, std::uint32_t count) {
        return MeasurementLine(number, of, {count, {0, 0, 10, 0}, 120}) + "\n";
    }
};

TEST_F(SeriesTest, AnEndedCountWaitsForReplyBAndIsTakenWithItsFinalCount) {
    const std::uint32_t final = StartAndEndWithReplyBSilent(1);
    EXPECT_EQ(Printed(), "") << "no count from an earlier poll";
    Device([](auto& d) { return d.faults().noReplyB = false; });
    series.join();
    EXPECT_EQ(Printed(), Line(1, 1, final));
    EXPECT_EQ(failure, "");
}

TEST_F(SeriesTest, ACountLeftBeforeReplyBReturnsIsNotRecordedAndTheSeriesGoesOn) {
    ::testing::internal::CaptureStderr();
    StartAndEndWithReplyBSilent(2);
    const std::uint8_t clear[] = {0x01, link::ClearFinished};
    Device([&](auto& d) {
        d.Handle(clear, sizeof clear);
        return d.faults().noReplyB = false;
    });
    EXPECT_TRUE(WaitUntil([&] { return Device([](auto& d) { return d.Counting(); }); }));
    clock.Advance(10000);
    series.join();
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("measurement 1 was not recorded"), std::string::npos) << err;
    EXPECT_EQ(Printed(), Line(2, 2, Device([](auto& d) { return d.Count(); })));
    EXPECT_EQ(failure, "not recorded: measurement 1") << "the exit status says failure";
}

TEST_F(SeriesTest, AReplyBThatNeverReturnsEndsTheSeriesWithoutALine) {
    StartAndEndWithReplyBSilent(1);
    series.join();
    EXPECT_EQ(failure, "the counter did not give its final count of measurement 1; it is not written");
    EXPECT_EQ(Printed(), "");
}

}  // namespace
}  // namespace pulsedesk::ctl
