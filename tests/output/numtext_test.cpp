// numtext_test.cpp -- the digit routines behind every peak-line number:
// worked examples and odd values, then sweeps over the floats and ints
// against exact decimal arithmetic and the standard library.
#include "output/numtext.h"

#include <gtest/gtest.h>

#include <bit>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>

#include "e2e/expect.h"

namespace {

const float inf = std::numeric_limits<float>::infinity();
const float nan = std::numeric_limits<float>::quiet_NaN();

// The text of ftoa with `afterpoint` decimals, or of the value column
// (value_text) for afterpoint -1; the length returned must be the text's.
std::string text_of(float n, int32_t afterpoint)
{
    char buf[ftoa_max];
    std::memset(buf, '#', sizeof buf);
    int32_t len = afterpoint < 0 ? value_text(n, buf) : ftoa(n, buf, afterpoint);
    EXPECT_EQ(size_t(len), std::strlen(buf)) << n;
    return buf;
}

TEST(NumberText, WorkedExamplesAndOddValues)
{
    const struct { float n; int32_t afterpoint; std::string text; } cases[] = {
        {0.4f, 0, ""},  {12345.9f, 0, "12345"},  {445.12f, 4, "445.1199"},  // truncated, never rounded
        {100.05f, 4, "100.0500"},  {5.0f, 4, "5.0000"},  {1.05f, 4, "1.0499"},  {350.0001f, 4, "350.0000"},
        {1.0079f, 4, "1.0079"},  // 78.9999962 becomes 79 in single precision
        {0.5f, 4, ".5000"},  {0.0f, 4, ".0000"},  {16777216.0f, 4, "16777216.0000"},  {1234.56f, 1, "1234.5"},
        {0.75f, 1, ".7"},  {80.0f, 1, "80.0"},  {0.0f, 1, ".0"},
        {2147483520.0f, 1, "2147483520.0"},  // the largest float below 2^31
        {0.5f, 10, ".5000000000"},           // the scaled fraction passes 2^31
        // Negative, 2^31 or more, NaN and infinities.
        {-1.5f, 4, "-1.5000"},  {-0.75f, 1, "-.7"},  {-12345.9f, 0, "-12345"},  {-2147483648.0f, 1, "-2147483648.0"},
        {2147483648.0f, 4, "2147483648.0000"},  {3.0e9f, 1, "3000000000.0"},
        {FLT_MAX, 4, "340282346638528859811704183484516925440.0000"},
        {-FLT_MAX, 10, "-340282346638528859811704183484516925440.0000000000"},
        {nan, 4, "nan"},  {-nan, 1, "nan"},  {inf, 4, "inf"},  {-inf, 1, "-inf"},
        // The value column where the sweep below does not reach.
        {2147483648.0f, -1, "2147483648"},  {3.0e9f, -1, "3000000000"},
        {-FLT_MAX, -1, "-340282346638528859811704183484516925440"},
        {nan, -1, "nan"},  {inf, -1, "inf"},  {-inf, -1, "-inf"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(text_of(c.n, c.afterpoint), c.text) << c.n << " with " << c.afterpoint;
}

// Every check of one float: ftoa with 1 to 10 decimals (all when `all`,
// else the peak columns' 1 and 4), the pair with the float before it, and
// the value column (truncated, the empty text for 0).
int check_float(float n, float before, bool all)
{
    int bad = 0;
    if (text_of(n, -1) != (int32_t(n) == 0 ? "" : std::to_string(int32_t(n))) && ++bad == 1)
        ADD_FAILURE() << "value_text(" << n << ")";
    for (int32_t d = 1; d <= 10; d++)
        if ((all || d == 1 || d == 4) && text_of(n, d) != expect::fixed(n, d) && ++bad == 1)
            ADD_FAILURE() << "ftoa(" << std::bit_cast<uint32_t>(n) << " bits, " << d << ")";
    char pair[2 * ftoa_max];  // not terminated: the length says where it ends
    const std::string text(pair, size_t(peak_pair_text(n, before, pair)));
    if (text != expect::mz(n) + " " + expect::intensity(before) && ++bad == 1)
        ADD_FAILURE() << "pair(" << n << ", " << before << ")";
    return bad;
}

TEST(Ftoa, MatchesExactDecimalsOverTheFloats)
{
    int bad = 0;
    float before = 0;
    // Bit patterns of both signs below 2^31, denormals included.
    for (uint32_t bits = 0; bits < 0x4F000000u && bad < 10; bits += 4099)
        for (uint32_t sign : {0u, 0x80000000u}) {
            float n = std::bit_cast<float>(bits | sign);
            bad += check_float(n, before, bits % 7 == 0);
            before = n;
        }
    // Every float around 1.0 and from 300.0 up, and the values instruments
    // store: m/z k / 10^4 up to 2,000, intensities k / 10 up to 2,000,000.
    for (uint32_t bits = 0x3F800000u - 100000; bits < 0x3F800000u + 100000 && bad < 10; bits++)
        bad += check_float(std::bit_cast<float>(bits), std::bit_cast<float>(bits + 300000), false);
    for (uint32_t bits = 0x43960000u; bits < 0x43960000u + 200000 && bad < 10; bits++)
        bad += check_float(std::bit_cast<float>(bits), std::bit_cast<float>(bits - 0x3000000), false);
    for (int32_t k = 0; k <= 20000000 && bad < 10; k += 41)
        bad += check_float(float(k / 1e4), float(k / 10.0), false);
    // Where the integer part gains a digit.
    for (float p = 10; p < 2147483648.0f; p *= 10)
        bad += check_float(p, std::nextafter(p, 0.0f), true) + check_float(std::nextafter(p, 0.0f), p, true);
    EXPECT_EQ(bad, 0);
}

}  // namespace
