#include "Chaos.h"

#include <algorithm>

namespace pulsedesk::sim {

Chaos::Chaos(std::uint32_t seed, FaultObserver observer)
    : random(seed), onBegin(std::move(observer)) {}

int Chaos::Between(int low, int high) { return std::uniform_int_distribution(low, high)(random); }

void Chaos::Start(std::int64_t nowMs) {
    if (running) return;
    running = true;
    nextMs = nowMs + Between(kMinQuietMs, kMaxQuietMs);
}

std::string Chaos::Stop() {
    running = false;
    if (!inFault) return {};
    inFault = false;
    return endCommand;
}

ChaosFault Chaos::Draw(std::int64_t nowMs) {
    static const char* const kinds[] = {"noreply", "noreplyb", "overlong", "late", "hangup",
                                        "error"};
    ChaosFault f;
    f.kind = kinds[Between(0, std::size(kinds) - 1)];
    f.startMs = nowMs;
    f.durationMs = Between(kMinFaultMs, kMaxFaultMs);
    if (f.kind == "hangup") {
        f.start = "hangup " + std::to_string(f.durationMs);
    } else if (f.kind == "error") {
        f.start = "error " + std::to_string(Between(1, kMaxDeviceError));
        f.end = "error 0";
    } else if (f.kind == "overlong" || f.kind == "late") {
        f.bytes = Between(1, kMaxStrayBytes);
        f.start = f.kind + " " + std::to_string(f.bytes);
        f.end = f.kind + " 0";
    } else {
        f.start = f.kind + " on";
        f.end = f.kind + " off";
    }
    return f;
}

std::string Chaos::Due(std::int64_t nowMs) {
    if (!running || nowMs < nextMs) return {};
    if (inFault) {
        inFault = false;
        nextMs = nowMs + Between(kMinQuietMs, kMaxQuietMs);
        return endCommand;
    }
    const ChaosFault f = Draw(nowMs);
    inFault = true;
    endCommand = f.end;
    nextMs = nowMs + f.durationMs;
    if (onBegin) onBegin(f);
    return f.start;
}

int Chaos::MillisecondsUntilDue(std::int64_t nowMs) const {
    if (!running) return -1;
    return static_cast<int>(std::max<std::int64_t>(0, nextMs - nowMs));
}

}  // namespace pulsedesk::sim
