// The journal's sample records as results (analysis/SampleResult.h): the inputs gathered from
// the journal, one result per threshold of a record, and the result in words with where each
// input came from.
//   gross       the record's lines at the threshold
//   background  the QC background baseline at the threshold (pooled rate, total count time,
//               its extra spread), or one paired record's lines at it
//   efficiency  the check source's baseline mean at the threshold, with its spread over the
//               points and the certificate's uncertainty (sources.cfg, else the QC SOURCE
//               marker's U=); refused when the source's newest check on or before the record's
//               day is out of service
//   mass or volume, yield  from the SAMPLE marker, each overridden by its option
//   decay       to the sampling time, when --sampled and --half-life are given
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "analysis/ControlChart.h"
#include "analysis/Journal.h"
#include "analysis/SampleMarker.h"
#include "analysis/SampleResult.h"
#include "config/SourceCertificates.h"
#include "journal/JournalCommandLine.h"

namespace pulsedesk::journal {

// One result with the words on its inputs that the result's own fields do not hold.
struct SampleReport {
    analysis::SampleInputs inputs;
    analysis::SampleResult result;
    analysis::CivilDate date;    // the record's
    std::string backgroundNote;  // "QC BACKGROUND baseline at 250 mV: 20 points ..."
    std::string efficiencyNote;  // "Sr90 baseline at 250 mV: ...; last check ...; certificate ..."
    std::string decayNote;       // empty without a decay correction
};

// A check source's certificate by name; nothing when there is none.
using CertificateLookup =
    std::function<std::optional<config::SourceCertificate>(const std::string& name)>;
// The certificates of the first sources.cfg found, as qa source finds them.
CertificateLookup SourcesFileCertificates();

// The QC charts of a journal, built once, and the results of its sample records on them.
class SampleResults {
  public:
    SampleResults(const analysis::Journal& journal, const analysis::BaselineRule& baseline,
                  SampleOptions options, CertificateLookup certificates);

    // The record's results, one per threshold of its lines, in threshold order. A record
    // whose SAMPLE marker is malformed gets results refused with the marker's reason.
    std::vector<SampleReport> Of(const analysis::JournalRecord& record,
                                 const analysis::Checked<analysis::SampleMarker>& marker) const;
    // Every SAMPLE record's results, the record dated within the months.
    std::vector<SampleReport> InPeriod(const analysis::JournalFilter& months) const;

  private:
    void Background(const analysis::JournalRecord& record, SampleReport& report) const;
    void Efficiency(const analysis::JournalRecord& record, const std::string& markerSource,
                    SampleReport& report) const;
    std::string SourceAt(std::int32_t thresholdMv, const std::string& markerSource,
                         analysis::SampleInputs& in) const;
    void Decay(const analysis::JournalRecord& record, SampleReport& report) const;

    const analysis::Journal& journal;
    SampleOptions options;
    CertificateLookup certificates;
    std::vector<analysis::ControlChart> backgroundCharts;
    std::map<std::string, std::vector<analysis::ControlChart>> sourceCharts;  // by source name
    std::map<std::string, double> markerUPercent;  // the newest QC SOURCE marker's U=, by name
};

// "7.22 ± 0.78 Bq/kg (k = 2)" for a detected sample, "< 0.86 Bq/kg" for one not detected,
// "not detected (no detection limit exists)" or "refused: <reason>".
std::string ResultLine(const analysis::SampleResult& result);
// The result and its inputs as pairs of a name and its text, for the terminal and the page.
std::vector<std::pair<std::string, std::string>> ResultFacts(const SampleReport& report);
// The facts one under the other, for a terminal.
std::string ResultText(const SampleReport& report);

}  // namespace pulsedesk::journal
