// The command lines of the journal commands: report (a report folder, never the device), qa
// and plateau (runs on the counter, written as records). Every value is checked before
// anything is sent or read; a bad one raises UsageError.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/ControlChart.h"
#include "analysis/Journal.h"
#include "analysis/Plateau.h"
#include "journal/Arguments.h"

namespace pulsedesk::journal {

// report result and results: what overrides a sample's SAMPLE marker, and the probabilities
// the characteristic limits are set for.
struct SampleOptions {
    std::string source;                             // the efficiency's check source
    std::optional<analysis::RecordRef> background;  // a paired background; none: the baseline
    std::optional<double> massKg, volumeL;
    std::optional<double> aliquotUPercent;  // of the mass or the volume
    std::optional<double> yield, yieldUPercent;
    double alpha = 0.05, beta = 0.05, gamma = 0.05;
    std::optional<analysis::CivilDate> sampled;  // decay corrected to this time
    int sampledMinute = 0;
    double halfLifeSeconds = 0;
    std::string halfLife;  // as typed: "30.08 a"
};

struct JournalOptions {
    std::string action;        // report: list, export, stats, qc, result, results, plot, html;
                               // qa: chi-square, background, source, exclude; plateau: plateau
    std::string reportFolder;  // empty: the settings' work folder
    bool json = false;

    // report export
    bool csv = true;
    analysis::JournalFilter months;
    std::optional<analysis::RecordRef> record;  // export, stats, qa exclude

    // report qc and qa background|source
    bool sourceChart = false;  // the source NAME's chart rather than the background's
    analysis::BaselineRule baseline;
    std::optional<double> sampleSeconds;

    // qa and plateau
    std::string name;
    std::string reason;  // qa exclude
    std::string marker;  // the description's first line that marks the record
    ClockTime time;
    int repeat = 1;
    std::optional<std::int32_t> threshold;  // qa: counted at this threshold, mV
    double activityBq = 0;
    analysis::CivilDate reference;
    int referenceMinute = 0;  // the reference's time of day
    double halfLifeDays = 0;
    std::optional<double> activityUPercent;
    double fromMv = 0, toMv = 0, stepMv = 0;  // plateau
    double limit = 5.0;                       // plateau: percent per 100 mV
    analysis::PlateauPick pick;               // plateau: --choose or --at

    // report plot and html (PictureCommands)
    std::string chart;  // plot: control, series or plateau
    std::string out;    // plot: FILE.svg or FILE.png; html: a folder
    bool resultsOnly = false;  // html: the sample results' page

    SampleOptions sample;  // report result and results
};

// The arguments after "report", "qa" and "plateau".
JournalOptions ParseReport(Arguments& args);
JournalOptions ParseQa(Arguments& args);
JournalOptions ParsePlateau(Arguments& args);

// The help of report, qa or plateau; empty for another command.
std::string JournalHelpText(const std::string& command);

}  // namespace pulsedesk::journal
