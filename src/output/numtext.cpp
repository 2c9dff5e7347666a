// numtext.cpp -- integer-digit routines for peak-line numbers.
//
// For non-negative values below 2^31 the texts are exactly those of the
// original routines. Negative values get a "-" in front of the text of
// their magnitude; values of 2^31 or more get their whole integer part;
// NaN and infinities are written "nan", "inf" and "-inf".
#include "output/numtext.h"

#include <cmath>
#include <cstdio>
#include <cstring>

// Digit pairs "00" to "99": a peak line is mostly digits, and writing two
// per division halves the divisions.
static const char digit_pairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Entry k is for the x whose highest set bit is bit k: its high word is
// the digit count of 2^k, and its low word carries into the high word for
// the x of that range that have one digit more.
static constexpr uint64_t digit_count_entry(int k)
{
    uint64_t low = uint64_t{1} << k, high = (uint64_t{2} << k) - 1;
    uint64_t digits = 1, power = 10;
    while (power <= low) {
        digits++;
        power *= 10;
    }
    uint64_t entry = digits << 32;
    if (power <= high)
        entry += (uint64_t{1} << 32) - power;
    return entry;
}

struct DigitCountTable {
    uint64_t entry[32];
    constexpr DigitCountTable() : entry()
    {
        for (int k = 0; k < 32; k++)
            entry[k] = digit_count_entry(k);
    }
};
static constexpr DigitCountTable digit_count_table;

// Number of decimal digits of x; 0 has none. No division, one table look-up.
static inline int32_t digit_count(uint32_t x)
{
    if (x == 0)
        return 0;
    int k = 31 - __builtin_clz(x);
    return static_cast<int32_t>((x + digit_count_table.entry[k]) >> 32);
}

static inline void put_pair(char* at, uint32_t pair)
{
    std::memcpy(at, digit_pairs + 2 * pair, 2);
}

// Writes the digits of x so that the last one is just before end. Four
// digits a step: the two pairs of a step do not wait for each other.
static inline void digits_before(uint32_t x, char* end)
{
    while (x >= 10000) {
        uint32_t q = x / 10000;
        uint32_t r = x - 10000 * q;
        uint32_t hi = r / 100;
        end -= 4;
        put_pair(end, hi);
        put_pair(end + 2, r - 100 * hi);
        x = q;
    }
    if (x >= 100) {
        uint32_t q = x / 100;
        end -= 2;
        put_pair(end, x - 100 * q);
        x = q;
    }
    if (x >= 10) {
        end -= 2;
        put_pair(end, x);
    } else if (x > 0) {
        *--end = static_cast<char>('0' + x);
    }
}

// Writes exactly width digits of x, leading zeros included, so that the
// last one is just before end; x must be below 10^width. The widths of
// the peak columns, 4 and 1, take no loop.
static inline void fixed_digits_before(uint32_t x, int32_t width, char* end)
{
    if (width == 4) {
        uint32_t hi = x / 100;
        put_pair(end - 4, hi);
        put_pair(end - 2, x - 100 * hi);
        return;
    }
    if (width == 1) {
        end[-1] = static_cast<char>('0' + x);
        return;
    }
    for (; width >= 2; width -= 2) {
        uint32_t q = x / 100;
        end -= 2;
        put_pair(end, x - 100 * q);
        x = q;
    }
    if (width > 0)
        *--end = static_cast<char>('0' + x);
}

static const double powers_of_ten[] = {1e0, 1e1, 1e2, 1e3, 1e4,
                                       1e5, 1e6, 1e7, 1e8, 1e9, 1e10};
static const int64_t int_powers_of_ten[] = {1,         10,         100,       1000,
                                            10000,     100000,     1000000,   10000000,
                                            100000000, 1000000000, 10000000000};

void reverse(char* text, int32_t len)
{
    int32_t i = 0, j = len - 1;
    while (i < j) {
        char c = text[i];
        text[i] = text[j];
        text[j] = c;
        i++;
        j--;
    }
}

