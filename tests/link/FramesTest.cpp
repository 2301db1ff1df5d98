// Every command's frame by name: the bytes the panel and pulsectl send for each action.
#include <gtest/gtest.h>

#include "link/Frames.h"
#include "support/WireFrames.h"

namespace pulsedesk::link::frames {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace wire = testing::wire;

TEST(Frames, EachBuilderGivesTheCommandsBytes) {
    const struct {
        Frame frame;
        Bytes bytes;
    } rows[] = {
        {StartStopFrame(true), wire::kStart},
        {StartStopFrame(false), wire::kStop},
        {ClearFinishedFrame(), wire::kClearFinished},
        {SetModeFrame(3), wire::Mode(3)},
        {SetCountTimeFrame({99, 59, 59}), {0x04, 0x02, 99, 59, 59}},
        {SetCountLimitFrame(16777215), {0x04, 0x04, 0xFF, 0xFF, 0xFF}},
        {SetCountLimitFrame(258), {0x04, 0x04, 0, 1, 2}},
        {SetThresholdFrame(-4600), wire::kThresholdMin},
        {SetThresholdFrame(4600), wire::kThresholdMax},
        {SetThresholdFrame(-3), {0x03, 0x42, 0x07, 0xFF}},     // code 2047
        {StepFrame(Step::CountLimit, false), wire::kStepCountLimitDown},
        {StepFrame(Step::CountTime, true), wire::kStepCountTimeUp},
        {StepFrame(Step::Threshold, true), wire::kStepThresholdUp},
        {SoundFrame(Sound::Signal, true), {0x02, 0x4A, 1}},
        {SoundFrame(Sound::End, false), {0x02, 0x4B, 0}},
        {SetOptionsFrame(0xA5), {0x02, 0x06, 0xA5}},
        {RestoreDefaultsFrame(), wire::kRestoreDefaults},
        {QueryFrame(ReadSerialNumber), {0x01, 0x2D}},
    };
    for (const auto& r : rows) EXPECT_EQ(r.frame.Bytes(), r.bytes) << int(r.frame.Code());
}

}  // namespace
}  // namespace pulsedesk::link::frames
