#include <gtest/gtest.h>

#include <vector>

#include "link/protocol.h"

namespace pulsedesk::link {
namespace {

std::vector<std::uint8_t> Frame(std::uint8_t header, std::initializer_list<std::int64_t> values) {
    FrameBuffer buf{};
    const std::size_t n = BuildFrame(header, values, buf);
    return {buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(n)};
}

using Bytes = std::vector<std::uint8_t>;

TEST(BuildFrame, WritesExactlyHeaderAndItsValues) {
    EXPECT_EQ(Frame(0x01, {ReadModel}), (Bytes{0x01, 0x2E}));
    EXPECT_EQ(Frame(0x02, {StartStop, 1}), (Bytes{0x02, 0x41, 0x01}));
    EXPECT_EQ(Frame(0x03, {StepThreshold, 1, 1}), (Bytes{0x03, 0x47, 0x01, 0x01}));
}

TEST(BuildFrame, ThresholdAndCountLimitBytesFromWideValues) {
    for (auto [mv, hi, lo] : {std::tuple{-4600, 0x00, 0xD0}, {0, 0x08, 0x00}, {4600, 0x0F, 0x30}}) {
        const std::uint16_t code = MillivoltsToThresholdCode(mv);
        EXPECT_EQ(Frame(0x03, {SetThreshold, code >> 8, code}),
                  (Bytes{0x03, 0x42, std::uint8_t(hi), std::uint8_t(lo)}))
            << mv << " mV";
    }
    const std::int64_t limit = 1000000;
    EXPECT_EQ(Frame(0x04, {SetCountLimit, limit >> 16, limit >> 8, limit}),
              (Bytes{0x04, 0x04, 0x0F, 0x42, 0x40}));
}

TEST(BuildFrame, RefusesValueCountThatDisagreesWithHeader) {
    FrameBuffer buf{};
    EXPECT_EQ(BuildFrame(0x02, {StartStop}, buf), 0u);
    EXPECT_EQ(BuildFrame(0x01, {StartStop, 1}, buf), 0u);
    EXPECT_EQ(BuildFrame(0x00, {}, buf), 0u);
}

TEST(ReplyChecks, SendCommandNeedsLengthAgreeingWithHeader) {
    const std::uint8_t ack[] = {0x01, 0xE0};
    EXPECT_TRUE(ReplyLengthAgrees(ack, 2));
    EXPECT_FALSE(ReplyLengthAgrees(ack, 1));
    EXPECT_FALSE(ReplyLengthAgrees(ack, 0));
    std::uint8_t replyB[16] = {0x0E, 0xB1};
    EXPECT_FALSE(ReplyLengthAgrees(replyB, 16));
    replyB[0] = 0x0F;
    EXPECT_TRUE(ReplyLengthAgrees(replyB, 16));
}

TEST(ReplyChecks, PollLooksAtLengthAndCodeOnly) {
    std::uint8_t a[20] = {0x09, 0xA8};
    EXPECT_TRUE(IsReplyA(a, 10));
    EXPECT_FALSE(IsReplyA(a, 9));
    EXPECT_FALSE(IsReplyA(a, 11));
    a[1] = 0xA9;
    EXPECT_FALSE(IsReplyA(a, 10));

    std::uint8_t b[20] = {0x03, 0xB1};  // header nibble disagrees: the poll still accepts it
    EXPECT_TRUE(IsReplyB(b, 16));
    EXPECT_FALSE(IsReplyB(b, 15));
    EXPECT_FALSE(IsReplyB(b, 0));
}

TEST(Decoding, TwentyFourBitBigEndian) {
    const std::uint8_t a[] = {0x00, 0x01, 0x02};
    const std::uint8_t b[] = {0xFF, 0xFF, 0xFF};
    EXPECT_EQ(Decode24(a), 258u);
    EXPECT_EQ(Decode24(b), 16777215u);
}

TEST(Threshold, ConversionsCutTowardZero) {
    EXPECT_EQ(MillivoltsToThresholdCode(-4600), 208);
    EXPECT_EQ(MillivoltsToThresholdCode(4600), 3888);
    EXPECT_EQ(MillivoltsToThresholdCode(-3), 2047);
    EXPECT_EQ(MillivoltsToThresholdCode(3), 2049);
    EXPECT_EQ(ThresholdCodeToMillivolts(2049), 2);
    EXPECT_EQ(ThresholdCodeToMillivolts(2047), -2);
    EXPECT_EQ(ThresholdCodeToMillivolts(208), -4600);
    EXPECT_EQ(ThresholdCodeToMillivolts(2096), 120);
}

}  // namespace
}  // namespace pulsedesk::link