int32_t intToStr(int32_t x, char* text, int32_t d)
{
    if (x >= 0) {
        // Digits written in place, most significant first: no reversal.
        uint32_t ux = static_cast<uint32_t>(x);
        int32_t digits = digit_count(ux);
        int32_t len = digits < d ? d : digits;
        for (int32_t k = 0; k < len - digits; k++)
            text[k] = '0';
        digits_before(ux, text + len);
        text[len] = '\0';
        return len;
    }
    // A negative x keeps the text of the digit-by-digit loop.
    int32_t i = 0;
    while (x != 0) {
        text[i++] = static_cast<char>('0' + (x - 10 * (x / 10)));
        x = x / 10;
    }
    while (i < d)
        text[i++] = '0';
    reverse(text, i);
    text[i] = '\0';
    return i;
}

static int32_t copy_text(char* text, const char* s)
{
    int32_t n = static_cast<int32_t>(std::strlen(s));
    std::memcpy(text, s, static_cast<size_t>(n) + 1);
    return n;
}

// Integer part of a float of 2^31 or more, in full (exact: such a float
// is an integer).
static int32_t big_integer_text(float n, char* text)
{
    int len = std::snprintf(text, ftoa_max, "%.0f", static_cast<double>(n));
    return len < 0 ? 0 : len;
}

// The decimals of frac (0 <= frac < 1): scaled by 10^afterpoint in
// double, rounded to single precision before the truncation (1.0079
// stays 1.0079 although its float lies just below), written with leading
// zeros to afterpoint digits.
static int32_t plain_fraction(float frac, char* text, int32_t afterpoint)
{
    double scale = afterpoint <= 10 ? powers_of_ten[afterpoint]
                                    : std::pow(10.0, afterpoint);
    float product = static_cast<float>(static_cast<double>(frac) * scale);
    if (product < 2147483648.0f)
        return intToStr(static_cast<int32_t>(product), text, afterpoint);
    // From ten decimals on the scaled fraction can pass 2^31.
    int len = std::snprintf(text, ftoa_max, "%0*lld", afterpoint,
                            static_cast<long long>(product));
    return len < 0 ? 0 : len;
}

// Everything the fast path of ftoa leaves: NaN, negative, infinite, 2^31
// or more, 10 decimals or more. Out of line, so that the fast path saves no
// registers and makes no call.
static __attribute__((noinline)) int32_t ftoa_rare(float n, char* text, int32_t afterpoint)
{
    if (std::isnan(n))
        return copy_text(text, "nan");
    if (n < 0) {
        text[0] = '-';
        return 1 + ftoa(-n, text + 1, afterpoint);
    }
    if (std::isinf(n))
        return copy_text(text, "inf");
    int32_t i;
    float frac;
    if (n >= 2147483648.0f) {
        i = big_integer_text(n, text);
        frac = 0;
    } else {
        int32_t ip = static_cast<int32_t>(n);
        frac = n - static_cast<float>(ip);
        i = intToStr(ip, text, 0);
    }
    if (afterpoint <= 0)
        return i;
    text[i] = '.';
    return i + 1 + plain_fraction(frac, text + i + 1, afterpoint);
}

// A scaled fraction that rounded up to 10^afterpoint: the digits as
// intToStr writes them. Out of line for the same reason.
static __attribute__((noinline)) int32_t long_fraction(int32_t f, char* text, int32_t afterpoint)
{
    return intToStr(f, text, afterpoint);
}

int32_t ftoa(float n, char* text, int32_t afterpoint)
{
    // Nearly every peak number: finite, not negative, below 2^31 (false
    // for NaN), with at most 9 decimals, so that the scaled fraction fits
    // in 32 bits.
    if (!(n >= 0 && n < 2147483648.0f) || afterpoint > 9)
        return ftoa_rare(n, text, afterpoint);
    int32_t ip = static_cast<int32_t>(n);
    float frac = n - static_cast<float>(ip);
    int32_t i = digit_count(static_cast<uint32_t>(ip));
    digits_before(static_cast<uint32_t>(ip), text + i);
    if (afterpoint <= 0) {
        text[i] = '\0';
        return i;
    }
    text[i] = '.';
    // As plain_fraction, with the digits written in place.
    float product = static_cast<float>(static_cast<double>(frac) * powers_of_ten[afterpoint]);
    int32_t f = static_cast<int32_t>(product);
    if (f < 0 || f >= int_powers_of_ten[afterpoint])
        return i + 1 + long_fraction(f, text + i + 1, afterpoint);
    fixed_digits_before(static_cast<uint32_t>(f), afterpoint, text + i + 1 + afterpoint);
    text[i + 1 + afterpoint] = '\0';
    return i + 1 + afterpoint;
}

