// numtext_test.cpp -- the digit routines behind every peak-line number.
#include "output/numtext.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

namespace {

std::string ftoa_text(float n, int32_t afterpoint)
{
    char buf[ftoa_max];
    std::memset(buf, '#', sizeof buf);
    int32_t len = ftoa(n, buf, afterpoint);
    EXPECT_EQ(static_cast<size_t>(len), std::strlen(buf)) << n;
    return buf;
}

/*
 * The text a peak line must carry for a finite float 0 <= n < 2^31, worked
 * out from the float's bits alone: n = mant * 2^exp exactly, so the integer
 * part and the fraction are integer arithmetic; the fraction times 10^dec
 * is exact in double, and its rounding to single precision (24 significant
 * bits, ties to even) is done here by hand before the truncation.
 */
std::string expected_fixed(float n, int dec)
{
    uint32_t bits = std::bit_cast<uint32_t>(n);
    int biased = static_cast<int>((bits >> 23) & 0xFF);
    uint64_t mant = bits & 0x7FFFFF;
    int exp;  // n = mant * 2^exp
    if (biased == 0) {
        exp = -149;
    } else {
        mant |= 0x800000;
        exp = biased - 150;
    }
    uint64_t ip = 0, frac_num = 0;  // fraction = frac_num / 2^shift
    int shift = 0;
    if (exp >= 0) {
        ip = mant << exp;
    } else {
        shift = -exp;
        ip = shift >= 64 ? 0 : mant >> shift;
        frac_num = shift >= 64 ? mant : mant & ((uint64_t{1} << shift) - 1);
    }
    uint64_t scale = 1;
    for (int i = 0; i < dec; i++)
        scale *= 10;
    uint64_t prod = frac_num * scale;  // the product is prod / 2^shift
    int bitlen = 64 - std::countl_zero(prod);
    int drop = bitlen > 24 ? bitlen - 24 : 0;
    uint64_t q = prod >> drop;
    if (drop > 0) {
        uint64_t rem = prod & ((uint64_t{1} << drop) - 1);
        uint64_t half = uint64_t{1} << (drop - 1);
        if (rem > half || (rem == half && (q & 1)))
            q++;
    }
    uint64_t rounded = q << drop;  // still over 2^shift
    uint64_t f = shift >= 64 ? 0 : rounded >> shift;

    std::string text = ip == 0 ? "" : std::to_string(ip);
    if (dec == 0)
        return text;
    std::string digits = std::to_string(f);
    if (digits.size() < static_cast<size_t>(dec))
        digits.insert(0, static_cast<size_t>(dec) - digits.size(), '0');
    return text + "." + digits;
}

TEST(Reverse, TurnsTheFirstLenCharactersAround)
{
    struct Case {
        const char* in;
        int32_t len;
        const char* out;
    };
    const std::vector<Case> cases = {
        {"abcde", 0, "abcde"},  {"abcde", 1, "abcde"},
        {"abcde", -3, "abcde"}, {"abcde", 2, "bacde"},
        {"abcde", 3, "cbade"},  {"abcde", 5, "edcba"},
    };
    for (const Case& c : cases) {
        char buf[8] = {};
        std::strcpy(buf, c.in);
        reverse(buf, c.len);
        EXPECT_STREQ(buf, c.out) << c.in << " len " << c.len;
    }
}

TEST(IntToStr, ZeroFillsToTheMinimumWidthAndNeverCuts)
{
    struct Case {
        int32_t x, d;
        const char* text;
    };
    const std::vector<Case> cases = {
        {0, 0, ""},          {0, 1, "0"},         {0, 4, "0000"},
        {7, 4, "0007"},      {500, 4, "0500"},    {1199, 4, "1199"},
        {12345, 4, "12345"}, {12345, 0, "12345"}, {2147483647, 0, "2147483647"},
        {1, 10, "0000000001"},
    };
    for (const Case& c : cases) {
        char buf[16];
        std::memset(buf, '#', sizeof buf);
        int32_t len = intToStr(c.x, buf, c.d);
        EXPECT_STREQ(buf, c.text) << c.x << " width " << c.d;
        EXPECT_EQ(len, static_cast<int32_t>(std::strlen(c.text)));
    }
}

TEST(Ftoa, TruncatesWithFixedDecimals)
{
    struct Case {
        float n;
        int32_t afterpoint;
        const char* text;
    };
    const std::vector<Case> cases = {
        // no decimals: the integer digits only, none for 0
        {0.4f, 0, ""},
        {12345.9f, 0, "12345"},
        // m/z, four decimals
        {445.12f, 4, "445.1199"},
        {100.05f, 4, "100.0500"},
        {5.0f, 4, "5.0000"},
        {1.05f, 4, "1.0499"},
        {1.0079f, 4, "1.0079"},  // 78.9999962 becomes 79 in single precision
        {350.0001f, 4, "350.0000"},
        {0.5f, 4, ".5000"},
        {0.0f, 4, ".0000"},
        {201.123f, 4, "201.1230"},
        {16777216.0f, 4, "16777216.0000"},
        // intensity, one decimal
        {1234.56f, 1, "1234.5"},
        {0.75f, 1, ".7"},
        {80.0f, 1, "80.0"},
        {0.0f, 1, ".0"},
        {5.0f, 1, "5.0"},
        {0.5f, 1, ".5"},
        {512.7f, 1, "512.7"},
        {2147483520.0f, 1, "2147483520.0"},  // largest float below 2^31
    };
    for (const Case& c : cases)
        EXPECT_EQ(ftoa_text(c.n, c.afterpoint), c.text)
            << c.n << " with " << c.afterpoint << " decimals";
}

TEST(Ftoa, OutOfRangeValuesAreWrittenInFull)
{
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float n;
        int32_t afterpoint;
        const char* text;
    };
    const std::vector<Case> cases = {
        {-1.5f, 4, "-1.5000"},
        {-445.12f, 4, "-445.1199"},
        {-0.75f, 1, "-.7"},
        {-12345.9f, 0, "-12345"},
        {-2147483648.0f, 1, "-2147483648.0"},
        {2147483648.0f, 4, "2147483648.0000"},
        {3.0e9f, 1, "3000000000.0"},
        {FLT_MAX, 4, "340282346638528859811704183484516925440.0000"},
        {-FLT_MAX, 10,
         "-340282346638528859811704183484516925440.0000000000"},
        {std::numeric_limits<float>::quiet_NaN(), 4, "nan"},
        {-std::numeric_limits<float>::quiet_NaN(), 1, "nan"},
        {inf, 4, "inf"},
        {-inf, 1, "-inf"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ftoa_text(c.n, c.afterpoint), c.text)
            << c.n << " with " << c.afterpoint << " decimals";
}

TEST(Ftoa, DecimalValuesMatchTheFloatsExactValue)
{
    // Values as an instrument stores them, k / 10^dec in single precision:
    // m/z over the low range and the usual 100-2000 window with 4
    // decimals, intensities up to 2,000,000 with 1.
    struct Range {
        int64_t first, last, step;
        int dec;
    };
    const std::vector<Range> ranges = {{0, 2000000, 7, 4},
                                       {1000000, 20000000, 61, 4},
                                       {0, 20000000, 37, 1}};
    int mismatches = 0;
    for (const Range& r : ranges) {
        double unit = r.dec == 4 ? 10000.0 : 10.0;
        for (int64_t k = r.first; k <= r.last; k += r.step) {
            float n = static_cast<float>(static_cast<double>(k) / unit);
            std::string want = expected_fixed(n, r.dec);
            std::string got = ftoa_text(n, r.dec);
            if (got != want && ++mismatches <= 10)
                ADD_FAILURE() << "k " << k << " / " << unit << ": " << got
                              << " != " << want;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(Ftoa, EveryFloatMagnitudeBelowTwoToThe31MatchesItsExactValue)
{
    // Float bit patterns from 0 up to just below 2^31, denormals
    // included, written as intensities (1 decimal) and as m/z (4).
    const uint32_t below_2_31 = 0x4F000000;  // bits of 2^31
    int mismatches = 0;
    for (uint32_t bits = 0; bits < below_2_31; bits += 4099) {
        float n = std::bit_cast<float>(bits);
        for (int dec : {1, 4}) {
            std::string want = expected_fixed(n, dec);
            std::string got = ftoa_text(n, dec);
            if (got != want && ++mismatches <= 10)
                ADD_FAILURE() << "bits " << bits << ": " << got
                              << " != " << want;
        }
    }
    EXPECT_EQ(mismatches, 0);
}

TEST(Itoa, SignedDecimalWithoutNegation)
{
    struct Case {
        int32_t value;
        const char* text;
    };
    const std::vector<Case> cases = {
        {0, "0"},        {2, "2"},
        {-1, "-1"},      {-7, "-7"},
        {127, "127"},    {-128, "-128"},
        {10, "10"},      {-10, "-10"},
        {INT32_MAX, "2147483647"},
        {INT32_MIN, "-2147483648"},
    };
    for (const Case& c : cases) {
        char buf[12];
        std::memset(buf, '#', sizeof buf);
        EXPECT_EQ(itoa(c.value, buf), buf);
        EXPECT_STREQ(buf, c.text) << c.value;
    }
}

TEST(Float2int, TruncatesTowardZero)
{
    struct Case {
        double x;
        int32_t value;
    };
    const std::vector<Case> cases = {
        {0.0, 0},
        {0.4, 0},
        {12345.9, 12345},
        {-7.9, -7},
        {-0.9, 0},
        {2147483647.0, INT32_MAX},
        {-2147483648.0, INT32_MIN},
        // outside the range: held at the nearest end, never undefined
        {1e10, INT32_MAX},
        {-1e10, INT32_MIN},
        {std::nan(""), 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(float2int(c.x), c.value) << c.x;
}

TEST(ValueText, TruncatedIntegerWithEmptyTextForZero)
{
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float v;
        const char* text;
    };
    const std::vector<Case> cases = {
        {0.0f, ""},
        {0.4f, ""},
        {12345.9f, "12345"},
        {7.0f, "7"},
        {2147483520.0f, "2147483520"},
        {-0.4f, ""},  // truncates to 0
        {-12345.9f, "-12345"},
        {2147483648.0f, "2147483648"},
        {3.0e9f, "3000000000"},
        {-FLT_MAX, "-340282346638528859811704183484516925440"},
        {std::numeric_limits<float>::quiet_NaN(), "nan"},
        {inf, "inf"},
        {-inf, "-inf"},
    };
    for (const Case& c : cases) {
        char buf[ftoa_max];
        std::memset(buf, '#', sizeof buf);
        int32_t len = value_text(c.v, buf);
        EXPECT_STREQ(buf, c.text) << c.v;
        EXPECT_EQ(len, static_cast<int32_t>(std::strlen(c.text)));
    }
}

}  // namespace
