#include <gtest/gtest.h>

#include <functional>
#include <future>

#include "link/tser.h"
#include "support/SimLink.h"
#include "support/Wait.h"

namespace pulsedesk::link {
namespace {

using namespace std::chrono_literals;
using testing::ManualClock;
using testing::TSerialSim;
using testing::WaitUntil;

// A transport whose replies the test writes by hand: a function of the request.
class TSerialScripted final : public TSerial {
  public:
    using Script = std::function<std::vector<std::uint8_t>(const std::vector<std::uint8_t>&)>;
    explicit TSerialScripted(Script s) : script(std::move(s)) { OpenAndStart(); }
    ~TSerialScripted() override { StopPolling(); }
    std::atomic<int> exchanges{0};
    LinkMutex& Mutex() { return linkMutex; }

  protected:
    bool OpenTransport() override { return true; }
    int Exchange(const std::uint8_t* request, std::uint8_t length, std::uint8_t capacity,
                 std::uint8_t* reply) override {
        ++exchanges;
        const auto r = script({request, request + length});
        const std::size_t n = std::min<std::size_t>(r.size(), capacity);
        std::copy_n(r.begin(), n, reply);
        return static_cast<int>(n);
    }

  private:
    Script script;
};

std::vector<std::uint8_t> ReplyA(std::uint8_t run, std::uint8_t error) {
    return {0x09, 0xA8, run, 0x01, 0x00, error, 0, 1, 2, 3};
}
std::vector<std::uint8_t> ReplyB() {
    return {0x0F, 0xB1, 0x08, 0x30, 0x00, 0x01, 0x02, 7, 8, 9, 0xFF, 0xFF, 0xFF, 1, 2, 3};
}

class CountingListener : public StatusListener {
  public:
    explicit CountingListener(bool visible) : visible(visible) {}
    bool IsListening() const override { return visible.load(); }
    void OnStatusPolled() override { ++notified; }
    std::atomic<bool> visible;
    std::atomic<int> notified{0};
};

struct SimFixture : ::testing::Test {
    ManualClock clock;
    sim::DeviceModel device{sim::Identity{}, 50.0, 7, [this] { return clock.Now(); }};
};

TEST_F(SimFixture, PollsDecodeBothRepliesAndKeepConnected) {
    TSerialSim link(device);
    ASSERT_TRUE(link.IsConnected());
    link.WithDevice([](sim::DeviceModel& d) {
        const std::uint8_t start[] = {0x02, StartStop, 1};
        d.Handle(start, 3);
    });
    clock.Advance(2000);
    ASSERT_TRUE(WaitUntil([&] {
        auto s = link.TryCopyStatus();
        return s && (s->runFlags & kRunCounting) && s->count > 0;
    }));
    auto s = link.TryCopyStatus();
    ASSERT_TRUE(s);
    EXPECT_EQ(s->ThresholdCode(), 2096);
    EXPECT_EQ(s->countLimit, 1000u);
    EXPECT_EQ(s->countTime[1], 1);  // 100 s = 0:01:40
    EXPECT_EQ(s->countTime[2], 40);
    EXPECT_EQ(s->elapsedTime[2], 2);
    EXPECT_TRUE(link.IsConnected());
}

TEST_F(SimFixture, DeviceWithoutReplyBStaysConnectedWithLastValuesAndNoError) {
    TSerialSim link(device);
    ASSERT_TRUE(WaitUntil([&] {
        auto s = link.TryCopyStatus();
        return s && s->countLimit == 1000;
    }));
    link.WithDevice([](sim::DeviceModel& d) {
        d.faults().noReplyB = true;
        d.faults().errorCode = 5;
        const std::uint8_t limit[] = {0x04, SetCountLimit, 0, 0, 50};
        d.Handle(limit, 5);
    });
    const int before = link.ExchangeCount();
    ASSERT_TRUE(WaitUntil([&] { return link.ExchangeCount() > before + 4; }));
    std::optional<DeviceStatus> s;  // empty while a poll holds the line
    ASSERT_TRUE(WaitUntil([&] { return (s = link.TryCopyStatus()).has_value(); }));
    EXPECT_TRUE(link.IsConnected());
    EXPECT_EQ(s->countLimit, 1000u);  // the 50 never arrived
    EXPECT_EQ(s->errorCode, 0);
    EXPECT_EQ(s->runFlags & kRunDeviceError, 0);
    EXPECT_TRUE(s->replyAFresh);
    EXPECT_FALSE(s->replyBFresh);  // the count shown is an earlier poll's
    link.WithDevice([](sim::DeviceModel& d) { d.faults().noReplyB = false; });
    ASSERT_TRUE(WaitUntil([&] {
        auto t = link.TryCopyStatus();
        return t && t->replyBFresh && t->countLimit == 50;
    }));
}

TEST_F(SimFixture, RejectedReplyAClearsRunFlagsAndDisconnects) {
    TSerialSim link(device);
    ASSERT_TRUE(WaitUntil([&] {
        auto s = link.TryCopyStatus();
        return s && s->runFlags != 0;
    }));
    link.WithDevice([](sim::DeviceModel& d) { d.faults().wrongReplyCode = true; });
    ASSERT_TRUE(WaitUntil([&] { return !link.IsConnected(); }));
    EXPECT_EQ(link.TryCopyStatus()->runFlags, 0);
    link.WithDevice([](sim::DeviceModel& d) { d.faults().wrongReplyCode = false; });
    EXPECT_TRUE(WaitUntil([&] { return link.IsConnected(); }));
}

TEST(Poll, ErrorBitFollowsErrorCodeOnly) {
    std::atomic<std::uint8_t> run{0x80}, error{0};
    TSerialScripted link([&](const std::vector<std::uint8_t>& rq) {
        return rq[1] == ReadStatusA ? ReplyA(run, error) : ReplyB();
    });
    ASSERT_TRUE(WaitUntil([&] { return link.exchanges > 2; }));
    auto s = link.TryCopyStatus();
    ASSERT_TRUE(WaitUntil([&] {
        s = link.TryCopyStatus();
        return s.has_value();
    }));
    EXPECT_EQ(s->runFlags, 0x00);  // the device's own bit 7 is ignored
    EXPECT_EQ(s->count, 258u);
    EXPECT_EQ(s->countLimit, 16777215u);
    EXPECT_EQ(s->replyBSpare[2], 9);
    run = 0x20;
    error = 5;
    ASSERT_TRUE(WaitUntil([&] {
        s = link.TryCopyStatus();
        return s && s->errorCode == 5;
    }));
    EXPECT_EQ(s->runFlags, 0xA0);
}

TEST(Poll, ZeroByteAndCutShortRepliesAreNeverAccepted) {
    std::atomic<int> cut{10};
    TSerialScripted link([&](const std::vector<std::uint8_t>& rq) {
        auto r = rq[1] == ReadStatusA ? ReplyA(0x20, 0) : ReplyB();
        r.resize(r.size() > std::size_t(cut) ? r.size() - cut : 0);
        return r;
    });
    ASSERT_TRUE(WaitUntil([&] { return link.exchanges > 2; }));
    EXPECT_FALSE(link.IsConnected());
    const CommandReply reply = link.SendCommand(0x01, {ClearFinished});
    EXPECT_FALSE(reply);  // 6 bytes under a header of 15
    EXPECT_EQ(reply.replyLength, 6);
}

TEST(Threads, CommandDuringPollWaitsForTheMutexAndGetsOnlyItsOwnReply) {
    std::promise<void> pollEntered;
    std::promise<void> releasePoll;
    auto release = releasePoll.get_future().share();
    std::atomic<bool> first{true};
    TSerialScripted link([&](const std::vector<std::uint8_t>& rq) -> std::vector<std::uint8_t> {
        if (rq[1] == ReadStatusA) {
            if (first.exchange(false)) {
                pollEntered.set_value();
                release.wait();
            }
            return ReplyA(0x20, 0);
        }
        if (rq[1] == ReadStatusB) return ReplyB();
        return {0x01, 0xE0};
    });
    pollEntered.get_future().wait();
    auto command = std::async(std::launch::async, [&] {
        return link.SendCommand(0x02, {SetMode, 2});
    });
    EXPECT_EQ(command.wait_for(100ms), std::future_status::timeout);  // waits for the poll
    releasePoll.set_value();
    const CommandReply reply = command.get();
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply.replyLength, 2);
    EXPECT_EQ(reply.Byte(1), 0xE0);
}

TEST(Threads, BusyMutexFailsThePollWithoutTouchingTheLine) {
    TSerialScripted link([](const std::vector<std::uint8_t>& rq) {
        return rq[1] == ReadStatusA ? ReplyA(0x20, 0) : ReplyB();
    });
    ASSERT_TRUE(WaitUntil([&] { return link.exchanges > 2; }));
    int during = 0;
    {
        std::lock_guard hold(link.Mutex());
        const int before = link.exchanges;
        EXPECT_TRUE(WaitUntil([&] { return !link.IsConnected(); }, 3s));
        during = link.exchanges - before;
    }
    EXPECT_EQ(during, 0);
    EXPECT_TRUE(WaitUntil([&] { return link.IsConnected(); }));
}

TEST(Threads, OnlyTheLinkThreadsPollsChangeConnected) {
    std::atomic<bool> answer{true};
    TSerialScripted link([&](const std::vector<std::uint8_t>& rq) -> std::vector<std::uint8_t> {
        if (!answer) return {};
        return rq[1] == ReadStatusA ? ReplyA(0x20, 0) : ReplyB();
    });
    ASSERT_TRUE(WaitUntil([&] { return link.exchanges > 2; }));
    link.Terminate();
    link.WaitFor();
    ASSERT_TRUE(link.IsConnected());
    answer = false;
    EXPECT_FALSE(link.PollNow());
    EXPECT_TRUE(link.IsConnected());
}

TEST(Lifecycle, TerminateAndWaitForReturnWithinOnePollAndOneSleep) {
    TSerialScripted link(
        [](const std::vector<std::uint8_t>&) { return std::vector<std::uint8_t>{}; });
    ASSERT_TRUE(WaitUntil([&] { return !link.IsConnected(); }));  // now in its 250 ms sleeps
    const auto t0 = std::chrono::steady_clock::now();
    link.Terminate();
    link.WaitFor();
    EXPECT_TRUE(link.IsFinished());
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 1s);
}

