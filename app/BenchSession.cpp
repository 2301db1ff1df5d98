#include "app/BenchSession.h"

#include <cstdio>

#include "config/ConfigNumber.h"
#include "config/Cp1251.h"
#include "link/Identify.h"
#include "link/PresetChange.h"
#include "link/RunFlags.h"
#include "reports/ReportStore.h"

namespace pulsedesk::app {

using config::ConfigSection;
namespace keys = config::keys;
namespace frames = link::frames;

namespace {

bool SeriesMode(std::uint8_t mode) { return mode == 1 || mode == 3; }

bool DeviceFaultIn(const link::DeviceStatus& s) {
    return s.replyAFresh && (s.runFlags & (link::kRunDeviceError | link::kRunBlocked)) != 0;
}

std::int32_t ConfigInteger(const std::string& text, std::int32_t otherwise) {
    std::int32_t value = otherwise;
    return config::ParseIntegerText(text, value) ? value : otherwise;
}

}  // namespace

BenchSession::BenchSession(SessionEnvironment environment, SessionEvents sink)
    : env(std::move(environment)),
      events(std::move(sink)),
      grant(env.shared),
      storeKeeper([this] { return MakeReportStore(); },
                  [this](const std::string& text) { Tell(SessionEventKind::StoreError, text); }) {
    series.Configure(ConfigInteger(ConfigText(keys::kRepeatCounter), 3));
    linkSeen = !(env.channel && env.channel->IsConnected());
    IdentifyDevice();
}

BenchSession::~BenchSession() { Close(); }

void BenchSession::Close() {
    if (grant.StudyOpen()) grant.CloseStudy();
    storeKeeper.Release();
}

std::string BenchSession::ConfigText(std::string_view key) const {
    return env.config.ReadConfigString(ConfigSection::SYSTEM, key);
}

void BenchSession::Tell(SessionEventKind kind, const std::string& text) const {
    if (events) events({kind, text});
}

const SessionView& BenchSession::OnPoll(const link::DeviceStatus& polled, bool alive,
                                        std::int64_t now) {
    status = polled;
    grant.OnPoll(status);
    endOfCount.SetPollTime(now * 1000 / env.ticks.frequency);
    const RunState before = runState;
    if (RunTimedTransitions(now)) {
        lastStamp = now;
        runState = NextRunState(runState, status.runFlags);
    }
    TakeMeasuredValues();
    // A series' next start sent just now: this status was polled before it, and tells nothing
    // of the new count.
    const bool startedNow = before == RunState::RepeatWait && runState == RunState::Starting;
    if (!startedNow) FollowEndOfCount(alive, now);
    if (alive != linkSeen) FollowLinkChange(alive, now);
    if (linkSeen) storeKeeper.RetryIfDue(now, 5 * env.ticks.frequency);
    MakeView(alive);
    return view;
}

// False while a timed state waits: the run-state rules are then not looked at.
bool BenchSession::RunTimedTransitions(std::int64_t now) {
    const std::int64_t frequency = env.ticks.frequency;
    if (runState == RunState::Starting) {
        if (!(status.runFlags & link::kRunCounting) && now < lastStamp + frequency / 10)
            return false;
        runState = RunState::Counting;
        return true;
    }
    if (runState != RunState::RepeatWait) return true;
    if (!series.AnotherFollows() || !SeriesMode(status.Mode())) {
        runState = RunState::Done;
        EndSeries();
        return true;
    }
    // A count started at the device's keys during the pause is the series' next: followed, and
    // not restarted by a start of ours.
    if (status.replyAFresh && (status.runFlags & link::kRunCounting)) {
        series.Started();
        runState = RunState::Counting;
        return true;
    }
    if (now < lastStamp + frequency) return false;
    // A start that did not reach the device is sent again at the next poll: otherwise the
    // series would stop, or the previous count's finished bit would pass for a new end.
    if (!SendStart()) return false;
    series.Started();
    // This status was polled before the start: its finished bit is the last count's, and would
    // leave the session Done, blind to the new count if the link failed before the next poll.
    runState = RunState::Starting;
    lastStamp = now;
    return false;
}

// The digits follow the device in every state but Idle, an error or a block included.
void BenchSession::TakeMeasuredValues() {
    if (runState == RunState::Idle) {
        view.count = 0;
        view.elapsed = {};
        elapsedHundredths = 0;
        view.progress = 0;
        return;
    }
    if (!status.replyAFresh) return;
    view.count = status.count;
    view.elapsed = status.elapsedTime;
    elapsedHundredths = status.ElapsedHundredths();
    view.progress = ProgressOf(status.Mode(), view.count, status.countLimit, elapsedHundredths,
                               status.CountTimeHundredths(), view.progress);
}

// The end of a count is taken only from a poll that shows it whole (EndOfCount); until then
// the session waits, with no line and no next start of a series. Without a study nothing is
// followed: nothing would be written.
// Another count on the device ends the one followed first, whatever the run state says (an
// error hides the counting bit from it): one poll may so tell of two counts.
void BenchSession::FollowEndOfCount(bool alive, std::int64_t now) {
    if (StudyOpen()) Act(Noting(endOfCount.AnotherCountRuns(status, alive)), now);
    Act(Noting(EndOfCountVerdict(alive)), now);
    endOfCount.AfterPoll(status, alive);
}

// A new count ends what the operator was told of the last.
link::EndVerdict BenchSession::Noting(link::EndVerdict verdict) {
    if (endOfCount.CountsBegun() != countsSeen) countLost = false;
    countsSeen = endOfCount.CountsBegun();
    return verdict;
}

void BenchSession::Act(link::EndVerdict verdict, std::int64_t now) {
    if (verdict == link::EndVerdict::Record && RecordMeasurement()) ContinueSeries(now);
    if (verdict == link::EndVerdict::Lost) ReportNotRecorded(LossText());
}

link::EndVerdict BenchSession::EndOfCountVerdict(bool alive) {
    const bool finished = runState == RunState::Finished;
    if (finished) runState = RunState::Done;
    if (!StudyOpen()) {
        endOfCount.Forget();
        return link::EndVerdict::None;
    }
    // A fresh reply A shows the fault as it is, even at the first poll after a failed one.
    if (DeviceFaultIn(status)) {
        if (endOfCount.DeviceFault(status) == link::EndVerdict::Lost) return link::EndVerdict::Lost;
    }
    if (runState == RunState::Counting) return endOfCount.WhileCounting(status, alive);
    if (runState == RunState::Starting) return link::EndVerdict::None;  // not shown yet
    if (finished) return endOfCount.Finished(status, alive, DeviceFaultIn(status));
    if (endOfCount.IsPending()) return endOfCount.FollowPending(status, alive);
    return endOfCount.LeftCounting();
}

// Written with the count and time of the poll that proved the end, which may be later than the
// poll that first showed it: the panel shows what was written.
bool BenchSession::RecordMeasurement() {
    // A count that ran while another program held control of a shared counter may be that
    // program's doing: it is neither written nor repeated.
    if (!grant.CountIsOurs()) {
        ReportNotRecorded("управление прибором переходило к другой программе во время счёта.");
        return false;
    }
    reports::ReportStore* store = storeKeeper.Store();
    if (store == nullptr) {
        ReportNotRecorded("нет доступа к папке отчётов.");
        return false;
    }
    const auto& e = status.elapsedTime;
    const reports::CountTime time{e[0], e[1], e[2], e[3]};
    try {
        // The device's threshold of the poll that proved the end: the track bar may be held by
        // the operator, or show 0 while the link was down.
        store->AddMeasurement(link::ThresholdCodeToMillivolts(status.ThresholdCode()),
                              status.count, time);
    } catch (const reports::ReportError& error) {
        ReportNotRecorded(MeasurementText(status.count, time) + ": " + error.what());
        return false;
    }
    Tell(SessionEventKind::MeasurementWritten, {});
    try {
        if (specialText != nullptr) store->SaveSpecialText(status.count, *specialText);
    } catch (const reports::ReportError& error) {
        Tell(SessionEventKind::StoreError, error.what());
    }
    return true;
}

// The count and time of a measurement, as its report line would have shown them.
std::string BenchSession::MeasurementText(std::uint32_t count, const reports::CountTime& time) {
    char text[64];
    std::snprintf(text, sizeof text, "счёт %u за %02u:%02u:%02u.%02u", count,
                  unsigned{time.hours}, unsigned{time.minutes}, unsigned{time.seconds},
                  unsigned{time.hundredths});
    return text;
}

void BenchSession::ContinueSeries(std::int64_t now) {
    if (!seriesStopped && series.AnotherFollows() && SeriesMode(status.Mode())) {
        runState = RunState::RepeatWait;
        lastStamp = now;
    } else {
        EndSeries();
    }
}

// One event per lost count (the panel's boxes queue, one open at a time); the series ends
// there, since the operator has to decide how to make up for it.
void BenchSession::ReportNotRecorded(const std::string& why) {
    countLost = true;
    EndSeries();
    if (runState == RunState::RepeatWait) runState = RunState::Done;
    Tell(SessionEventKind::MeasurementNotRecorded, "Измерение не записано в отчёт: " + why);
}

std::string BenchSession::LossText() const {
    switch (endOfCount.Reason()) {
        case link::LossReason::LinkLost:
            return "связь с прибором прерывалась во время счёта, и прибор больше не показывает "
                   "этот счёт законченным.";
        case link::LossReason::LeftFinished:
            return "прибор вышел из состояния «счёт окончен» раньше, чем были получены его "
                   "окончательные показания.";
        case link::LossReason::GapTooLong:
            return "связь с прибором прерывалась дольше, чем длится счёт: законченный счёт, "
                   "который показывает прибор, мог быть уже другим.";
        case link::LossReason::Fault:
            break;
    }
    if (status.runFlags & link::kRunDeviceError)
        return "во время счёта прибор сообщил об ошибке: " +
               config::Cp1251ToUtf8(
                   env.messages.GetMessage(config::MessageKind::Error, status.errorCode));
    return "во время счёта прибор сообщил о блокировке.";
}

void BenchSession::FollowLinkChange(bool alive, std::int64_t now) {
    linkSeen = alive;
    IdentifyDevice();
    if (alive) storeKeeper.Create(now);
}

std::unique_ptr<reports::ReportStore> BenchSession::MakeReportStore() {
    std::string folder = config::Cp1251ToUtf8(ConfigText(keys::kWorkFolder));
    if (folder.empty()) folder = env.defaultWorkFolder;
    return std::make_unique<reports::ReportStore>(
        folder, deviceInfo,
        [this](const std::string& key) {
            return env.config.ReadConfigString(ConfigSection::Head_Line, key);
        },
        env.localTime);
}

void BenchSession::IdentifyDevice() {
    if (!env.channel || !env.channel->IsConnected()) {
        title = "System is undefined";
        return;
    }
    const std::optional<link::Identity> identity = link::Identify(*env.channel);
    if (!identity) return;
    deviceInfo = reports::DeviceInfo::Identified(identity->modelName, identity->firmwareVersion,
                                                 identity->serialNumber, env.config);
    systemType = identity->systemType;
    title = deviceInfo.modelName;
}

void BenchSession::MakeView(bool alive) {
    const bool blocked = (status.runFlags & link::kRunBlocked) != 0;
    const bool fault = (status.runFlags & link::kRunDeviceError) != 0 || blocked || !alive;
    view.facts = PanelFacts{alive,     fault,    StudyOpen(),  Store() != nullptr,
                            runState,  status.Mode(), series.Left(),
                            blocked,   countLost, !grant.Holder().empty()};
    view.errorCode = status.errorCode;
    view.countLimit = status.countLimit;
}

void BenchSession::PollNow() {
    if (env.channel) env.channel->PollNow();
}

// On a shared counter each command is sent under control (kept during a study, else taken and
// given back); refused, nothing is sent and the label names the holder.
bool BenchSession::Send(const frames::Frame& frame) {
    if (!env.channel) return false;
    link::CommandControl control(grant);
    if (!control) return false;
    return static_cast<bool>(env.channel->SendCommand(frame));
}

// An answered start begins the count that the session follows from then on, even one that a
// stop or an error ends before any poll shows it running.
bool BenchSession::SendStart() {
    if (!Send(frames::StartStopFrame(true))) return false;
    if (StudyOpen()) Act(Noting(endOfCount.StartSent(status.Mode())), env.ticks.now());
    return true;
}

// Only a start the device answered puts the session in Starting, so that a finished bit left
// from the previous count is never taken for the end of this one.
void BenchSession::Start() {
    countLost = false;
    seriesStopped = false;
    if (SendStart()) runState = RunState::Starting;
    PollNow();
}

// A stop ends the series, during its pause or during a count: the count it ends is written as
// counted so far, and no new series starts a second later with a refilled repeat counter.
bool BenchSession::Stop() {
    seriesStopped = true;
    const bool answered = Send(frames::StartStopFrame(false));
    // A start was answered, so a count runs, however young: the stop's poll shows its end.
    if (answered && runState == RunState::Starting) runState = RunState::Counting;
    EndSeries();
    if (runState == RunState::RepeatWait) runState = RunState::Done;
    PollNow();
    return answered;
}

bool BenchSession::SelectMode(std::uint8_t mode, const link::DeviceStatus& current) {
    const link::ModeChange change = link::ModeChangeTo(mode, current);
    if (change.clearFinished) Send(frames::ClearFinishedFrame());
    if (!change.sendMode) return true;
    if (!env.channel) return false;
    link::CommandControl control(grant);
    if (!control) return false;
    if (!link::ModeAccepted(env.channel->SendCommand(frames::SetModeFrame(mode)))) return false;
    PollNow();
    return true;
}

void BenchSession::SetCountLimit(std::uint32_t limit, const link::DeviceStatus& current) {
    if (link::CountLimitChanges(limit, current)) Send(frames::SetCountLimitFrame(limit));
}

void BenchSession::ConfigureRepeat(int repeatCount) { series.Configure(repeatCount); }

// A count followed when the study closes can no longer be written: said, not dropped.
void BenchSession::NewRecord() {
    if (grant.StudyOpen() && (endOfCount.IsCounting() || endOfCount.IsPending()))
        ReportNotRecorded("исследование закрыто раньше, чем закончился счёт.");
    endOfCount.Forget();
    CloseStudy();
    storeKeeper.Create(env.ticks.now());
}

void BenchSession::CloseStudy() {
    grant.CloseStudy();
    storeKeeper.LetGo();
}

// The stop goes out under a command's control, before the study keeps it: its poll must not
// take a count that was running for the study about to begin.
bool BenchSession::PrepareStudy() {
    if (!storeKeeper.Hold(env.ticks.now())) return false;
    bool opened = false;
    {
        link::CommandControl control(grant);
        // A shared counter held by another program: no stop is sent and no record written.
        // Only over a stopped counter: a stop lost on a failing link may leave an earlier count
        // running, which the study would then take for its own.
        if (control && Stop()) opened = grant.OpenStudy().Allowed();
    }
    if (!opened) storeKeeper.LetGo();
    return opened;
}

// A refused record closes the study again, so that the retry writes what was typed.
bool BenchSession::OpenStudy(const std::string& descriptionCp1251) {
    reports::ReportStore* store = storeKeeper.Store();
    if (store == nullptr) {
        CloseStudy();
        return false;
    }
    try {
        store->AddRecord(descriptionCp1251);
        countLost = false;
        return true;
    } catch (const reports::ReportError& e) {
        CloseStudy();
        Tell(SessionEventKind::StoreError, e.what());
        return false;
    }
}

}  // namespace pulsedesk::app
