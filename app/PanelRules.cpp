#include "app/PanelRules.h"

#include <algorithm>

#include "link/RunFlags.h"

namespace pulsedesk::app {

RunState NextRunState(RunState current, std::uint8_t runFlags) {
    switch (link::DecidingRunFlag(runFlags)) {
        case link::kRunDeviceError:
            return RunState::DeviceError;
        case link::kRunReset:
            return RunState::Idle;
        case link::kRunCounting:
            return RunState::Counting;
        case link::kRunFinished:
            return current == RunState::Counting ? RunState::Finished : RunState::Done;
        case link::kRunBlocked:
            return RunState::Blocked;
        default:
            return current;
    }
}

namespace {

// Computed in 64 bits so that part × 100 never wraps; a count past its limit reads 100, not
// what would be left of it in a byte.
std::uint8_t PercentOf(std::uint32_t part, std::uint32_t whole) {
    if (whole == 0) return 0;
    const std::uint64_t percent = std::uint64_t{part} * 100u / whole;
    return static_cast<std::uint8_t>(std::min<std::uint64_t>(percent, 100));
}

}  // namespace

std::uint8_t ProgressOf(std::uint8_t mode, std::uint32_t count, std::uint32_t countLimit,
                        std::uint32_t elapsed, std::uint32_t countTime, std::uint8_t previous) {
    switch (mode) {
        case 3:
            return PercentOf(count, countLimit);
        case 1:
        case 2:
            return PercentOf(elapsed, countTime);
        default:
            return previous;
    }
}

Enabling EnablingFor(const PanelFacts& f) {
    const bool ok = !f.fault && f.studyOpen;
    const bool seriesMode = f.mode == 1 || f.mode == 3;
    const bool e = !f.fault && (!seriesMode || f.repeatPosition != 0);
    const bool counting = f.state == RunState::Counting;
    Enabling en{};
    en.newRecord = f.reportStore;
    en.startStudy = f.linkAlive && !counting;
    en.modeButtons = ok;
    en.onlyHeldMode = counting;
    en.countLimit = f.mode == 3 && ok;
    en.countTime = (f.mode == 1 || f.mode == 2) && ok;
    en.stop = !f.fault && f.state != RunState::Idle;
    en.start = e && !counting && f.studyOpen;
    en.threshold = e;
    en.settings = f.linkAlive;
    en.repeat = !f.fault && seriesMode;
    return en;
}

LabelChoice LabelFor(const PanelFacts& f, std::uint8_t errorCode) {
    if (!f.linkAlive) return {LabelKind::Error, kNoLinkMessage, kLabelRed};
    if (!f.reportStore) return {LabelKind::NoReportStore, 0, kLabelRed};
    if (f.controlledElsewhere) return {LabelKind::ControlledElsewhere, 0, kLabelViolet};
    if (f.countLost) return {LabelKind::CountLost, 0, kLabelRed};
    // A block is shown whenever the device reports one: it disables every control, and a
    // finished count that left the state at Done would otherwise hide why.
    if (f.blocked) return {LabelKind::Status, kBlockedMessage, kLabelViolet};
    if (!f.studyOpen) return {LabelKind::Status, kNoStudyMessage, kLabelRed};
    if (f.state == RunState::DeviceError) return {LabelKind::Error, errorCode, kLabelRed};
    if (f.state == RunState::Blocked) return {LabelKind::Status, kBlockedMessage, kLabelViolet};
    return {LabelKind::Status, f.mode, kLabelGreen};
}

}  // namespace pulsedesk::app
