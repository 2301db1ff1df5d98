#include "ctl/Series.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>

#include "ctl/StatusText.h"
#include "link/PresetChange.h"
#include "link/StopSignals.h"
#include "link/commands.h"
#include "link/protocol.h"
#include "reports/ReportFormat.h"

namespace pulsedesk::ctl {

namespace lk = pulsedesk::link;
using std::chrono::milliseconds;

namespace {

constexpr milliseconds kPollPeriod{50};      // as the link thread polls a live device
constexpr milliseconds kPauseBetween{1000};  // the panel's wait before the next start
constexpr milliseconds kLinkGrace{2000};     // a longer silence ends the series
// A count that has ended waits this long for a poll with both replies, then ends the series.
constexpr milliseconds kFinalStatusGrace{5000};

// Ends the series after a stop signal: the device's count is stopped first.
void StopIfAsked(Counter& counter) {
    if (const int signal = lk::StopSignalReceived()) {
        counter.Command(StartStopFrame(false), "stop");
        throw Interrupted{signal};
    }
}

// A state in which the count can never finish ends the series.
void CheckStillCounting(const lk::DeviceStatus& s, int number) {
    const std::string unfinished = "; measurement " + std::to_string(number) + " is not written";
    if (s.runFlags & lk::kRunDeviceError)
        throw LinkError("the counter reports error " + std::to_string(s.errorCode) + unfinished);
    if (s.runFlags & lk::kRunBlocked) throw LinkError("the counter is blocked" + unfinished);
    if (s.runFlags & lk::kRunReset) throw LinkError("the counter was reset" + unfinished);
}

// Polls until the count that was just started has finished. The end is taken only from a poll
// whose replies A and B were both accepted, since a rejected reply B leaves an earlier poll's
// count in the status; empty when the counter leaves its finished state before such a poll.
std::optional<Measurement> AwaitFinish(Counter& counter, int number) {
    using Clock = std::chrono::steady_clock;
    auto lastAnswer = Clock::now();
    std::optional<Clock::time_point> endedAt;  // finished, its final count not yet read
    for (;;) {
        StopIfAsked(counter);
        if (counter.Poll()) {
            lastAnswer = Clock::now();
            if (!counter.InControl())
                throw LinkError("control of the counter lapsed during measurement " +
                                std::to_string(number) + "; it is not written");
            const lk::DeviceStatus& s = counter.Status();
            CheckStillCounting(s, number);
            const bool ended = s.CountEnded();
            if (ended && s.replyBFresh) {
                const auto& e = s.elapsedTime;
                return Measurement{s.count,
                                   {e[0], e[1], e[2], e[3]},
                                   lk::ThresholdCodeToMillivolts(s.ThresholdCode())};
            }
            if (endedAt && !ended) return std::nullopt;
            if (ended && !endedAt) endedAt = lastAnswer;
            if (endedAt && lastAnswer - *endedAt > kFinalStatusGrace)
                throw LinkError("the counter did not give its final count of measurement " +
                                std::to_string(number) + "; it is not written");
        } else if (Clock::now() - lastAnswer > kLinkGrace) {
            throw LinkError(counter.Unanswered("the link to the counter was lost") +
                            " during measurement " + std::to_string(number) +
                            "; it is not written");
        }
        lk::PauseUnlessStopped(kPollPeriod);
    }
}

void Prepare(Counter& counter, const MeasureOptions& o) {
    if (o.threshold) {
        counter.Set(SetThresholdFrame(*o.threshold), "the threshold");
        counter.Poll();
    }
    counter.SelectMode(o.mode);
    if (o.time) counter.Set(SetCountTimeFrame(*o.time), "the count time");
    if (o.limit && lk::CountLimitChanges(*o.limit, counter.Status()))
        counter.Set(SetCountLimitFrame(*o.limit), "the count limit");
}

}  // namespace

std::string MeasurementLine(int number, int of, const Measurement& m) {
    char line[160];
    const auto t = static_cast<std::int64_t>(reports::Hundredths(m.time));
    const std::string time =
        ElapsedText({m.time.hours, m.time.minutes, m.time.seconds, m.time.hundredths});
    if (t == 0) {
        std::snprintf(line, sizeof line, "%d/%d count=%u time=%s rate=- sigma=-", number, of,
                      m.count, time.c_str());
    } else {
        // The report's digits of the rate, without its leading zeros.
        std::string rate = reports::RateField(reports::RateOf(m.count, m.time));
        rate.erase(0, std::min(rate.find_first_not_of('0'), rate.find('.') - 1));
        const double seconds = static_cast<double>(t) / 100.0;
        std::snprintf(line, sizeof line, "%d/%d count=%u time=%s rate=%s/s sigma=%.3f/s", number,
                      of, m.count, time.c_str(), rate.c_str(),
                      std::sqrt(static_cast<double>(m.count)) / seconds);
    }
    return line;
}

void RunSeries(Counter& counter, const MeasureOptions& o, reports::ReportStore* store,
               const std::string& description, std::FILE* out) {
    Prepare(counter, o);
    if (store != nullptr) {
        counter.Command(StartStopFrame(false), "stop");  // a study starts with the count stopped
        store->AddRecord(description);
    }
    std::string lost;  // the measurements that ended unwritten
    for (int number = 1; number <= o.repeat; ++number) {
        if (number > 1) lk::PauseUnlessStopped(kPauseBetween);
        StopIfAsked(counter);
        if (!o.sweep.empty()) {
            counter.Command(SetThresholdFrame(o.sweep.at(number - 1)), "the threshold");
            counter.Poll();
        }
        counter.Command(StartStopFrame(true), "start");
        const std::optional<Measurement> m = AwaitFinish(counter, number);
        if (!m) {
            std::fprintf(stderr,
                         "pulsectl: measurement %d was not recorded: the counter left its "
                         "finished state before its final count was read\n",
                         number);
            lost += (lost.empty() ? "" : ", ") + std::to_string(number);
            continue;
        }
        const std::string line = MeasurementLine(number, o.repeat, *m);
        try {
            if (store != nullptr) store->AddMeasurement(m->thresholdMv, m->count, m->time);
        } catch (const reports::ReportError& e) {
            // The count is said, so that the operator can write it down by hand.
            throw reports::ReportError("measurement " + line + " was not written: " + e.what());
        }
        std::fprintf(out, "%s\n", line.c_str());
        std::fflush(out);
    }
    if (!lost.empty()) throw LinkError("not recorded: measurement " + lost);
}

}  // namespace pulsedesk::ctl