TEST_F(SimFixture, FailedOpenNeverStartsPolling) {
    auto link = std::make_unique<TSerialSim>(device, /*openFails=*/true);
    EXPECT_FALSE(link->IsConnected());
    EXPECT_TRUE(link->IsFinished());
    std::this_thread::sleep_for(20ms);  // would be time for a poll if a thread ran
    EXPECT_EQ(link->ExchangeCount(), 0);
    link.reset();  // returns at once: nothing to wait for
}

TEST_F(SimFixture, NotificationsOnlyWhileTheWindowIsVisible) {
    CountingListener listener(false);
    TSerialSim link(device);
    link.SetListener(&listener);
    const int before = link.ExchangeCount();
    ASSERT_TRUE(WaitUntil([&] { return link.ExchangeCount() > before + 6; }));
    EXPECT_EQ(listener.notified, 0);
    listener.visible = true;
    EXPECT_TRUE(WaitUntil([&] { return listener.notified > 2; }));
    link.SetListener(nullptr);
}

TEST_F(SimFixture, NotificationComesAfterTheMutexIsReleased) {
    struct ProbeListener : StatusListener {
        TSerial* link = nullptr;
        std::atomic<int> idleSeenFromOtherThread{0}, calls{0};
        bool IsListening() const override { return true; }
        void OnStatusPolled() override {
            ++calls;
            // The notifying thread may hold the recursive mutex without it showing here,
            // so ask from another thread.
            if (std::async(std::launch::async, [this] { return link->TryCopyStatus(); }).get())
                ++idleSeenFromOtherThread;
        }
    } probe;
    TSerialSim link(device);
    probe.link = &link;
    link.SetListener(&probe);
    ASSERT_TRUE(WaitUntil([&] { return probe.calls > 3; }));
    link.SetListener(nullptr);
    link.Terminate();
    link.WaitFor();
    EXPECT_EQ(probe.idleSeenFromOtherThread.load(), probe.calls.load());
}

