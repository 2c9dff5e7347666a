// record_format_test.cpp -- out_printf writes exactly what vsnprintf
// writes, for the conversions of the record lines and for the others.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <string>

#include <gtest/gtest.h>

#include "output/outfile.h"

namespace {

// The text a sink holds until its first flush (1 MiB).
std::string sink_text(const OutFile& out)
{
    return std::string(out.buf.data(), out.len);
}

std::string reference(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string reference(const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string s(static_cast<size_t>(n) + 1, '\0');
    va_start(ap, fmt);
    std::vsnprintf(s.data(), s.size(), fmt, ap);
    va_end(ap);
    s.resize(static_cast<size_t>(n));
    return s;
}

const double inf = std::numeric_limits<double>::infinity();
const double nan = std::numeric_limits<double>::quiet_NaN();

const double doubles[] = {0.0,     -0.0,    0.125,    0.375,   2.5,      0.005,
                          0.015,   1.0079,  123.4567, 999.99995, 1e-300, 5e-324,
                          1e22,    1e300,   -1e300,   -0.0049,  2147483647.5,
                          inf,     -inf,    nan,      -nan};
const int ints[] = {0, 1, -1, 42, 999999, 1000000, -99999, -100000,
                    2147483647, -2147483647 - 1};

TEST(RecordFormat, FixedPointNumbersMatchPrintf)
{
    for (double v : doubles) {
        OutFile out;
        out_open_sink(out);
        out_printf(out, "a%.02fb%.04fc%.06f\n", v, v, v);
        EXPECT_EQ(sink_text(out), reference("a%.02fb%.04fc%.06f\n", v, v, v)) << v;
    }
}

TEST(RecordFormat, IntegersAndWidthsMatchPrintf)
{
    for (int v : ints) {
        OutFile out;
        out_open_sink(out);
        out_printf(out, "S\t%06d\t%d\t%3d|%%|%s\n", v, v, v, "FTMS");
        EXPECT_EQ(sink_text(out), reference("S\t%06d\t%d\t%3d|%%|%s\n", v, v, v, "FTMS"))
            << v;
    }
}

TEST(RecordFormat, LinesTooLongForTheLineBufferAreWrittenWhole)
{
    OutFile out;
    out_open_sink(out);
    out_printf(out, "%.06f %.06f\n", 1e300, -1e300);
    EXPECT_EQ(sink_text(out), reference("%.06f %.06f\n", 1e300, -1e300));
}

TEST(RecordFormat, OtherConversionsAreLeftToPrintf)
{
    OutFile out;
    out_open_sink(out);
    out_printf(out, "%x %8.2f %-5d| %.3s %e %+d\n", 255u, 3.14159, 7, "abcdef", 0.5, 3);
    EXPECT_EQ(sink_text(out),
              reference("%x %8.2f %-5d| %.3s %e %+d\n", 255u, 3.14159, 7, "abcdef", 0.5, 3));
}

}  // namespace
