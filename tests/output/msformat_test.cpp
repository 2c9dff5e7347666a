// msformat_test.cpp -- peak lines: two columns, four in the survey scans
// of versions 64 and 66; a survey scan's peaks stay for the lookup.
#include "output/msformat.h"

#include <gtest/gtest.h>

#include "precursor/precursor.h"

namespace {

// m/z, intensity, charge_code (charge x 256), value, and the charge kept:
// charge_code / 256, toward zero.
const struct { float mz, intensity; int16_t charge_code; float value; int32_t charge; } peaks[] = {
    {445.12f, 1234.56f, 512, 12345.9f, 2}, {0.5f, 0.75f, 767, 0.4f, 2}, {100.05f, 80, -256, -3.5f, -1},
    {1.0079f, 5, 2560, 7, 10},             {300, 2, -255, 1, 0},        {200, 1, -32768, 0, -128},
};

// Scans of 20,004 peaks, more than the table holds: peak i + 6k is peak i
// with k added to its m/z. The text of the first six is compared.
TEST(PrintPeaks, ColumnsPerVersionAndKind)
{
    const char* two = "445.1199 1234.5\n.5000 .7\n100.0500 80.0\n1.0079 5.0\n300.0000 2.0\n200.0000 1.0\n";
    const char* four = "445.1199 1234.5 2 12345\n.5000 .7 2 \n100.0500 80.0 -1 -3\n1.0079 5.0 10 7\n"
                       "300.0000 2.0 0 1\n200.0000 1.0 -128 \n";
    const struct { int32_t version; bool survey; std::string text; } cases[] = {
        {62, true, two}, {63, true, two}, {64, true, four}, {66, true, four}, {64, false, two}, {66, false, two},
    };
    const size_t n = 20004;
    PacketBuffers buf;
    make_packet_buffers(buf, int32_t(n));
    for (size_t i = 0; i < n; i++) {
        buf.peaks[i] = {peaks[i % 6].mz + float(i / 6), peaks[i % 6].intensity};
        buf.labels[i] = {0, peaks[i % 6].charge_code};
        buf.values[i] = peaks[i % 6].value;
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.version) + (c.survey ? " survey" : " fragmentation"));
        ScanContext ctx;
        reset_ms1(ctx);
        OutFile out;
        out_open_sink(out);
        print_peaks(out, c.version, c.survey, buf, ctx);
        EXPECT_EQ(std::string(out.buf.data(), c.text.size()), c.text);
        // A survey scan's peaks are kept with their charges; the table grows.
        ASSERT_EQ(ctx.ms1.size(), c.survey ? n : ms1_initial_size);
        for (size_t i = 0; i < 6; i++)
            EXPECT_EQ(ctx.ms1[i].charge, c.survey ? peaks[i].charge : 0) << "peak " << i;
        EXPECT_EQ(ctx.ms1.back().mz, c.survey ? 3533.0f : 0);
    }
}

}  // namespace
