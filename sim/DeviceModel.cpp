#include "DeviceModel.h"

#include <algorithm>
#include <cstdio>

#include "link/commands.h"

namespace pulsedesk::sim {

namespace lk = pulsedesk::link;

namespace {

constexpr std::int64_t kTickMs = 10;           // pulses are drawn per hundredth of a second
constexpr std::int64_t kAutoRestartMs = 2000;  // mode 2 shows "finished" this long, then restarts
constexpr std::uint32_t kMaxCount = 0xFFFFFF;  // the counter is 24 bits wide
constexpr std::uint16_t kMaxThresholdCode = 4095;

// The next value of a step table above (or below) the current one; the ends stay put.
std::uint32_t StepThrough(const std::vector<std::uint32_t>& table, std::uint32_t value, bool up) {
    if (up) {
        auto it = std::upper_bound(table.begin(), table.end(), value);
        return it != table.end() ? *it : value;
    }
    auto it = std::lower_bound(table.begin(), table.end(), value);
    return it != table.begin() ? *std::prev(it) : value;
}

std::uint8_t Byte(std::int64_t v) { return static_cast<std::uint8_t>(v); }

}  // namespace

DeviceModel::DeviceModel(Identity id, double pulsesPerSecond, std::uint32_t seed, Clock c)
    : identity(id), rate(pulsesPerSecond), clock(std::move(c)), random(seed) {
    RestoreDefaults();
    lastAdvanceMs = clock();
}

const std::vector<std::uint32_t>& DeviceModel::CountLimitSteps() {
    static const std::vector<std::uint32_t> steps{
        10,    20,    50,     100,    200,    500,     1000,    2000,    5000,     10000,
        20000, 50000, 100000, 200000, 500000, 1000000, 2000000, 5000000, 10000000, kMaxCount};
    return steps;
}

const std::vector<std::uint32_t>& DeviceModel::CountTimeSteps() {
    static const std::vector<std::uint32_t> steps{1,    2,    5,    10,    20,    30,
                                                  60,   100,  120,  300,   600,   1200,
                                                  1800, 3600, 7200, 18000, 36000, 86400 - 1};
    return steps;
}

void DeviceModel::RestoreDefaults() {
    counting = false;
    finished = false;
    resetBit = true;
    modeOptions = 0;  // mode 0, every sound on, no inversions
    count = 0;
    elapsedHundredths = 0;
    countLimit = 1000;
    countTimeSeconds = 100;
    thresholdCode = 2096;
}

void DeviceModel::Advance() {
    const std::int64_t now = clock();
    if (now <= lastAdvanceMs) return;
    if (!counting) {
        if (finished && Mode() == 2 && now - finishedAtMs >= kAutoRestartMs) Start();
        lastAdvanceMs = now;
        return;
    }
    std::int64_t ticks = (now - lastAdvanceMs) / kTickMs;
    lastAdvanceMs += ticks * kTickMs;
    std::poisson_distribution<std::uint32_t> pulses(std::max(RateAtThreshold(), 1e-9) * kTickMs /
                                                     1000.0);
    const std::int64_t timeLimit = std::int64_t{countTimeSeconds} * 100;
    for (; ticks > 0 && counting; --ticks) {
        ++elapsedHundredths;
        count = std::min<std::uint32_t>(kMaxCount, count + pulses(random));
        const bool timeUp = (Mode() == 1 || Mode() == 2) && elapsedHundredths >= timeLimit;
        const bool limitReached = Mode() == 3 && count >= countLimit;
        if (limitReached) count = countLimit;
        if (timeUp || limitReached) {
            finishedAtMs = lastAdvanceMs - (ticks - 1) * kTickMs;
            Finish(false);
        }
    }
    if (!counting) lastAdvanceMs = now;
}

void DeviceModel::PressKey(bool start) {
    Advance();
    start ? Start() : Stop();
}

double DeviceModel::RateAtThreshold() const {
    if (!curve) return rate;
    // The device's own scale: 2.5 mV per code step, 0 mV at code 2048.
    return rate * curve->Factor((thresholdCode - 2048) * 2.5);
}

void DeviceModel::Start() {
    counting = true;
    finished = false;
    resetBit = false;
    count = 0;
    elapsedHundredths = 0;
}

void DeviceModel::Stop() {
    if (!counting) return;
    finishedAtMs = clock();
    Finish(true);
}

void DeviceModel::Finish(bool stopped) {
    counting = false;
    finished = true;
    if (finishObserver)
        finishObserver({Mode(), count, elapsedHundredths, thresholdCode, finishedAtMs, stopped});
}

Response DeviceModel::Handle(const std::uint8_t* request, std::size_t length) {
    Advance();
    Response out;
    if (injected.noReply) return out;
    std::vector<std::uint8_t> reply = Answer(request, length);
    if (!reply.empty()) ApplyFaults(reply, out);
    out.reply = std::move(reply);
    return out;
}

void DeviceModel::ApplyFaults(std::vector<std::uint8_t>& reply, Response& out) {
    if (injected.cutShort > 0) {
        const auto keep = std::max<std::ptrdiff_t>(
            0, static_cast<std::ptrdiff_t>(reply.size()) - injected.cutShort);
        reply.resize(static_cast<std::size_t>(keep));
    }
    for (int i = 0; i < injected.overLong; ++i)
        reply.push_back(static_cast<std::uint8_t>(0x55 + i));
    for (int i = 0; i < injected.lateBytes; ++i)
        out.late.push_back(static_cast<std::uint8_t>(0xA0 + i));
}

// A request is answered only when it is well formed by the device's own reading of the header.
std::vector<std::uint8_t> DeviceModel::Answer(const std::uint8_t* request, std::size_t length) {
    if (length < 2 || (request[0] & 0x0F) + 1u != length || (request[0] & 0xF0) != 0) return {};
    const std::uint8_t code = request[1];
    const std::uint8_t* args = request + 2;
    const std::size_t argCount = length - 2;
    switch (code) {
        case lk::ReadStatusA:
            return StatusA();
        case lk::ReadStatusB:
            if (injected.noReplyB) return {};
            return StatusB();
        case lk::ReadModel:
            return {0x03, lk::ReplyCodeFor(lk::ReadModel), 'C', std::uint8_t(identity.modelDigit)};
        case lk::ReadFirmwareVersion:
            return {0x02, lk::ReplyCodeFor(lk::ReadFirmwareVersion), identity.firmware};
        case lk::ReadSerialNumber:
            return {0x03, lk::ReplyCodeFor(lk::ReadSerialNumber),
                    std::uint8_t(identity.serial >> 8), std::uint8_t(identity.serial & 0xFF)};
        case lk::SetMode:
            if (argCount != 1) return {};
            if (counting || args[0] > 3) return {0x01, 0xE1};  // refused: no 0xE0
            modeOptions = static_cast<std::uint8_t>((modeOptions & ~0x03) | args[0]);
            return {0x01, lk::kModeAccepted};
        default:
            Carry(code, args, argCount);
            return Ack(code);
    }
}

void DeviceModel::Carry(std::uint8_t code, const std::uint8_t* a, std::size_t n) {
    switch (code) {
        case lk::StartStop:
            if (n == 1) a[0] ? Start() : Stop();
            break;
        case lk::ClearFinished:
            finished = false;
            break;
        case lk::SetThreshold:
            if (n == 2)
                thresholdCode =
                    std::min<std::uint16_t>(kMaxThresholdCode, std::uint16_t((a[0] << 8) | a[1]));
            break;
        case lk::StepThreshold:
            if (n == 2) {
                if (a[0] == 1 && thresholdCode < kMaxThresholdCode) ++thresholdCode;
                if (a[0] == 0 && thresholdCode > 0) --thresholdCode;
            }
            break;
        case lk::SetCountLimit:
            if (n == 3) countLimit = std::max<std::uint32_t>(1, (a[0] << 16) | (a[1] << 8) | a[2]);
            break;
        case lk::SetCountTime:
            if (n == 3 && a[1] < 60 && a[2] < 60)
                countTimeSeconds = a[0] * 3600u + a[1] * 60u + a[2];
            break;
        case lk::StepCountLimit:
            if (n == 1) countLimit = StepThrough(CountLimitSteps(), countLimit, a[0] == 1);
            break;
        case lk::StepCountTime:
            if (n == 1)
                countTimeSeconds = StepThrough(CountTimeSteps(), countTimeSeconds, a[0] == 1);
            break;
        case lk::SetOptions:
            if (n == 1) ApplyOptions(a[0]);
            break;
        case lk::SetSignalSound:
            if (n == 1) SetSoundBit(lk::kOptSignalSoundOff, a[0] != 0);
            break;
        case lk::SetEndSound:
            if (n == 1) SetSoundBit(lk::kOptEndSoundOff, a[0] != 0);
            break;
        case lk::RestoreDefaults:
            RestoreDefaults();
            break;
        default:
            break;
    }
}

// The option byte says "on" with a 1 for the sounds, while the status reports them as "off" bits.
void DeviceModel::ApplyOptions(std::uint8_t o) {
    const std::uint8_t levels =
        o & (lk::kOptHighLevelSignals | lk::kOptInvertSignals | lk::kOptInvertPulses);
    const std::uint8_t soundsOff = static_cast<std::uint8_t>(~o) & 0xE0;
    modeOptions = static_cast<std::uint8_t>((modeOptions & 0x03) | levels | soundsOff);
}

void DeviceModel::SetSoundBit(std::uint8_t bit, bool soundOn) {
    modeOptions = static_cast<std::uint8_t>(soundOn ? (modeOptions & ~bit) : (modeOptions | bit));
}

std::vector<std::uint8_t> DeviceModel::Ack(std::uint8_t code) const {
    return {0x01, lk::ReplyCodeFor(code)};
}

std::vector<std::uint8_t> DeviceModel::StatusA() const {
    std::uint8_t run = 0;
    if (resetBit) run |= lk::kRunReset;
    if (counting) run |= lk::kRunCounting;
    if (finished) run |= lk::kRunFinished;
    if (injected.blocked) run |= lk::kRunBlocked;
    const std::int64_t h = elapsedHundredths;
    return {0x09,
            injected.wrongReplyCode ? std::uint8_t(0xA9) : lk::ReplyCodeFor(lk::ReadStatusA),
            run,
            modeOptions,
            0x00,
            injected.errorCode,
            Byte(std::min<std::int64_t>(h / 360000, 255)),
            Byte(h / 6000 % 60),
            Byte(h / 100 % 60),
            Byte(h % 100)};
}

std::vector<std::uint8_t> DeviceModel::StatusB() const {
    const std::uint32_t t = countTimeSeconds;
    return {0x0F,
            lk::ReplyCodeFor(lk::ReadStatusB),
            std::uint8_t(thresholdCode >> 8),
            std::uint8_t(thresholdCode & 0xFF),
            std::uint8_t(count >> 16),
            std::uint8_t(count >> 8),
            std::uint8_t(count),
            0x00,
            0x00,
            0x00,
            std::uint8_t(countLimit >> 16),
            std::uint8_t(countLimit >> 8),
            std::uint8_t(countLimit),
            std::uint8_t(t / 3600),
            std::uint8_t(t / 60 % 60),
            std::uint8_t(t % 60)};
}

std::string Faults::Describe() const {
    std::string text;
    auto add = [&text](const std::string& word) { text += (text.empty() ? "" : " ") + word; };
    if (noReply) add("noreply");
    if (noReplyB) add("noreplyb");
    if (wrongReplyCode) add("wrongcode");
    if (cutShort > 0) add("cut " + std::to_string(cutShort));
    if (overLong > 0) add("overlong " + std::to_string(overLong));
    if (lateBytes > 0) add("late " + std::to_string(lateBytes));
    if (blocked) add("blocked");
    if (errorCode != 0) add("error " + std::to_string(errorCode));
    return text.empty() ? "none" : text;
}

std::string DeviceModel::Describe() const {
    char line[200];
    std::snprintf(
        line, sizeof line,
        "mode %u %s count %u elapsed %lld.%02lld s limit %u time %u s threshold %u rate %g/s",
        Mode(), counting ? "counting" : (finished ? "finished" : (resetBit ? "reset" : "idle")),
        count, static_cast<long long>(elapsedHundredths / 100),
        static_cast<long long>(elapsedHundredths % 100), countLimit, countTimeSeconds,
        thresholdCode, rate);
    return std::string(line) + " faults: " + injected.Describe();
}

}  // namespace pulsedesk::sim
