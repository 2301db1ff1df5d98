#include "journal/JournalCommandLine.h"

#include <cmath>
#include <cstdlib>
#include <map>
#include <set>

#include "analysis/Decay.h"
#include "analysis/QcMarker.h"
#include "analysis/Threshold.h"
#include "config/FileLookup.h"
#include "config/SourceCertificates.h"
#include "journal/PictureCommands.h"

namespace pulsedesk::journal {

namespace {

constexpr int kMaxBaseline = 1000;

const std::map<std::string, std::string> kHelp{
    {"report",
     "Usage: pulsectl report list|export|stats|qc|result|results|plot|html ...\n"
     "                       [--report-folder DIR] [--json]\n"
     "Reads the report folder (DIR, else Work_Folder of the panel's settings, else this\n"
     "program's folder); the device is never touched. Damaged lines are named on standard\n"
     "error and skipped.\n"
     "  list                          records: date, lines, the description's first line\n"
     "  export [--format csv|json] [--from YYYY-MM] [--to YYYY-MM] [--record [YYYY:]N]\n"
     "                                (--json is --format json)\n"
     "                                one row per measurement: end_local, year, record,\n"
     "                                description, label, threshold_mv, count_time_s, count,\n"
     "                                rate_cps, rate_u_cps (sqrt(N)/t), category, file, line;\n"
     "                                counts are raw, not corrected for dead time\n"
     "  stats --record [YYYY:]N       mean, spread and the chi-square test of a record\n"
     "  qc background|source NAME [--baseline N] [--baseline-from YYYY-MM-DD]\n"
     "     [--sample-time H:MM:SS]    control charts of the QC records, one per threshold,\n"
     "                                and Currie's detection limit for a sample count time\n"
     "  result --record [YYYY:]N      a sample's result at each threshold of its record\n"
     "                                (ISO 11929-1): the activity with its uncertainty, the\n"
     "                                decision threshold, the detection limit, the coverage\n"
     "                                interval, and Currie's L_C, L_D and MDA; exit 1 when\n"
     "                                refused, with the reason\n"
     "  results [--format csv|json] [--from YYYY-MM] [--to YYYY-MM]\n"
     "                                one row per SAMPLE record of the period and threshold,\n"
     "                                with the keys of result --json\n"
     "     result and results: [--source NAME] [--background baseline|[YYYY:]M]\n"
     "     [--mass KG | --volume L] [--mass-u PERCENT] [--yield Y] [--yield-u PERCENT]\n"
     "     [--alpha A] [--beta B] [--gamma G] (0.05 each)\n"
     "     [--sampled YYYY-MM-DD[THH:MM] --half-life VALUE UNIT] (a, d, h, min or s)\n"
     "     [--baseline N] [--baseline-from YYYY-MM-DD]\n"
     "                                the options override the record's first line,\n"
     "                                SAMPLE <id> [M=<kg> | V=<L>] [Y=<yield>[:<u %>]]\n"
     "                                [SRC=<source name>]; the background is the QC\n"
     "                                background baseline at the threshold, the efficiency\n"
     "                                the check source's baseline mean with its certificate\n"
     "                                (sources.cfg)\n"
     "  plot control background|source NAME [--from YYYY-MM] [--to YYYY-MM] [--baseline N]\n"
     "     [--baseline-from YYYY-MM-DD] --out FILE.svg|FILE.png\n"
     "                                the control charts as a picture, one per threshold\n"
     "  plot series --record [YYYY:]N --out FILE   a record's counts with their Poisson bars\n"
     "  plot plateau --record [YYYY:]N [--limit PERCENT] [--choose lowest|widest|highest |\n"
     "     --at MV] --out FILE\n"
     "                                the counting curve, flat runs shaded, working threshold\n"
     "  html --out DIR [--from YYYY-MM] [--to YYYY-MM] [--baseline N] [--baseline-from DATE]\n"
     "     [--sample-time H:MM:SS] [--results-only]\n"
     "                                the printable QA page DIR/qa-YYYY-MM.html: QC charts,\n"
     "                                sample results, records, tables and statistics,\n"
     "                                self-contained; --results-only: the sample results\n"
     "                                with their inputs alone, DIR/results-YYYY-MM.html\n"
     "The year of [YYYY:]N defaults to the newest in the folder. --json prints the figures\n"
     "as JSON. Pictures are drawn by pulseplot, beside pulsectl.\n"},
    {"qa",
     "Usage: pulsectl qa chi-square --repeat N --time H:MM:SS [--name NAME]\n"
     "       pulsectl qa background --time H:MM:SS [--repeat N]\n"
     "       pulsectl qa source --name NAME [--activity BQ] [--ref YYYY-MM-DD[THH:MM]]\n"
     "                          [--half-life DAYS] [--activity-u PERCENT] --time H:MM:SS\n"
     "                          [--repeat N]\n"
     "       pulsectl qa exclude --record [YYYY:]N --reason TEXT\n"
     "  qa source takes what its options do not give from the source's section of sources.cfg\n"
     "  (beside the program, in ~/.config/pulsedesk or in /etc/pulsedesk).\n"
     "  common: [--threshold MV] [--report-folder DIR]; background and source also\n"
     "  [--baseline N] [--baseline-from YYYY-MM-DD] [--sample-time H:MM:SS]\n"
     "Counts a quality-control series as measure does (mode 1, a record marked\n"
     "QC CHI2 / QC BACKGROUND / QC SOURCE in the work folder) and judges it:\n"
     "chi-square exits 0 when 0.05 <= p <= 0.95, else 4 (recount: a sound counter fails\n"
     "about one time in ten), or 3 when the previous test of the name failed too; background\n"
     "and source judge the new point by its own counting precision against the baseline\n"
     "before it and exit 0 in control (or not judged yet), 4 recount (beyond 2 sigma),\n"
     "3 out of service (beyond 3 sigma, two successive beyond 2 sigma on one side, or\n"
     "refused as implausible or saturated), 5 trend (four of five beyond 1 sigma, or eight\n"
     "successive, on one side: investigate). The threshold is restored at the end.\n"
     "exclude writes a record QC EXCLUDE [YYYY:]N TEXT: the charts show that record's points\n"
     "hollow with the reason and leave them out of every baseline; the journal is kept.\n"
     "While the panel holds the work folder, exits 1 naming the holder, before counting;\n"
     "a counter that another program holds is refused as measure refuses it (exit 1).\n"},
    {"plateau",
     "Usage: pulsectl plateau --from MV --to MV --step MV --time H:MM:SS [--name NAME]\n"
     "                        [--limit PCT] [--choose lowest|widest|highest | --at MV]\n"
     "                        [--report-folder DIR]\n"
     "Sweeps the discriminator threshold (the integral counting curve) from --from to --to\n"
     "in steps of --step (multiples of 2.5 mV), one count of --time at each, all in one\n"
     "record marked PLATEAU; each line carries the threshold the device reports. Prints\n"
     "every flat run of at least 3 points whose |slope| + 2 u(slope) is within --limit\n"
     "(default 5 % per 100 mV) and that spans no fall, widest first, and the working\n"
     "threshold: the middle of the widest run (--choose lowest|highest: of that run), or\n"
     "--at MV within a run. Fewer than 5 thresholds are no counting curve. The earlier\n"
     "threshold is restored at the end and after Ctrl-C. Exit 0 with a working threshold,\n"
     "3 without.\n"},
};

double ParseGridMv(const std::string& what, const std::string& text, double min) {
    const double value = ParseDecimal(what, text, min, analysis::kThresholdMaxMv);
    if (std::fmod(value, analysis::kThresholdStepMv) != 0)
        Refuse(what + " " + text + ": not a multiple of 2.5 mV");
    return value;
}

// --choose lowest|widest|highest or --at MV: which flat run's threshold is the working one.
bool TakePick(Arguments& w, const std::string& option, JournalOptions& o) {
    static const std::map<std::string, analysis::PlateauChoice> kChoices{
        {"lowest", analysis::PlateauChoice::Lowest},
        {"widest", analysis::PlateauChoice::Widest},
        {"highest", analysis::PlateauChoice::Highest}};
    if (option == "--choose") {
        const auto found = kChoices.find(w.Value(option));
        if (found == kChoices.end()) Refuse("--choose: want lowest, widest or highest");
        o.pick.choice = found->second;
    } else if (option == "--at") {
        o.pick.atMv = ParseGridMv(option, w.Value(option), analysis::kThresholdMinMv);
    } else {
        return false;
    }
    if (w.Seen("--choose") && w.Seen("--at")) Refuse(w.command + ": --choose or --at, not both");
    return true;
}

void ParseReference(const std::string& what, const std::string& text, JournalOptions& o) {
    if (!analysis::ParseReferenceTime(text, o.reference, o.referenceMinute))
        Refuse(what + " " + text + ": want YYYY-MM-DD or YYYY-MM-DDTHH:MM");
}

// The options qa source was not given, from the source's certificate in sources.cfg.
void TakeCertificate(const Arguments& w, JournalOptions& o) {
    const auto c = config::FindSourceCertificate(
        config::SourcesFileCandidates(config::ProgramFolder(),
                                      config::RootsFromEnvironment()),
        o.name);
    if (!c) return;  // what is missing is refused below
    const std::string where = " (in [" + o.name + "] of " + c->file + ")";
    if (!w.Seen("--activity") && !c->activityBq.empty())
        o.activityBq = ParseDecimal("Activity_Bq" + where, c->activityBq, 1e-9, 1e15);
    if (!w.Seen("--ref") && !c->reference.empty())
        ParseReference("Reference" + where, c->reference, o);
    if (!w.Seen("--half-life") && !c->halfLife.empty()) {
        const auto half = analysis::ParseHalfLife(c->halfLife);
        if (!half.value) Refuse("HalfLife" + where + ": " + half.reason);
        o.halfLifeDays = *half.value / 86400;
    }
    if (!w.Seen("--activity-u") && !c->uPercent.empty()) {
        const double k =
            c->coverageK.empty() ? 2 : ParseDecimal("Coverage_k" + where, c->coverageK, 1, 10);
        o.activityUPercent = ParseDecimal("U_percent" + where, c->uPercent, 1e-9, 100) / k;
    }
}

analysis::RecordRef ParseRecord(const std::string& text) {
    auto ref = analysis::ParseRecordRef(text);
    if (!ref) Refuse("--record " + text + ": want [YYYY:]N");
    return *ref;
}

analysis::YearMonth ParseMonth(const std::string& option, const std::string& text) {
    auto ym = analysis::ParseYearMonth(text);
    if (!ym) Refuse(option + " " + text + ": want YYYY-MM");
    return *ym;
}

analysis::CivilDate ParseDay(const std::string& option, const std::string& text) {
    auto d = analysis::ParseDate(text);
    if (!d) Refuse(option + " " + text + ": want a date YYYY-MM-DD");
    return *d;
}

double ParseSeconds(const std::string& option, const std::string& text) {
    const ClockTime t = ParseCountTime(option, text);
    return t.hours * 3600.0 + t.minutes * 60.0 + t.seconds;
}

// A probability above 0 and below max.
double ParseProbability(const std::string& option, const std::string& text, double max) {
    const double p = ParseDecimal(option, text, 0, max);
    if (p <= 0 || p >= max)
        Refuse(option + " " + text + ": want a probability above 0 and below " +
               (max == 1 ? "1" : "0.5"));
    return p;
}

// "--half-life 30.08 a", or the value and its unit as one word: "--half-life '30.08 a'".
void ParseSampleHalfLife(Arguments& w, const std::string& option, SampleOptions& s) {
    s.halfLife = w.Value(option);
    if (std::string unit; s.halfLife.find(' ') == std::string::npos && w.NextWord(unit))
        s.halfLife += " " + unit;
    const auto seconds = analysis::ParseHalfLife(s.halfLife);
    if (!seconds.value) Refuse(option + ": " + seconds.reason);
    s.halfLifeSeconds = *seconds.value;
}

// report result's and results' own options; false when the option is none of them.
bool TakeSampleOption(Arguments& w, const std::string& option, SampleOptions& s) {
    if (option == "--source") {
        s.source = w.Value(option);
        if (!analysis::IsMarkerName(s.source))
            Refuse(option + " " + s.source + ": " + analysis::kMarkerNameRule);
    } else if (option == "--background") {
        const std::string text = w.Value(option);
        if (text != "baseline") {
            s.background = analysis::ParseRecordRef(text);
            if (!s.background) Refuse(option + " " + text + ": want baseline or [YYYY:]M");
        }
    } else if (option == "--mass" || option == "--volume") {
        if (w.Seen("--mass") && w.Seen("--volume")) Refuse("give --mass or --volume, not both");
        (option == "--mass" ? s.massKg : s.volumeL) =
            ParseDecimal(option, w.Value(option), 1e-9, 1e6);
    } else if (option == "--mass-u" || option == "--yield-u") {
        (option == "--mass-u" ? s.aliquotUPercent : s.yieldUPercent) =
            ParseDecimal(option, w.Value(option), 0, 100);
    } else if (option == "--yield") {
        s.yield = ParseDecimal(option, w.Value(option), 1e-9, 1);
    } else if (option == "--alpha" || option == "--beta") {
        (option == "--alpha" ? s.alpha : s.beta) = ParseProbability(option, w.Value(option), 0.5);
    } else if (option == "--gamma") {
        s.gamma = ParseProbability(option, w.Value(option), 1);
    } else if (option == "--sampled") {
        const std::string text = w.Value(option);
        s.sampled.emplace();
        if (!analysis::ParseReferenceTime(text, *s.sampled, s.sampledMinute))
            Refuse(option + " " + text + ": want YYYY-MM-DD or YYYY-MM-DDTHH:MM");
    } else if (option == "--half-life") {
        ParseSampleHalfLife(w, option, s);
    } else {
        return false;
    }
    return true;
}

// Options that the report and qa commands share; false when the option is none of them.
bool TakeCommon(Arguments& w, const std::string& option, JournalOptions& o) {
    if (option == "--report-folder") {
        o.reportFolder = ParseFolder(option, w.Value(option));
    } else if (option == "--baseline") {
        o.baseline.points = static_cast<int>(ParseWhole(option, w.Value(option), 1, kMaxBaseline));
    } else if (option == "--baseline-from") {
        o.baseline.from = ParseDay(option, w.Value(option));
    } else if (option == "--sample-time") {
        o.sampleSeconds = ParseSeconds(option, w.Value(option));
    } else {
        return false;
    }
    return true;
}

void ParseReportOption(Arguments& w, const std::string& option, JournalOptions& o) {
    const std::string& a = o.action;
    const bool pictures = a == "plot" || a == "html";
    const bool charts = a == "qc" || a == "html" || o.chart == "control";
    const bool results = a == "result" || a == "results";
    const bool rows = a == "export" || a == "results";
    const bool months = rows || (charts && a != "qc");
    // Results stand on the QC baselines as the charts do, for a count time of their own.
    const bool baselines = (charts || results) && !(results && option == "--sample-time");
    if (pictures && option == "--out") {
        o.out = w.Value(option);
    } else if (a == "html" && option == "--results-only") {
        o.resultsOnly = true;
    } else if (results && TakeSampleOption(w, option, o.sample)) {
    } else if (o.chart == "plateau" && option == "--limit") {
        o.limit = ParseDecimal(option, w.Value(option), 0.01, 1000);
    } else if (o.chart == "plateau" && TakePick(w, option, o)) {
    } else if (pictures && option == "--json") {
        w.RefuseOption(option);
    } else if (option == "--json") {
        o.json = true;
    } else if (rows && option == "--format") {
        const std::string format = w.Value(option);
        if (format != "csv" && format != "json")
            Refuse("--format " + format + ": want csv or json");
        o.csv = format == "csv";
    } else if (months && option == "--from") {
        o.months.from = ParseMonth(option, w.Value(option));
    } else if (months && option == "--to") {
        o.months.to = ParseMonth(option, w.Value(option));
    } else if ((a == "export" || a == "stats" || a == "result" || (a == "plot" && !charts)) &&
               option == "--record") {
        o.record = ParseRecord(w.Value(option));
    } else if (!(baselines || option == "--report-folder") || !TakeCommon(w, option, o)) {
        w.RefuseOption(option);
    }
}

// The word after the command, or empty when there is none.
std::string Subcommand(Arguments& a) { return a.Done() ? std::string() : a.Word("subcommand"); }

void ParseQaOption(Arguments& w, const std::string& option, JournalOptions& o) {
    const bool source = o.action == "source";
    const bool charted = source || o.action == "background";
    // Exclusion only writes a record: an option of a count would be silently ignored.
    const bool counts = o.action != "exclude";
    if (counts && option == "--time") {
        o.time = ParseCountTime(option, w.Value(option));
    } else if (counts && option == "--repeat") {
        o.repeat = static_cast<int>(ParseWhole(option, w.Value(option), 1, kMaxRepeat));
    } else if (counts && option == "--threshold") {
        o.threshold = ParseThreshold(option, w.Value(option));
    } else if (counts && option == "--name" && o.action != "background") {
        o.name = w.Value(option);
    } else if (source && option == "--activity") {
        o.activityBq = ParseDecimal(option, w.Value(option), 1e-9, 1e15);
    } else if (source && option == "--ref") {
        ParseReference(option, w.Value(option), o);
    } else if (source && option == "--half-life") {
        o.halfLifeDays = ParseDecimal(option, w.Value(option), 1e-6, 1e15);
    } else if (o.action == "exclude" && option == "--record") {
        o.record = ParseRecord(w.Value(option));
    } else if (o.action == "exclude" && option == "--reason") {
        o.reason = w.Value(option);
    } else if (source && option == "--activity-u") {
        o.activityUPercent = ParseDecimal(option, w.Value(option), 1e-9, 100);
    } else if (!(charted || option == "--report-folder") || !TakeCommon(w, option, o)) {
        w.RefuseOption(option);
    }
}

analysis::QcMarker MarkerOf(const JournalOptions& o, analysis::QcMarker::Kind kind) {
    return {kind,
            o.name,
            o.activityBq,
            o.reference,
            o.halfLifeDays,
            o.activityUPercent,
            o.referenceMinute,
            {},
            {}};
}

// The marker line, refused when it would not fit the report's first description line whole.
std::string MarkerLine(const analysis::QcMarker& marker) {
    std::string text = analysis::MarkerText(marker);
    if (text.empty())
        Refuse("--name " + marker.name + ": " + analysis::kMarkerNameRule +
               ", short enough that the record's first line stays within 68 characters");
    return text;
}

}  // namespace

JournalOptions ParseReport(Arguments& args) {
    JournalOptions o;
    static const std::set<std::string> kSubcommands{"list",   "export",  "stats", "qc",
                                                    "result", "results", "plot",  "html"};
    if (args.Done())
        Refuse("report: list, export, stats, qc, result, results, plot or html is needed");
    o.action = Subcommand(args);
    if (kSubcommands.count(o.action) == 0)
        Refuse("report " + o.action +
               ": want list, export, stats, qc, result, results, plot or html");
    args.Within(o.action);
    if (o.action == "plot") o.chart = ParsePlotChart(Subcommand(args));
    if (o.action == "qc" || o.chart == "control") {
        const std::string command = "report " + o.action + (o.chart.empty() ? "" : " control");
        const std::string chart = Subcommand(args);
        if (chart != "background" && chart != "source")
            Refuse(command + ": background or source NAME is needed");
        o.sourceChart = chart == "source";
        if (o.sourceChart && !args.NextWord(o.name))
            Refuse(command + " source: the source's NAME is needed");
    }
    Arguments& w = args;
    for (std::string option; w.NextOption(option);) ParseReportOption(w, option, o);
    if (o.action == "plot" || o.action == "html") CheckPictureOptions(o);
    if ((o.action == "stats" || o.action == "result") && !o.record)
        Refuse("report " + o.action + ": --record [YYYY:]N is needed");
    if (w.Seen("--sampled") != w.Seen("--half-life"))
        Refuse("report " + o.action + ": --sampled and --half-life go together");
    if (o.json && (o.action == "export" || o.action == "results")) {
        if (w.Seen("--format") && o.csv) Refuse("report " + o.action + ": --json and --format csv");
        o.csv = false;
    }
    if (o.months.from && o.months.to && *o.months.to < *o.months.from)
        Refuse("report " + o.action + ": --to lies before --from");
    return o;
}

JournalOptions ParseQa(Arguments& args) {
    using Kind = analysis::QcMarker::Kind;
    JournalOptions o;
    o.action = Subcommand(args);
    static const std::map<std::string, Kind> kinds{{"chi-square", Kind::ChiSquare},
                                                   {"background", Kind::Background},
                                                   {"source", Kind::Source},
                                                   {"exclude", Kind::Exclude}};
    const auto kind = kinds.find(o.action);
    if (kind == kinds.end()) Refuse("qa: chi-square, background, source or exclude is needed");
    args.Within(o.action);
    o.sourceChart = kind->second == Kind::Source;
    Arguments& w = args;
    for (std::string option; w.NextOption(option);) ParseQaOption(w, option, o);
    if (o.action == "exclude") {
        if (!o.record || analysis::MarkerWords(o.reason).empty())
            Refuse("qa exclude: --record [YYYY:]N and --reason TEXT are needed");
        analysis::QcMarker marker = MarkerOf(o, kind->second);
        marker.excluded = *o.record;
        marker.reason = o.reason;
        o.marker = analysis::MarkerText(marker);
        if (o.marker.empty()) Refuse("qa exclude: the reason is too long for one line of 68");
        return o;
    }
    if (!w.Seen("--time")) Refuse("qa " + o.action + ": --time H:MM:SS is needed");
    if (o.action == "chi-square" && (!w.Seen("--repeat") || o.repeat < 2))
        Refuse("qa chi-square: --repeat N with N of 2 or more is needed");
    if (o.action == "source" && !w.Seen("--name")) Refuse("qa source: --name is needed");
    if (o.action == "source") TakeCertificate(w, o);
    const bool given[] = {o.activityBq > 0, o.reference.Valid(), o.halfLifeDays > 0};
    const char* needed[] = {"--activity", "--ref", "--half-life"};
    for (int i = 0; i < 3; ++i)
        if (o.action == "source" && !given[i])
            Refuse(std::string("qa source: ") + needed[i] +
                   " is needed (or the source's section in sources.cfg)");
    o.marker = MarkerLine(MarkerOf(o, kind->second));
    return o;
}

JournalOptions ParsePlateau(Arguments& w) {
    JournalOptions o;
    o.action = "plateau";
    for (std::string option; w.NextOption(option);) {
        if (option == "--from")
            o.fromMv = ParseGridMv(option, w.Value(option), analysis::kThresholdMinMv);
        else if (option == "--to")
            o.toMv = ParseGridMv(option, w.Value(option), analysis::kThresholdMinMv);
        else if (option == "--step")
            o.stepMv = ParseGridMv(option, w.Value(option), analysis::kThresholdStepMv);
        else if (option == "--limit")
            o.limit = ParseDecimal(option, w.Value(option), 0.01, 1000);
        else if (TakePick(w, option, o))
            continue;
        else if (option == "--time" || option == "--name" || option == "--report-folder")
            ParseQaOption(w, option, o);
        else
            w.RefuseOption(option);
    }
    for (const char* needed : {"--from", "--to", "--step", "--time"})
        if (!w.Seen(needed)) Refuse(std::string("plateau: ") + needed + " is needed");
    if (o.toMv <= o.fromMv) Refuse("plateau: --to must lie above --from");
    if ((o.toMv - o.fromMv) / o.stepMv + 1 > kMaxRepeat) Refuse("plateau: too many points");
    o.marker = MarkerLine(MarkerOf(o, analysis::QcMarker::Kind::Plateau));
    return o;
}

std::string JournalHelpText(const std::string& command) {
    const auto found = kHelp.find(command);
    return found == kHelp.end() ? std::string() : found->second;
}

}  // namespace pulsedesk::journal
