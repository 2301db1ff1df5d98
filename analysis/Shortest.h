// The shortest text that reads back as the same double, exactly as std::to_chars(first, last,
// value) writes it (fixed or exponent form, whichever is shorter, fixed on a tie), in about
// half its instructions: an export writes two such numbers in each of a year's hundred
// thousand rows.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pulsedesk::analysis {

// At most this many characters ("-2.2250738585072014e-308").
inline constexpr std::size_t kMostShortest = 24;
// The room the writing needs at `at`: more than the text, as the digits go in blocks.
inline constexpr std::size_t kShortestRoom = 48;

// Writes at `at`; returns the text's end.
char* PutShortest(char* at, double value);
// The same for quotients, one after another: rates, counts over count times. Such a quotient is
// mostly a decimal of few digits, which are then the shortest text, and the search for it is left
// out; the denominator's factors are found once for the quotients that share it.
class QuotientWriter {
  public:
    // value: the double read from numerator / denominator.
    char* Put(char* at, double value, std::uint64_t numerator, std::uint64_t denominator);

  private:
    // 1 / denominator = factor / 10^tens, when decimal.
    struct Scale {
        std::uint64_t denominator = 0;
        std::uint64_t factor = 0;
        int tens = 0;
        bool decimal = false;
    };
    static Scale ScaleOf(std::uint64_t denominator);
    Scale scale;
};

}  // namespace pulsedesk::analysis
