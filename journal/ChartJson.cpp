#include "journal/ChartJson.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>

namespace pulsedesk::journal {
namespace {

using plot::AxisKind;
using Json = nlohmann::ordered_json;

const char* FlagName(plot::Flag flag) {
    return flag == plot::Flag::Action ? "action" : flag == plot::Flag::Warning ? "warning" : "none";
}

const char* KindName(plot::LineKind kind) {
    switch (kind) {
        case plot::LineKind::Mean:
            return "mean";
        case plot::LineKind::Warning:
            return "warning";
        case plot::LineKind::Action:
            return "action";
        case plot::LineKind::Plain:
            break;
    }
    return "plain";
}

// Optional members are left out when they hold their default.
void Text(Json& j, const char* key, const std::string& value) {
    if (!value.empty()) j[key] = value;
}
void Flag(Json& j, const char* key, bool on) {
    if (on) j[key] = true;
}

Json AxisJson(const plot::Axis& axis) {
    Json j{{"kind", axis.kind == AxisKind::Time ? "time" : "number"}};
    Text(j, "title", axis.title);
    Text(j, "unit", axis.unit);
    Flag(j, "zero", axis.withZero);
    Flag(j, "integer", axis.integer);
    return j;
}

Json ChartJson(const plot::Chart& chart) {
    const auto x = [&chart](double value) {
        return chart.x.kind == AxisKind::Time ? Json(LocalTimeText(value)) : Json(value);
    };
    Json j = Json::object();
    Text(j, "title", chart.title);
    Text(j, "note", chart.note);
    j["x"] = AxisJson(chart.x);
    j["y"] = AxisJson(chart.y);
    Flag(j, "log_y", chart.logarithmicY);
    j["series"] = Json::array();
    for (const plot::Series& s : chart.series) {
        Json series = Json::object();
        Text(series, "name", s.name);
        Flag(series, "joined", s.joined);
        series["points"] = Json::array();
        for (const plot::Point& p : s.points) {
            Json point{{"x", x(p.x)}, {"y", p.y}};
            if (p.error > 0) point["error"] = p.error;
            if (p.flag != plot::Flag::None) point["flag"] = FlagName(p.flag);
            Flag(point, "hollow", p.hollow);
            series["points"].push_back(point);
        }
        j["series"].push_back(series);
    }
    j["levels"] = Json::array();
    for (const plot::Level& l : chart.levels) {
        Json level{{"y", l.y}, {"kind", KindName(l.kind)}};
        Text(level, "label", l.label);
        Flag(level, "provisional", l.provisional);
        if (!l.steps.empty()) level["steps"] = Json::array();
        for (const auto& [stepX, stepY] : l.steps)
            level["steps"].push_back({{"x", x(stepX)}, {"y", stepY}});
        j["levels"].push_back(level);
    }
    j["bands"] = Json::array();
    for (const plot::Band& b : chart.bands) {
        Json band{{"from", x(b.from)}, {"to", x(b.to)}};
        Text(band, "label", b.label);
        j["bands"].push_back(band);
    }
    j["markers"] = Json::array();
    for (const plot::Marker& m : chart.markers) {
        Json marker{{"x", x(m.x)}};
        Text(marker, "label", m.label);
        j["markers"].push_back(marker);
    }
    return j;
}

}  // namespace

std::string LocalTimeText(double at) {
    using namespace std::chrono;
    const auto whole = sys_seconds(seconds(std::llround(at)));
    const auto day = floor<days>(whole);
    const year_month_day date(day);
    const hh_mm_ss time(whole - day);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02ld",
                  static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                  static_cast<unsigned>(date.day()), static_cast<long>(time.hours().count()),
                  static_cast<long>(time.minutes().count()),
                  static_cast<long>(time.seconds().count()));
    return text;
}

std::string ChartsJson(const std::vector<plot::Chart>& charts) {
    Json all = Json::array();
    for (const plot::Chart& chart : charts) all.push_back(ChartJson(chart));
    // Text that is not UTF-8 must not stop a picture: such bytes become U+FFFD.
    return Json{{"charts", all}}.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace pulsedesk::journal
