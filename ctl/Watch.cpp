#include "ctl/Watch.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "ctl/StatusText.h"
#include "link/StopSignals.h"

namespace pulsedesk::ctl {

namespace lk = pulsedesk::link;

namespace {

}  // namespace

std::string IsoLocalTime(std::chrono::system_clock::time_point when) {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(when.time_since_epoch()).count();
    const std::time_t t = static_cast<std::time_t>(ms / 1000 - (ms % 1000 < 0 ? 1 : 0));
    std::tm local{};
    localtime_r(&t, &local);
    char text[48];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    char zone[8];
    std::strftime(zone, sizeof zone, "%z", &local);  // +0100, written +01:00
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%03d", static_cast<int>((ms % 1000 + 1000) % 1000));
    return text + std::string(fraction) + std::string(zone, 3) + ":" + std::string(zone + 3);
}

namespace {

std::vector<StatusField> LineFields(const std::string& time, const std::vector<StatusField>& rest) {
    std::vector<StatusField> fields{{"time", time, true}};
    fields.insert(fields.end(), rest.begin(), rest.end());
    return fields;
}

// A reader that has gone (a closed pipe) ends the watch.
void PrintLine(const std::string& line, std::FILE* out) {
    if (std::fprintf(out, "%s\n", line.c_str()) < 0 || std::fflush(out) != 0) throw OutputClosed{};
}

// The poll's line with the state "link lost" and nothing else known: all columns in CSV,
// only time and state in JSON.
std::string LostLine(bool json, std::vector<StatusField> fields) {
    for (std::size_t i = 1; i < fields.size(); ++i) fields[i].value.clear();
    fields[1] = {"state", "link lost", true};
    if (json) return JsonObject({fields[0], fields[1]});
    return CsvLine(fields);
}

}  // namespace

void RunWatch(Counter& counter, double intervalSeconds, bool json, const ErrorTextOf& errorText,
              std::FILE* out) {
    using Clock = std::chrono::steady_clock;
    const auto interval = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(intervalSeconds));
    bool polled = true;  // the counter answered its first poll
    bool lost = false;
    // Each poll is due a whole number of intervals after the first, however long a poll took;
    // a poll that could not be made in time is skipped, not made up for.
    auto due = Clock::now();
    for (bool header = !json;; header = false) {
        const std::string time = IsoLocalTime(std::chrono::system_clock::now());
        const lk::DeviceStatus& s = counter.Status();
        const auto fields = LineFields(time, StatusFields(s, errorText(s.errorCode)));
        if (header) PrintLine(CsvHeader(fields), out);
        if (polled) PrintLine(json ? JsonObject(fields) : CsvLine(fields), out);
        if (!polled && !lost) PrintLine(LostLine(json, fields), out);
        lost = !polled;
        due += interval;
        while (due <= Clock::now()) due += interval;
        if (!lk::PauseUnlessStopped(due - Clock::now()))
            throw Interrupted{lk::StopSignalReceived()};
        polled = counter.Poll();
    }
}

}  // namespace pulsedesk::ctl
