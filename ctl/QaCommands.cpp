#include "ctl/QaCommands.h"

#include <cmath>

#include "analysis/Threshold.h"
#include "journal/QaVerdict.h"
#include "link/protocol.h"

namespace pulsedesk::ctl {

namespace {

static_assert(analysis::kThresholdMinMv == link::kThresholdMinMv &&
                  analysis::kThresholdMaxMv == link::kThresholdMaxMv &&
                  analysis::kThresholdStepMv * 4 == 10,
              "the journal's threshold range and grid are the device's");

MeasureOptions SeriesOf(const JournalOptions& o, const std::string& folder) {
    MeasureOptions m;
    m.mode = 1;
    m.time = ClockOf(o.time);
    m.repeat = o.repeat;
    m.threshold = o.threshold;
    m.reportFolder = folder;
    m.description = o.marker;
    return m;
}

// Thresholds from --from to --to, each as its code's millivolts.
std::vector<std::int32_t> SweepOf(const JournalOptions& o) {
    std::vector<std::int32_t> sweep;
    const long first = std::lround(o.fromMv / analysis::kThresholdStepMv);
    const long step = std::lround(o.stepMv / analysis::kThresholdStepMv);
    for (long code = first; code * analysis::kThresholdStepMv <= o.toMv; code += step)
        sweep.push_back(MillivoltsForCode(static_cast<int>(code)));
    return sweep;
}

void RestoreThreshold(Counter& counter, std::uint16_t code) {
    counter.Command(
        SetThresholdFrame(MillivoltsForCode(static_cast<int>(code) - link::kThresholdZeroCode)),
        "the earlier threshold");
}

// Counts the series and gives the counter its earlier threshold back, also after Ctrl-C, a lost
// link or a full disk, if it listens.
void MeasureRestoring(Counter& counter, const MeasureOptions& m, const MeasureFunction& measure) {
    const std::uint16_t earlier = counter.Status().ThresholdCode();
    try {
        measure(m);
    } catch (...) {
        try {
            RestoreThreshold(counter, earlier);
        } catch (const LinkError&) {
        }
        throw;
    }
    RestoreThreshold(counter, earlier);
}

}  // namespace

std::int32_t MillivoltsForCode(int offset) {
    const auto magnitude =
        static_cast<std::int32_t>(std::ceil(std::abs(offset) * analysis::kThresholdStepMv));
    return offset < 0 ? -magnitude : magnitude;
}

int RunQa(Counter& counter, const JournalOptions& o, const std::string& folder,
          const MeasureFunction& measure, std::FILE* out, std::FILE* err) {
    MeasureOptions m = SeriesOf(o, folder);
    if (o.action == "plateau") {
        m.sweep = SweepOf(o);
        m.repeat = static_cast<int>(m.sweep.size());
    }
    MeasureRestoring(counter, m, measure);
    return journal::JudgeQaRecord(o, folder, out, err);
}

}  // namespace pulsedesk::ctl
