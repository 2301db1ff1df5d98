#include "analysis/Shortest.h"

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

// The significand's digits, written backwards two at a time into the end of `room`; returns
// where they start.
char* PutSignificand(char* end, std::uint64_t n) {
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    char* at = end;
    while (n >= 100) {
        const auto pair = static_cast<std::size_t>(n % 100) * 2;
        n /= 100;
        at -= 2;
        at[0] = kPairs[pair];
        at[1] = kPairs[pair + 1];
    }
    if (n >= 10) {
        at -= 2;
        at[0] = kPairs[n * 2];
        at[1] = kPairs[n * 2 + 1];
    } else {
        *--at = static_cast<char>('0' + n);
    }
    return at;
}

char* PutExponentForm(char* at, const char* digits, int n, int exponent) {
    *at++ = digits[0];
    if (n > 1) {
        *at++ = '.';
        std::memcpy(at, digits + 1, static_cast<std::size_t>(n - 1));
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

// point: where the decimal point falls, counted in digits from the first.
char* PutFixedForm(char* at, const char* digits, int n, int point) {
    if (point <= 0) {
        *at++ = '0';
        *at++ = '.';
        std::memset(at, '0', static_cast<std::size_t>(-point));
        at += -point;
        std::memcpy(at, digits, static_cast<std::size_t>(n));
        return at + n;
    }
    if (point >= n) {
        std::memcpy(at, digits, static_cast<std::size_t>(n));
        std::memset(at + n, '0', static_cast<std::size_t>(point - n));
        return at + point;
    }
    std::memcpy(at, digits, static_cast<std::size_t>(point));
    at[point] = '.';
    std::memcpy(at + point + 1, digits + point, static_cast<std::size_t>(n - point));
    return at + n + 1;
}

}  // namespace

char* PutShortest(char* at, double value) {
    if (value == 0 || !std::isfinite(value) || std::fabs(value) >= kExactIntegers)
        return std::to_chars(at, at + kMostShortest, value).ptr;
    const auto decimal = jkj::dragonbox::to_decimal(value);
    char room[20];
    const char* digits = PutSignificand(room + sizeof room, decimal.significand);
    const int n = static_cast<int>(room + sizeof room - digits);
    if (decimal.is_negative) *at++ = '-';
    const int point = n + decimal.exponent;
    const int exponent = point - 1;
    const int exponentDigits = std::abs(exponent) >= 100 ? 3 : 2;
    const int exponentLength = n + (n > 1 ? 1 : 0) + 2 + exponentDigits;
    const int fixedLength = point <= 0 ? 2 - point + n : point >= n ? point : n + 1;
    return fixedLength <= exponentLength ? PutFixedForm(at, digits, n, point)
                                         : PutExponentForm(at, digits, n, exponent);
}

}  // namespace pulsedesk::analysis
