// The panel's measurement rules as pure functions of the status it processes: the run-state
// rules, progress, which controls are enabled and what the mode label says. TmainForm applies
// them; tests check them table by table.
#pragma once

#include <cstdint>


namespace pulsedesk::app {

enum class RunState : std::uint8_t {
    Idle = 0,
    Starting = 1,
    Counting = 2,
    Finished = 3,
    Done = 5,
    RepeatWait = 6,
    Blocked = 7,
    DeviceError = 8,
};

// The first run-state bit that is set decides (error, reset, counting, finished, blocked); none
// leaves the state as it was.
RunState NextRunState(RunState current, std::uint8_t runFlags);

// Whole percent done, clamped to 0 ... 100: in mode 3 count of limit, in modes 1 and 2 elapsed
// of count time (hundredths); 0 for a zero limit or count time. Mode 0 keeps previous.
std::uint8_t ProgressOf(std::uint8_t mode, std::uint32_t count, std::uint32_t countLimit,
                        std::uint32_t elapsed, std::uint32_t countTime, std::uint8_t previous);

// What the enabling and the label depend on.
struct PanelFacts {
    bool linkAlive = false;
    bool fault = false;  // device error bit, blocked bit, or the link down
    bool studyOpen = false;
    bool reportStore = false;
    RunState state = RunState::Idle;
    std::uint8_t mode = 0;
    int repeatPosition = 1;  // UpDown1's position
    bool blocked = false;    // the device reports its blocked bit in this status
    bool countLost = false;  // the last count could not be recorded, and nothing new began
    bool controlledElsewhere = false;  // another program holds control of the shared counter
};

struct Enabling {
    bool newRecord;     // SpeedButton5
    bool startStudy;    // SpeedButton6
    bool modeButtons;   // sbMode0 ... sbMode3
    bool onlyHeldMode;  // while counting only the held mode button stays enabled
    bool countLimit;    // SpeedButton7, 9, 8
    bool countTime;     // SpeedButton10, 11, 12
    bool stop;          // SpeedButton17
    bool start;         // SpeedButton16
    bool threshold;     // TrackBar1, SpeedButton13, 14
    bool settings;      // SpeedButton15
    bool repeat;        // Edit1, UpDown1
};
Enabling EnablingFor(const PanelFacts& facts);

// The mode label: a message of the message file and a colour (0x00BBGGRR).
// The panel's own texts stand beside the message file's: the reasons no message file knows.
enum class LabelKind : std::uint8_t {
    Error = 3,
    Status = 4,
    NoReportStore,
    CountLost,
    ControlledElsewhere,
};
struct LabelChoice {
    LabelKind kind;
    std::int32_t number;
    std::uint32_t colour;
};
inline constexpr std::uint32_t kLabelRed = 0x0000FF;
inline constexpr std::uint32_t kLabelViolet = 0xD040D0;
inline constexpr std::uint32_t kLabelGreen = 0x00FF00;
inline constexpr std::int32_t kNoLinkMessage = 1006;  // ERR
inline constexpr std::int32_t kNoStudyMessage = 5;    // STAT
inline constexpr std::int32_t kBlockedMessage = 4;    // STAT
LabelChoice LabelFor(const PanelFacts& facts, std::uint8_t errorCode);

}  // namespace pulsedesk::app
