// pulsectl report plot|html: the journal's charts as SVG or PNG files, and the printable QA
// page. The pictures are drawn by pulseplot (PlotProcess); nothing here links Qt.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "journal/JournalCommandLine.h"

namespace pulsedesk::journal {

// "control", "series" or "plateau" after report plot; raises UsageError for anything else.
std::string ParsePlotChart(const std::string& word);

// What report plot and report html need beyond their options; raises UsageError.
void CheckPictureOptions(const JournalOptions& options);

// Reads the whole journal of folder and draws; the exit code. A missing folder or record raises
// ReportError, pulseplot's failure PlotError, a file's FileError.
int RunPictureCommand(const JournalOptions& options, const std::string& folder,
                      const std::string& pulseplot, std::FILE* out, std::FILE* err);

}  // namespace pulsedesk::journal
