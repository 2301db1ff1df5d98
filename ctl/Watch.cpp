#include "ctl/Watch.h"

#include <chrono>
#include <ctime>

#include "ctl/StatusText.h"
#include "link/StopSignals.h"

namespace pulsedesk::ctl {

namespace lk = pulsedesk::link;

namespace {

// Local time of the poll, "2026-12-07T14:05:09".
std::string Now() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

std::vector<StatusField> LineFields(const std::string& time, const std::vector<StatusField>& rest) {
    std::vector<StatusField> fields{{"time", time, true}};
    fields.insert(fields.end(), rest.begin(), rest.end());
    return fields;
}

void PrintLine(const std::string& line, std::FILE* out) {
    std::fprintf(out, "%s\n", line.c_str());
    std::fflush(out);
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
    const auto interval = std::chrono::milliseconds(static_cast<long>(intervalSeconds * 1000));
    bool polled = true;  // the counter answered its first poll
    bool lost = false;
    for (bool header = !json;; header = false) {
        const std::string time = Now();
        const lk::DeviceStatus& s = counter.Status();
        const auto fields = LineFields(time, StatusFields(s, errorText(s.errorCode)));
        if (header) PrintLine(CsvHeader(fields), out);
        if (polled) PrintLine(json ? JsonObject(fields) : CsvLine(fields), out);
        if (!polled && !lost) PrintLine(LostLine(json, fields), out);
        lost = !polled;
        if (!lk::PauseUnlessStopped(interval)) throw Interrupted{lk::StopSignalReceived()};
        polled = counter.Poll();
    }
}

}  // namespace pulsedesk::ctl
