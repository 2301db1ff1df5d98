// BenchSession: the bench's measurement session without a window. It follows the counter's
// status after every poll (the run-state machine, the end of a count, control of a shared
// counter, automatic repeats, the link coming and going), keeps the study and the report store,
// carries out the operator's intents, and says what the panel must show. Every finished count
// it followed during a study is either written or reported as not recorded, with the reason.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/PanelRules.h"
#include "app/ReportStoreKeeper.h"
#include "app/SeriesCounter.h"
#include "app/TickClock.h"
#include "config/ConfigFile.h"
#include "config/MessageFile.h"
#include "link/CommandChannel.h"
#include "link/ControlGrant.h"
#include "link/DeviceStatus.h"
#include "link/EndOfCount.h"
#include "reports/DeviceInfo.h"
#include "reports/LocalTime.h"
#include "reports/ReportFormat.h"
#include "reports/SpecialTextOption.h"

namespace pulsedesk::app {

enum class SessionEventKind : std::uint8_t {
    MeasurementWritten,
    MeasurementNotRecorded,  // text: why, in the operator's words
    StoreError,              // text: the report store's refusal
};
struct SessionEvent {
    SessionEventKind kind;
    std::string text;  // UTF-8
};
using SessionEvents = std::function<void(const SessionEvent&)>;

struct SessionEnvironment {
    link::CommandChannel* channel = nullptr;  // null: no link, nothing is sent
    link::SharedControl* shared = nullptr;    // null: alone on its port
    const config::ConfigFile& config;
    const config::MessageFile& messages;
    std::string defaultWorkFolder;  // with its trailing "/", for an empty "Work_Folder"
    TickClock ticks;
    reports::Clock localTime;
};

// What the panel draws and enables after a poll.
struct SessionView {
    PanelFacts facts;
    std::uint8_t errorCode = 0;
    std::uint32_t count = 0;
    std::array<std::uint8_t, 4> elapsed{};  // hours, minutes, seconds, hundredths
    std::uint32_t countLimit = 0;
    std::uint8_t progress = 0;
};

class BenchSession {
  public:
    BenchSession(SessionEnvironment environment, SessionEvents events);
    ~BenchSession();
    BenchSession(const BenchSession&) = delete;
    BenchSession& operator=(const BenchSession&) = delete;

    // Every polled status; alive: whether the link answers; now on the tick clock.
    const SessionView& OnPoll(const link::DeviceStatus& status, bool alive, std::int64_t now);
    const SessionView& View() const { return view; }

    // The operator's intents.
    void Start();  // ПУСК
    bool Stop();   // СТОП: also ends the series; false when the device did not answer
    // From the device's status of this moment; false when the device kept its mode (refused,
    // or not answered).
    bool SelectMode(std::uint8_t mode, const link::DeviceStatus& current);
    void NewRecord();  // СОЗДАТЬ НОВУЮ ЗАПИСЬ: the study closes
    // НАЧАТЬ ИССЛЕДОВАНИЕ in two steps, so that the panel reads the description in between:
    // Prepare makes the store, takes control and stops the device; false changes nothing.
    bool PrepareStudy();
    // Writes the record; false when it was refused (the event names why).
    bool OpenStudy(const std::string& descriptionCp1251);
    // Sent only when it differs from the device's limit in its status of this moment.
    void SetCountLimit(std::uint32_t limit, const link::DeviceStatus& current);
    void ConfigureRepeat(int repeatCount);
    // Any other command, under control of a shared counter.
    bool Send(const link::frames::Frame& frame);
    // The special-format file's switch, once the settings dialog exists.
    void SetSpecialText(const reports::SpecialTextOption* option) { specialText = option; }
    // The panel closes: control goes back while the link still exists, the store is released.
    void Close();

    // The status of the last poll, and the link's reply channel, for the panel's dialogs.
    const link::DeviceStatus& LastStatus() const { return status; }
    RunState State() const { return runState; }
    bool StudyOpen() const { return grant.StudyOpen(); }
    int RepeatLeft() const { return series.Left(); }
    int RepeatConfigured() const { return series.Configured(); }
    const reports::DeviceInfo& Info() const { return deviceInfo; }
    std::uint8_t SystemType() const { return systemType; }
    const std::string& Title() const { return title; }
    const reports::ReportStore* Store() const { return storeKeeper.Store(); }
    bool FolderHeldElsewhere() const { return storeKeeper.HeldByAnotherProgram(); }
    const std::string& ControlHolder() const { return grant.Holder(); }

  private:
    void CloseStudy();  // control given back, the work folder let go
    bool RunTimedTransitions(std::int64_t now);
    void TakeMeasuredValues();
    void FollowEndOfCount(bool alive, std::int64_t now);
    link::EndVerdict Noting(link::EndVerdict verdict);
    void Act(link::EndVerdict verdict, std::int64_t now);
    link::EndVerdict EndOfCountVerdict(bool alive);
    bool RecordMeasurement();  // false: not written, and the operator is told why
    static std::string MeasurementText(std::uint32_t count, const reports::CountTime& time);
    void ReportNotRecorded(const std::string& why);
    std::string LossText() const;
    void ContinueSeries(std::int64_t now);
    void EndSeries() { series.Refill(); }
    void FollowLinkChange(bool alive, std::int64_t now);
    void IdentifyDevice();
    void MakeView(bool alive);
    void PollNow();
    bool SendStart();
    std::unique_ptr<reports::ReportStore> MakeReportStore();
    std::string ConfigText(std::string_view key) const;
    void Tell(SessionEventKind kind, const std::string& text) const;

    SessionEnvironment env;
    SessionEvents events;
    link::ControlGrant grant;  // control of a shared counter; the study flag
    ReportStoreKeeper storeKeeper;
    const reports::SpecialTextOption* specialText = nullptr;
    reports::DeviceInfo deviceInfo;
    std::uint8_t systemType = 0;
    std::string title = "System is undefined";

    link::DeviceStatus status;  // the last copy handled
    RunState runState = RunState::Idle;
    SeriesCounter series;           // ПОВТОР
    link::EndOfCount endOfCount;    // whether the device's "finished" can be recorded
    bool linkSeen = false;
    bool countLost = false;         // told the operator; the label says so until a new count
    std::uint32_t countsSeen = 0;   // counts begun, as EndOfCount numbers them
    bool seriesStopped = false;     // СТОП was pressed: no repeat until the next ПУСК
    std::int64_t lastStamp = 0;
    std::uint32_t elapsedHundredths = 0;
    SessionView view;
};

}  // namespace pulsedesk::app