TEST_F(SimFixture, MalformedCommandIsNeverSent) {
    TSerialSim link(device);
    link.Terminate();
    link.WaitFor();
    const int before = link.ExchangeCount();
    EXPECT_FALSE(link.SendCommand(0x03, {SetThreshold, 8}));
    EXPECT_EQ(link.ExchangeCount(), before);
    EXPECT_TRUE(link.SendCommand(0x02, {StartStop, 0x101}));
    EXPECT_EQ(link.Requests().back(), (std::vector<std::uint8_t>{0x02, 0x41, 0x01}));
}

}  // namespace
}  // namespace pulsedesk::link

namespace pulsedesk::link {
namespace {

TEST(LinkMutexTest, OwnerMayTakeItAgainOthersWaitUntilFullyReleased) {
    LinkMutex m;
    m.lock();
    ASSERT_TRUE(m.try_lock());  // recursive for its owner
    auto other = [&] {
        return std::async(std::launch::async, [&] { return m.try_lock_for(20ms); }).get();
    };
    EXPECT_FALSE(other());
    m.unlock();
    EXPECT_FALSE(other());  // still held once
    m.unlock();
    EXPECT_TRUE(other());  // the other thread now owns it
    EXPECT_FALSE(m.try_lock());
}

}  // namespace
}  // namespace pulsedesk::link
