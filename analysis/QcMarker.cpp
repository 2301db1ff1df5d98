#include "analysis/QcMarker.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace pulsedesk::analysis {

namespace {

// "KEY=number" with a positive finite number; nothing otherwise.
std::optional<double> Positive(const std::string& word, const std::string& key) {
    if (word.rfind(key + "=", 0) != 0) return std::nullopt;
    return PositiveNumber(word.substr(key.size() + 1));
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

std::optional<QcMarker> ParseSource(const std::vector<std::string>& w) {
    if (w.size() != 6 && w.size() != 7) return std::nullopt;
    QcMarker m{QcMarker::Kind::Source, w[2], 0, {}, 0, std::nullopt, 0, {}, {}};
    const auto activity = Positive(w[3], "A");
    const bool reference = w[4].rfind("REF=", 0) == 0 && w[4].find(' ') == std::string::npos &&
                           ParseReferenceTime(w[4].substr(4), m.reference, m.referenceMinute);
    const auto half = Positive(w[5], "HALF");
    if (!activity || !reference || !half) return std::nullopt;
    m.activityBq = *activity;
    m.halfLifeDays = *half;
    if (w.size() == 7) {
        std::string u = w[6];
        if (!u.empty() && u.back() == '%') u.pop_back();
        m.activityUPercent = Positive(u, "U");
        if (!m.activityUPercent) return std::nullopt;
    }
    return m;
}

std::optional<QcMarker> ParseExclude(const std::vector<std::string>& w) {
    const auto ref = w.size() >= 4 ? ParseRecordRef(w[2]) : std::nullopt;
    if (!ref) return std::nullopt;
    QcMarker m{QcMarker::Kind::Exclude, "", 0, {}, 0, std::nullopt, 0, {}, {}};
    m.excluded = *ref;
    for (std::size_t i = 3; i < w.size(); ++i) m.reason += (i > 3 ? " " : "") + w[i];
    return m;
}

std::string RefText(const RecordRef& ref) {
    return (ref.year != 0 ? std::to_string(ref.year) + ":" : std::string()) +
           std::to_string(ref.number);
}

// The marker the words form, its name not yet checked.
std::optional<QcMarker> MarkerOf(const std::vector<std::string>& w) {
    const auto named = [&w](QcMarker::Kind kind, std::size_t at) -> std::optional<QcMarker> {
        if (w.size() > at + 1) return std::nullopt;
        return QcMarker{kind, w.size() == at + 1 ? w[at] : "", 0, {}, 0, std::nullopt, 0, {}, {}};
    };
    if (w.size() >= 1 && w[0] == "PLATEAU") return named(QcMarker::Kind::Plateau, 1);
    if (w.size() < 2 || w[0] != "QC") return std::nullopt;
    if (w[1] == "BACKGROUND" && w.size() == 2) return QcMarker{};
    if (w[1] == "CHI2") return named(QcMarker::Kind::ChiSquare, 2);
    if (w[1] == "SOURCE") return ParseSource(w);
    if (w[1] == "EXCLUDE") return ParseExclude(w);
    return std::nullopt;
}

}  // namespace

bool ParseReferenceTime(const std::string& text, CivilDate& date, int& minuteOfDay) {
    const auto day = ParseDate(text.substr(0, 10));
    if (!day) return false;
    int hour = 0, minute = 0, length = 0;
    if (text.size() == 10) {
        minuteOfDay = 0;
    } else if (text.size() != 16 || (text[10] != 'T' && text[10] != ' ') ||
               std::sscanf(text.c_str() + 11, "%2d:%2d%n", &hour, &minute, &length) != 2 ||
               length != 5 || hour < 0 || hour > 23 || minute < 0 || minute > 59) {
        return false;
    } else {
        minuteOfDay = hour * 60 + minute;
    }
    date = *day;
    return true;
}

// Every record's first line is looked at for a marker: split by hand, as a stream would split it
// in the "C" locale, at a fraction of the cost.
std::vector<std::string> MarkerWords(const std::string& line) {
    const auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    std::vector<std::string> words;
    for (auto at = line.begin(); at != line.end();) {
        at = std::find_if_not(at, line.end(), blank);
        const auto end = std::find_if(at, line.end(), blank);
        if (at != end) words.emplace_back(at, end);
        at = end;
    }
    return words;
}

// Names reach pages, pictures and terminals: no sign there that could mean markup.
bool IsMarkerName(const std::string& name) {
    const auto allowed = [](unsigned char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
               std::string_view("+-._/#()").find(static_cast<char>(c)) != std::string_view::npos;
    };
    return !name.empty() && std::all_of(name.begin(), name.end(), allowed);
}

std::optional<double> PositiveNumber(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value) || value <= 0) return std::nullopt;
    return value;
}

std::optional<QcMarker> ParseQcMarker(const std::string& firstLine, std::string* refusal) {
    auto marker = MarkerOf(MarkerWords(firstLine));
    if (!marker || marker->name.empty() || IsMarkerName(marker->name)) return marker;
    if (refusal != nullptr)
        *refusal = "a QC marker whose name is not " + std::string(kMarkerNameRule) +
                   ": read as a plain record";
    return std::nullopt;
}

std::string MarkerText(const QcMarker& m) {
    std::string text;
    if (!m.name.empty() && !IsMarkerName(m.name)) return {};
    switch (m.kind) {
        case QcMarker::Kind::Background:
            text = "QC BACKGROUND";
            break;
        case QcMarker::Kind::ChiSquare:
            text = m.name.empty() ? "QC CHI2" : "QC CHI2 " + m.name;
            break;
        case QcMarker::Kind::Plateau:
            text = m.name.empty() ? "PLATEAU" : "PLATEAU " + m.name;
            break;
        case QcMarker::Kind::Source:
            if (m.name.empty()) return {};
            text =
                "QC SOURCE " + m.name + " A=" + Number(m.activityBq) + " REF=" + m.reference.Text();
            if (m.referenceMinute != 0) {
                char time[8];
                std::snprintf(time, sizeof time, "T%02d:%02d", m.referenceMinute / 60 % 24,
                              m.referenceMinute % 60);
                text += time;
            }
            text += " HALF=" + Number(m.halfLifeDays);
            if (m.activityUPercent) text += " U=" + Number(*m.activityUPercent) + "%";
            break;
        case QcMarker::Kind::Exclude:
            text = "QC EXCLUDE " + RefText(m.excluded);
            if (MarkerWords(m.reason).empty()) return {};
            for (const std::string& word : MarkerWords(m.reason)) text += " " + word;
            break;
    }
    return text.size() <= kMarkerLimit ? text : std::string();
}

}  // namespace pulsedesk::analysis