char* itoa(int32_t value, char* text)
{
    // The magnitude in 32 unsigned bits: INT32_MIN has one too.
    uint32_t mag = value < 0 ? 0u - static_cast<uint32_t>(value)
                             : static_cast<uint32_t>(value);
    char* p = text;
    if (value < 0)
        *p++ = '-';
    int32_t digits = mag == 0 ? 1 : digit_count(mag);
    p[0] = '0';  // the one digit of 0
    digits_before(mag, p + digits);
    p[digits] = '\0';
    return text;
}

int32_t float2int(double x)
{
    if (std::isnan(x))
        return 0;
    if (x >= 2147483647.0)
        return INT32_MAX;
    if (x <= -2147483648.0)
        return INT32_MIN;
    return static_cast<int32_t>(x);
}

int32_t value_text(float v, char* text)
{
    // Not negative and below 2^31 (false for NaN): the conversion
    // truncates as trunc does.
    if (v >= 0 && v < 2147483648.0f) {
        uint32_t x = static_cast<uint32_t>(static_cast<int32_t>(v));
        int32_t len = digit_count(x);
        digits_before(x, text + len);
        text[len] = '\0';
        return len;
    }
    if (std::isnan(v))
        return copy_text(text, "nan");
    if (std::isinf(v))
        return copy_text(text, v < 0 ? "-inf" : "inf");
    float t = std::trunc(v);
    if (t < 0) {
        text[0] = '-';
        return 1 + value_text(-t, text + 1);
    }
    if (t >= 2147483648.0f)
        return big_integer_text(t, text);
    return intToStr(static_cast<int32_t>(t), text, 0);
}

/*
 * Writes "<m/z> <intensity>" as ftoa writes them with 4 and 1 decimals,
 * and returns the length (no terminator). The two numbers are converted
 * side by side: each waits on a chain of float conversions, and
 * interleaved the two chains overlap.
 */
int32_t peak_pair_text(float mz, float intensity, char* text)
{
    if (mz >= 0 && mz < 2147483648.0f && intensity >= 0 &&
        intensity < 2147483648.0f) {
        int32_t ip1 = static_cast<int32_t>(mz);
        int32_t ip2 = static_cast<int32_t>(intensity);
        float frac1 = mz - static_cast<float>(ip1);
        float frac2 = intensity - static_cast<float>(ip2);
        int32_t f1 = static_cast<int32_t>(
            static_cast<float>(static_cast<double>(frac1) * 10000.0));
        int32_t f2 = static_cast<int32_t>(
            static_cast<float>(static_cast<double>(frac2) * 10.0));
        if (f1 < 10000 && f2 < 10) {
            char* p = text;
            int32_t d1 = digit_count(static_cast<uint32_t>(ip1));
            digits_before(static_cast<uint32_t>(ip1), p + d1);
            p += d1;
            *p++ = '.';
            fixed_digits_before(static_cast<uint32_t>(f1), 4, p + 4);
            p += 4;
            *p++ = ' ';
            int32_t d2 = digit_count(static_cast<uint32_t>(ip2));
            digits_before(static_cast<uint32_t>(ip2), p + d2);
            p += d2;
            *p++ = '.';
            *p++ = static_cast<char>('0' + f2);
            return static_cast<int32_t>(p - text);
        }
    }
    int32_t n = ftoa(mz, text, 4);
    text[n++] = ' ';
    return n + ftoa(intensity, text + n, 1);
}
