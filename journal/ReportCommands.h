// pulsectl report list|export|stats|qc|result|results: the report folder as data; the device is
// never touched and nothing is written.
#pragma once

#include <cstdio>
#include <string>

#include "analysis/Journal.h"
#include "config/ConfigFile.h"
#include "journal/JournalCommandLine.h"

namespace pulsedesk::journal {

// The folder given, else Work_Folder of the panel's settings, else programFolder (where a
// portable panel beside this program writes its reports); raises UsageError when neither a
// folder nor a settings file is there.
std::string JournalFolder(const std::string& given, const config::ConfigFile& config,
                          const std::string& programFolder);

// Reads the journal of an existing folder; raises ReportError when there is none or it cannot
// be listed. Damaged lines and unreadable year folders are named on err.
analysis::Journal ReadJournalOf(const std::string& folder, std::FILE* err,
                                const analysis::JournalFilter& filter = {});

// The record the reference names; raises ReportError when there is none.
const analysis::JournalRecord& RecordOf(const analysis::Journal& journal,
                                        const analysis::RecordRef& ref, const std::string& folder);

// The control charts of the QC records that the options name: background, or the source's.
std::vector<analysis::ControlChart> QcChartsOf(const analysis::Journal& journal,
                                               const JournalOptions& options);

// Runs the subcommand; its exit code.
int RunReport(const JournalOptions& options, const std::string& folder, std::FILE* out,
              std::FILE* err);

}  // namespace pulsedesk::journal
