// Every command's frame by name: the bytes the panel and pulsectl send for each action.
#include <gtest/gtest.h>

#include "link/Frames.h"

namespace pulsedesk::link::frames {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Frames, EachBuilderGivesTheCommandsBytes) {
    const struct {
        Frame frame;
        Bytes bytes;
    } rows[] = {
        {StartStopFrame(true), {0x02, 0x41, 1}},
        {StartStopFrame(false), {0x02, 0x41, 0}},
        {ClearFinishedFrame(), {0x01, 0x46}},
        {SetModeFrame(3), {0x02, 0x43, 3}},
        {SetCountTimeFrame({99, 59, 59}), {0x04, 0x02, 99, 59, 59}},
        {SetCountLimitFrame(16777215), {0x04, 0x04, 0xFF, 0xFF, 0xFF}},
        {SetCountLimitFrame(258), {0x04, 0x04, 0, 1, 2}},
        {SetThresholdFrame(-4600), {0x03, 0x42, 0x00, 0xD0}},  // code 208
        {SetThresholdFrame(4600), {0x03, 0x42, 0x0F, 0x30}},   // code 3888
        {SetThresholdFrame(-3), {0x03, 0x42, 0x07, 0xFF}},     // code 2047
        {StepFrame(Step::CountLimit, false), {0x02, 0x50, 0}},
        {StepFrame(Step::CountTime, true), {0x02, 0x51, 1}},
        {StepFrame(Step::Threshold, true), {0x03, 0x47, 1, 1}},
        {SoundFrame(Sound::Signal, true), {0x02, 0x4A, 1}},
        {SoundFrame(Sound::End, false), {0x02, 0x4B, 0}},
        {SetOptionsFrame(0xA5), {0x02, 0x06, 0xA5}},
        {RestoreDefaultsFrame(), {0x01, 0x5F}},
        {QueryFrame(ReadSerialNumber), {0x01, 0x2D}},
    };
    for (const auto& r : rows) EXPECT_EQ(r.frame.Bytes(), r.bytes) << int(r.frame.Code());
}

}  // namespace
}  // namespace pulsedesk::link::frames
