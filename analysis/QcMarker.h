// The first description line that marks a record as a quality-control run, as qa writes it
// and as an operator may type it on the panel:
//   QC BACKGROUND
//   QC SOURCE <name> A=<Bq> REF=<YYYY-MM-DD>[T<HH:MM>] HALF=<days> [U=<percent>]
//   QC CHI2 [<name>]
//   QC EXCLUDE [<YYYY>:]<N> <reason>
//   PLATEAU [<name>]
// At most 68 ASCII characters, so the report store never cuts the line.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/Journal.h"

namespace pulsedesk::analysis {

inline constexpr std::size_t kMarkerLimit = 68;
// What a marker's name may hold, for the messages that refuse one.
inline constexpr const char* kMarkerNameRule =
    "one word of ASCII letters, digits and the signs + - . _ / # ( )";

// The rules every marker's words follow: words split at blanks; a name follows
// kMarkerNameRule; a number is a whole word, finite and above zero.
std::vector<std::string> MarkerWords(const std::string& line);
bool IsMarkerName(const std::string& name);
std::optional<double> PositiveNumber(const std::string& text);

struct QcMarker {
    enum class Kind { Background, Source, ChiSquare, Plateau, Exclude };
    Kind kind = Kind::Background;
    std::string name;  // a word without blanks; empty where it is optional
    // Source only: the activity A0 on the reference day, its half-life, and the activity's
    // relative standard uncertainty in percent when known.
    double activityBq = 0;
    CivilDate reference;
    double halfLifeDays = 0;
    std::optional<double> activityUPercent;
    int referenceMinute = 0;  // the reference's time of day; midnight when not given
    // Exclude only: the record left out of the charts, and why.
    RecordRef excluded;
    std::string reason;
};

// "YYYY-MM-DD", "YYYY-MM-DDTHH:MM" or "YYYY-MM-DD HH:MM" into a reference day and minute.
bool ParseReferenceTime(const std::string& text, CivilDate& date, int& minuteOfDay);

// Nothing when the line is no marker. A marker whose name breaks kMarkerNameRule is none
// either; refusal, when given, then says why (and stays empty otherwise).
std::optional<QcMarker> ParseQcMarker(const std::string& firstLine, std::string* refusal = nullptr);
// The marker's text; empty when it would not fit in kMarkerLimit ASCII characters or the name
// breaks kMarkerNameRule.
std::string MarkerText(const QcMarker& marker);

}  // namespace pulsedesk::analysis
