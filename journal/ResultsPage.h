// The sample results on the QA page, and on a page of their own for the lab's report to its
// client: each result with its inputs and where they came from.
#pragma once

#include <string>
#include <vector>

#include "analysis/Journal.h"
#include "journal/HtmlPage.h"
#include "journal/QaPage.h"
#include "journal/SampleResults.h"

namespace pulsedesk::journal {

// The "Sample results" section: the results at a glance, then each with its inputs.
void SampleResultsSection(HtmlPage& page, const std::vector<SampleReport>& results);

// The results of the period's SAMPLE records alone; journal: the whole work folder's.
std::string ResultsPageHtml(const analysis::Journal& journal, const QaPageOptions& options);

// "results-2026-03.html", ...: the QA page's name for the period with its own prefix.
std::string ResultsPageName(const analysis::JournalFilter& months);

}  // namespace pulsedesk::journal
