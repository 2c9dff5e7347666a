// record_format_test.cpp -- record lines are written exactly as printf
// writes them.
#include <cstdio>
#include <limits>

#include <gtest/gtest.h>

#include "output/outfile.h"

namespace {

// out_printf into a sink (nothing leaves its buffer below 1 MiB) against
// snprintf's text of the same call.
template <typename... Args>
void expect_printf(const char* fmt, Args... args)
{
    OutFile out;
    out_open_sink(out);
    out_printf(out, fmt, args...);
    char want[4096];
    int n = std::snprintf(want, sizeof want, fmt, args...);
    EXPECT_EQ(std::string(out.buf.data(), out.len), std::string(want, size_t(n))) << fmt;
}

TEST(RecordFormat, MatchesPrintf)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double v : {0.0, -0.0, 0.125, 0.375, 2.5, 0.005, 0.015, 1.0079, 123.4567, 999.99995,
                     1e-300, 5e-324, 1e22, -0.0049, 2147483647.5, inf, -inf, nan, -nan})
        expect_printf("a%.02fb%.04fc%.06f\n", v, v, v);
    for (int v : {0, 1, -1, 42, 999999, 1000000, -99999, -100000, INT32_MAX, INT32_MIN})
        expect_printf("S\t%06d\t%d\t%3d|%%|%s\n", v, v, v, "FTMS");
    // Longer than the line buffer, and conversions the record lines do not use.
    expect_printf("%.06f %.06f\n", 1e300, -1e300);
    expect_printf("%8.2f|%5d|%s\n", 3.14159, 7, "x");
    expect_printf("%x %-5d| %.3s %e %+d\n", 255u, 7, "abcdef", 0.5, 3);
}

}  // namespace
