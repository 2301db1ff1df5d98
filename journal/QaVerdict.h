// The judging half of pulsectl qa and plateau: the record just counted is read back from the
// journal and judged; the exit code says the verdict.
#pragma once

#include <cstdio>
#include <string>

#include "journal/JournalCommandLine.h"

namespace pulsedesk::journal {

// Exit codes besides 0.
inline constexpr int kQaFailed = 3;   // chi-square failed, out of service, no plateau
inline constexpr int kQaRecount = 4;  // a point beyond 2 sigma

// Reads the folder's journal, finds the newest record marked as the options mark it and prints
// its verdict on out; damaged lines go to err. Raises ReportError when the record is not there.
int JudgeQaRecord(const JournalOptions& options, const std::string& folder, std::FILE* out,
                  std::FILE* err);

}  // namespace pulsedesk::journal
