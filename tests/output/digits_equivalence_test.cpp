// digits_equivalence_test.cpp -- the digit routines write, for every input,
// the text of the plain digit-by-digit algorithm below: digits produced
// least significant first and reversed, truncation never rounding, the
// fraction scaled in double and rounded to single precision first.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "output/numtext.h"

namespace plain {

void reverse_text(char* text, int32_t len)
{
    for (int32_t i = 0, j = len - 1; i < j; i++, j--) {
        char c = text[i];
        text[i] = text[j];
        text[j] = c;
    }
}

int32_t int_text(int32_t x, char* text, int32_t d)
{
    int32_t i = 0;
    while (x != 0) {
        text[i++] = static_cast<char>('0' + (x - 10 * (x / 10)));
        x = x / 10;
    }
    while (i < d)
        text[i++] = '0';
    reverse_text(text, i);
    text[i] = '\0';
    return i;
}

int32_t copy(char* text, const char* s)
{
    std::strcpy(text, s);
    return static_cast<int32_t>(std::strlen(s));
}

int32_t big(float n, char* text)
{
    return std::snprintf(text, ftoa_max, "%.0f", static_cast<double>(n));
}

int32_t float_text(float n, char* text, int32_t afterpoint)
{
    if (std::isnan(n))
        return copy(text, "nan");
    if (n < 0) {
        text[0] = '-';
        return 1 + float_text(-n, text + 1, afterpoint);
    }
    if (std::isinf(n))
        return copy(text, "inf");
    int32_t i;
    float frac;
    if (n >= 2147483648.0f) {
        i = big(n, text);
        frac = 0;
    } else {
        int32_t ip = static_cast<int32_t>(n);
        frac = n - static_cast<float>(ip);
        i = int_text(ip, text, 0);
    }
    if (afterpoint <= 0)
        return i;
    text[i] = '.';
    float product = static_cast<float>(static_cast<double>(frac) * std::pow(10.0, afterpoint));
    return i + 1 + int_text(static_cast<int32_t>(product), text + i + 1, afterpoint);
}

std::string signed_text(int32_t v)
{
    char digits[16];
    int32_t p = 0;
    int32_t last = v;
    for (;;) {
        int32_t q = v / 10;
        int32_t r = v - 10 * q;
        digits[p++] = static_cast<char>('0' + (r < 0 ? -r : r));
        last = v;
        if (q == 0)
            break;
        v = q;
    }
    if (last < 0)
        digits[p++] = '-';
    digits[p] = '\0';
    reverse_text(digits, p);
    return digits;
}

int32_t value(float v, char* text)
{
    if (std::isnan(v))
        return copy(text, "nan");
    if (std::isinf(v))
        return copy(text, v < 0 ? "-inf" : "inf");
    float t = std::trunc(v);
    if (t < 0) {
        text[0] = '-';
        return 1 + value(-t, text + 1);
    }
    if (t >= 2147483648.0f)
        return big(t, text);
    return int_text(static_cast<int32_t>(t), text, 0);
}

}  // namespace plain

namespace {

float from_bits(uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// Every 8191st float bit pattern (all signs, exponents, NaN payloads) and
// a dense run of ordinary peak numbers.
template <typename Check>
void for_sample_floats(Check check)
{
    for (uint64_t u = 0; u <= 0xffffffffu; u += 8191)
        check(from_bits(static_cast<uint32_t>(u)));
    for (uint32_t u = 0x43960000u; u < 0x43960000u + 200000u; u++)  // 300.0 upward
        check(from_bits(u));
    for (uint32_t u = 0x3f800000u - 100000u; u < 0x3f800000u + 100000u; u++)  // around 1.0
        check(from_bits(u));
}

TEST(DigitsEquivalence, FtoaWritesThePlainTextForEveryAfterpoint)
{
    long mismatches = 0;
    for_sample_floats([&](float f) {
        for (int32_t d : {1, 4}) {
            char a[ftoa_max], b[ftoa_max];
            int32_t la = plain::float_text(f, a, d);
            int32_t lb = ftoa(f, b, d);
            if ((la != lb || std::strcmp(a, b) != 0) && mismatches++ < 5)
                ADD_FAILURE() << "ftoa(" << f << ", " << d << "): '" << b << "', expected '" << a
                              << "'";
        }
    });
    // Other decimal counts on a coarser sample.
    for (uint64_t u = 0; u <= 0xffffffffu; u += 65521)
        for (int32_t d = 0; d <= 9; d++) {  // 10 decimals overflow int32
            float f = from_bits(static_cast<uint32_t>(u));
            char a[ftoa_max], b[ftoa_max];
            int32_t la = plain::float_text(f, a, d);
            int32_t lb = ftoa(f, b, d);
            if ((la != lb || std::strcmp(a, b) != 0) && mismatches++ < 5)
                ADD_FAILURE() << "ftoa(" << f << ", " << d << "): '" << b << "', expected '" << a
                              << "'";
        }
    EXPECT_EQ(mismatches, 0);
}

TEST(DigitsEquivalence, ValueTextWritesThePlainText)
{
    long mismatches = 0;
    for_sample_floats([&](float f) {
        char a[ftoa_max], b[ftoa_max];
        int32_t la = plain::value(f, a);
        int32_t lb = value_text(f, b);
        if ((la != lb || std::strcmp(a, b) != 0) && mismatches++ < 5)
            ADD_FAILURE() << "value_text(" << f << "): '" << b << "', expected '" << a << "'";
    });
    EXPECT_EQ(mismatches, 0);
}

TEST(DigitsEquivalence, IntegerRoutinesWriteThePlainText)
{
    long mismatches = 0;
    auto check = [&](int32_t v) {
        char a[32], b[32];
        for (int32_t d : {0, 1, 4, 7, 12}) {
            int32_t la = plain::int_text(v, a, d);
            int32_t lb = intToStr(v, b, d);
            if ((la != lb || std::strcmp(a, b) != 0) && mismatches++ < 5)
                ADD_FAILURE() << "intToStr(" << v << ", " << d << "): '" << b << "', expected '"
                              << a << "'";
        }
        if (plain::signed_text(v) != itoa(v, b) && mismatches++ < 5)
            ADD_FAILURE() << "itoa(" << v << "): '" << b << "'";
    };
    for (int32_t v = -100000; v <= 100000; v++)
        check(v);
    for (int64_t v = INT32_MIN; v <= INT32_MAX; v += 9973)
        check(static_cast<int32_t>(v));
    for (int32_t v : {INT32_MIN, INT32_MIN + 1, INT32_MAX, INT32_MAX - 1, 999999999,
                      1000000000, -999999999, -1000000000, 99999999, 100000000})
        check(v);
    EXPECT_EQ(mismatches, 0);
}

}  // namespace
