#include "analysis/Shortest.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <dragonbox/dragonbox.h>

namespace pulsedesk::analysis {

namespace {

// Beyond this the fixed form's digits are the double's exact value, not the shortest digits
// padded with zeros; such numbers are left to the library.
constexpr double kExactIntegers = 9007199254740992.0;  // 2^53

constexpr char kPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

char* PutPair(char* end, std::uint32_t pair) {
    end -= 2;
    end[0] = kPairs[pair * 2];
    end[1] = kPairs[pair * 2 + 1];
    return end;
}

// The eight digits of n < 10^8 as characters in memory order: the two halves, their hundreds
// and their tens are split off in every lane of the word at once.
std::uint64_t EightDigits(std::uint32_t n) {
    std::uint64_t v = n / 10000 | std::uint64_t{n % 10000} << 32;
    std::uint64_t q = (v * 10486 >> 20) & 0x0000007F0000007F;  // x / 100 for x < 10^4
    v = q | (v - q * 100) << 16;
    q = (v * 103 >> 10) & 0x000F000F000F000F;  // x / 10 for x < 100
    v = (q | (v - q * 10) << 8) | 0x3030303030303030;
    return std::endian::native == std::endian::little ? v : __builtin_bswap64(v);
}

// The significand's digits, written backwards ending at `end`; returns where they start. Eight
// digits at a time are split off in 64 bits, the rest is written in cheaper 32-bit steps.
char* PutSignificand(char* end, std::uint64_t n) {
    constexpr std::uint32_t kEight = 100000000;
    char* at = end;
    for (; n >= kEight; n /= kEight) {
        at -= 8;
        const std::uint64_t digits = EightDigits(static_cast<std::uint32_t>(n % kEight));
        std::memcpy(at, &digits, sizeof digits);
    }
    auto rest = static_cast<std::uint32_t>(n);
    for (; rest >= 100; rest /= 100) at = PutPair(at, rest % 100);
    if (rest >= 10) return PutPair(at, rest);
    *--at = static_cast<char>('0' + rest);
    return at;
}

// The digits are copied in blocks of a fixed size, which the compiler turns into a few moves,
// where a copy of their own length would be a call: what lies beyond them is overwritten or
// beyond the text's end. The room holds the digits with a block's length to spare behind them.
constexpr std::size_t kBlock = 20;
constexpr std::size_t kDigitsEnd = 24;
constexpr std::size_t kRoom = kDigitsEnd + kBlock + 4;
// The farthest a text reaches: a sign, 17 digits before the point, the point, a block.
static_assert(kShortestRoom >= 1 + 17 + 1 + kBlock);

char* PutExponentForm(char* at, const char* digits, int n, int exponent) {
    *at++ = digits[0];
    if (n > 1) {
        *at++ = '.';
        std::memcpy(at, digits + 1, kBlock);
        at += n - 1;
    }
    *at++ = 'e';
    *at++ = exponent < 0 ? '-' : '+';
    const int magnitude = std::abs(exponent);
    if (magnitude >= 100) *at++ = static_cast<char>('0' + magnitude / 100);
    *at++ = static_cast<char>('0' + magnitude / 10 % 10);
    *at++ = static_cast<char>('0' + magnitude % 10);
    return at;
}

// point: where the decimal point falls, counted in digits from the first. The fixed form is
// taken only when it is no longer than the exponent form: it has at most 3 zeros after the
// point before the digits and at most 5 after them.
char* PutFixedForm(char* at, const char* digits, int n, int point) {
    constexpr std::size_t kMostZeros = 8;
    if (point <= 0) {
        *at++ = '0';
        *at++ = '.';
        std::memset(at, '0', kMostZeros);
        at += -point;
        std::memcpy(at, digits, kBlock);
        return at + n;
    }
    std::memcpy(at, digits, kBlock);
    if (point >= n) {
        std::memset(at + n, '0', kMostZeros);
        return at + point;
    }
    at[point] = '.';
    std::memcpy(at + point + 1, digits + point, kBlock);
    return at + n + 1;
}

// significand × 10^exponent, the significand without trailing zeros.
char* PutDecimal(char* at, bool negative, std::uint64_t significand, int exponent10) {
    char room[kRoom] = {};
    const char* digits = PutSignificand(room + kDigitsEnd, significand);
    const int n = static_cast<int>(room + kDigitsEnd - digits);
    if (negative) *at++ = '-';
    const int point = n + exponent10;
    const int exponent = point - 1;
    const int exponentDigits = std::abs(exponent) >= 100 ? 3 : 2;
    const int exponentLength = n + (n > 1 ? 1 : 0) + 2 + exponentDigits;
    const int fixedLength = point <= 0 ? 2 - point + n : point >= n ? point : n + 1;
    return fixedLength <= exponentLength ? PutFixedForm(at, digits, n, point)
                                         : PutExponentForm(at, digits, n, exponent);
}

// Up to 10^15 a decimal's digits are its double's shortest text: no two decimals of at most 15
// digits read as the same double.
constexpr std::uint64_t kUniqueDigits = 1000000000000000;
constexpr double kTens[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                            1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
constexpr int kMostTens = 15;

}  // namespace

char* PutShortest(char* at, double value) {
    if (value == 0 || !std::isfinite(value) || std::fabs(value) >= kExactIntegers)
        return std::to_chars(at, at + kMostShortest, value).ptr;
    const auto decimal = jkj::dragonbox::to_decimal(value);
    return PutDecimal(at, decimal.is_negative, decimal.significand, decimal.exponent);
}

QuotientWriter::Scale QuotientWriter::ScaleOf(std::uint64_t denominator) {
    if (denominator == 0) return {};
    const int twos = std::countr_zero(denominator);
    std::uint64_t rest = denominator >> twos;
    int fives = 0;
    for (; rest % 5 == 0; rest /= 5) ++fives;
    const int tens = std::max(twos, fives);
    if (rest != 1 || tens > kMostTens) return {};
    // 1 / (2^twos 5^fives) = 2^(tens - twos) 5^(tens - fives) / 10^tens
    std::uint64_t factor = std::uint64_t{1} << (tens - twos);
    for (int i = fives; i < tens; ++i) factor *= 5;
    return {denominator, factor, tens, true};
}

char* QuotientWriter::Put(char* at, double value, std::uint64_t numerator,
                          std::uint64_t denominator) {
    if (denominator != scale.denominator) scale = ScaleOf(denominator);
    std::uint64_t significand = 0;
    if (!scale.decimal || numerator == 0 || !(value > 0 && value < kExactIntegers) ||
        __builtin_mul_overflow(numerator, scale.factor, &significand))
        return PutShortest(at, value);
    int exponent10 = -scale.tens;
    for (; significand % 10 == 0; significand /= 10) ++exponent10;
    // The quotient's digits stand for value only when value is the double they read as.
    const bool same = significand < kUniqueDigits && exponent10 <= kMostTens &&
                      (exponent10 >= 0 ? static_cast<double>(significand) * kTens[exponent10]
                                       : static_cast<double>(significand) / kTens[-exponent10]) ==
                          value;
    return same ? PutDecimal(at, false, significand, exponent10) : PutShortest(at, value);
}

}  // namespace pulsedesk::analysis
