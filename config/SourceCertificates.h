// The check sources' certificates, `sources.cfg`, found as the settings file is: beside the
// program, in the user's settings folder, in /etc/pulsedesk. One section per source:
//   [Cs137]
//   Activity_Bq=37000
//   Reference=2020-06-01 12:00     (a date, the time of day when the certificate gives one)
//   HalfLife=30.08 a               (a, d, h, min or s)
//   U_percent=3                    (the expanded uncertainty of the activity)
//   Coverage_k=2                   (its coverage factor; 2 when not given)
// The texts come back as written; the command that uses them checks and converts them.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/FileLookup.h"

namespace pulsedesk::config {

std::vector<std::string> SourcesFileCandidates(const std::string& programFolder,
                                               const LookupRoots& roots);

struct SourceCertificate {
    std::string file;                                                  // where it was read
    std::string activityBq, reference, halfLife, uPercent, coverageK;  // empty when absent
};

// The named source's section of the first sources.cfg found; nothing without a file or a
// section of that name.
std::optional<SourceCertificate> FindSourceCertificate(const std::vector<std::string>& candidates,
                                                       const std::string& name);

}  // namespace pulsedesk::config
