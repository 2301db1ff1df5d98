#include "ctl/ChartJson.h"

#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "ctl/StatusText.h"

namespace pulsedesk::ctl {
namespace {

using plot::AxisKind;

// The shortest text that reads back as the same double.
std::string Number(double value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

// The members of one JSON object, in order.
class Members {
  public:
    Members& Add(const char* key, const std::string& json) {
        text += (text.empty() ? "" : ",") + JsonString(key) + ":" + json;
        return *this;
    }
    Members& Text(const char* key, const std::string& value) {
        return value.empty() ? *this : Add(key, JsonString(value));
    }
    Members& Flag(const char* key, bool on) { return on ? Add(key, "true") : *this; }
    std::string Object() const { return "{" + text + "}"; }

  private:
    std::string text;
};

template <class Item, class Write>
std::string List(const std::vector<Item>& items, Write write) {
    std::string out = "[";
    for (const Item& item : items) out += (out.size() > 1 ? "," : "") + write(item);
    return out + "]";
}

std::string AxisJson(const plot::Axis& axis) {
    return Members()
        .Add("kind", JsonString(axis.kind == AxisKind::Time ? "time" : "number"))
        .Text("title", axis.title)
        .Text("unit", axis.unit)
        .Flag("zero", axis.withZero)
        .Flag("integer", axis.integer)
        .Object();
}

const char* FlagName(plot::Flag flag) {
    return flag == plot::Flag::Action ? "action" : flag == plot::Flag::Warning ? "warning" : "none";
}

const char* KindName(plot::LineKind kind) {
    switch (kind) {
        case plot::LineKind::Mean: return "mean";
        case plot::LineKind::Warning: return "warning";
        case plot::LineKind::Action: return "action";
        case plot::LineKind::Plain: break;
    }
    return "plain";
}

std::string ChartJson(const plot::Chart& chart) {
    const auto x = [&chart](double value) {
        return chart.x.kind == AxisKind::Time ? JsonString(LocalTimeText(value)) : Number(value);
    };
    const auto point = [&x](const plot::Point& p) {
        Members m;
        m.Add("x", x(p.x)).Add("y", Number(p.y));
        if (p.error > 0) m.Add("error", Number(p.error));
        if (p.flag != plot::Flag::None) m.Add("flag", JsonString(FlagName(p.flag)));
        return m.Object();
    };
    return Members()
        .Text("title", chart.title)
        .Text("note", chart.note)
        .Add("x", AxisJson(chart.x))
        .Add("y", AxisJson(chart.y))
        .Add("series", List(chart.series,
                            [&point](const plot::Series& s) {
                                return Members()
                                    .Text("name", s.name)
                                    .Flag("joined", s.joined)
                                    .Add("points", List(s.points, point))
                                    .Object();
                            }))
        .Add("levels", List(chart.levels,
                            [](const plot::Level& l) {
                                return Members()
                                    .Add("y", Number(l.y))
                                    .Add("kind", JsonString(KindName(l.kind)))
                                    .Text("label", l.label)
                                    .Flag("provisional", l.provisional)
                                    .Object();
                            }))
        .Add("bands", List(chart.bands,
                           [&x](const plot::Band& b) {
                               return Members()
                                   .Add("from", x(b.from))
                                   .Add("to", x(b.to))
                                   .Text("label", b.label)
                                   .Object();
                           }))
        .Add("markers", List(chart.markers,
                             [&x](const plot::Marker& m) {
                                 return Members().Add("x", x(m.x)).Text("label", m.label).Object();
                             }))
        .Object();
}

}  // namespace

std::string LocalTimeText(double at) {
    using namespace std::chrono;
    const auto whole = sys_seconds(seconds(std::llround(at)));
    const auto day = floor<days>(whole);
    const year_month_day date(day);
    const hh_mm_ss time(whole - day);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02ld:%02ld:%02ld", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<long>(time.hours().count()), static_cast<long>(time.minutes().count()),
                  static_cast<long>(time.seconds().count()));
    return text;
}

std::string ChartsJson(const std::vector<plot::Chart>& charts) {
    return Members().Add("charts", List(charts, ChartJson)).Object() + "\n";
}

}  // namespace pulsedesk::ctl
