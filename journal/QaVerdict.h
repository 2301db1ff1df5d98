// The judging half of pulsectl qa and plateau: the record just counted is read back from the
// journal and judged; the exit code says the verdict.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "journal/JournalCommandLine.h"

namespace pulsedesk::journal {

// Exit codes besides 0.
inline constexpr int kQaFailed = 3;   // chi-square failed, out of service, no plateau
inline constexpr int kQaRecount = 4;  // a point beyond 2 sigma, a chi-square failed once
inline constexpr int kQaTrend = 5;    // a run rule: investigate

// Reads the folder's journal, finds the newest record marked as the options mark it and prints
// its verdict on out; damaged lines go to err. Raises ReportError when the record is not there.
int JudgeQaRecord(const JournalOptions& options, const std::string& folder, std::FILE* out,
                  std::FILE* err);

// qa exclude: writes, through write (the report store), a record that excludes the record of
// options.record from the charts with the reason the marker gives.
int RunExclude(const JournalOptions& options, const std::string& folder,
               const std::function<void(const std::string&)>& write, std::FILE* out,
               std::FILE* err);

}  // namespace pulsedesk::journal
