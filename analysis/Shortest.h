// The shortest text that reads back as the same double, exactly as std::to_chars(first, last,
// value) writes it (fixed or exponent form, whichever is shorter, fixed on a tie), in about
// half its instructions: an export writes two such numbers in each of a year's hundred
// thousand rows.
#pragma once

#include <cstddef>

namespace pulsedesk::analysis {

// At most this many characters ("-2.2250738585072014e-308").
inline constexpr std::size_t kMostShortest = 24;
// The room the writing needs at `at`: more than the text, as the digits go in blocks.
inline constexpr std::size_t kShortestRoom = 48;

// Writes at `at`; returns the text's end.
char* PutShortest(char* at, double value);

}  // namespace pulsedesk::analysis
