// precursor_test.cpp -- precursor lookup, refinement and the Z lines.
#include "precursor/precursor.h"

#include <gtest/gtest.h>

#include <cmath>

#include "output/outfile.h"

namespace {

const int32_t end = static_cast<int32_t>(ms1_initial_size) - 1;
const std::vector<float> hundreds = {100, 200, 300, 400, 500};

TEST(FindPrecursor, InterpolatesThenWalksWithinTheTolerance)
{
    // mz: a survey scan's peaks at the table's front; last: ms1_last_peak
    // found: the walks end on a peak of the scan itself within tolerance
    const struct { const char* what; std::vector<float> mz; int32_t last; double p; int32_t version, index;
                   bool found; size_t table = ms1_initial_size; } cases[] = {
        {"guess 1, up to 300, back: 0.05 above is not within 0.02", hundreds, 4, 299.95, 66, 1, false},
        {"the same for version 64", hundreds, 4, 299.95, 64, 1, false},
        {"300 lies within 0.2", hundreds, 4, 299.95, 62, 2, true},
        {"the same for version 63", hundreds, 4, 299.95, 63, 2, true},
        {"guess 2, no walk", hundreds, 4, 300.01, 66, 2, true},
        {"below the first peak", hundreds, 4, 50, 62, 0, false},
        {"the last peak", hundreds, 4, 500, 66, 4, true},
        {"none within tol: the highest below", {100, 400, 410, 420, 500}, 4, 405, 62, 1, false},
        {"guess above p walks down", {100, 300, 450, 460, 500}, 4, 300.05, 62, 1, true},
        {"guess above, nothing within tol", {100, 490, 495, 498, 500}, 4, 200, 62, 0, false},
        // The zeros behind the last survey scan lie below any p >= tol, so
        // the upward walk runs to the end of the table and stops there.
        {"guess past the peaks", hundreds, 4, 1000, 66, end, false},
        {"a table grown by a long survey scan", hundreds, 4, 1000, 66, 24999, false, 25000},
        {"initial list, p 445.12", {}, 0, 445.12, 66, end, false},
        {"initial list, p 0: its zero peak", {}, 0, 0, 66, 0, true},
        {"initial list, p exactly tol above its zeros", {}, 0, 0.2, 62, end, false},
        {"a garbage m/z", hundreds, 4, std::nan(""), 66, 0, false},
        // After a survey scan without peaks the list reads as one peak.
        {"ms1_last_peak -1", {100, 500, 300}, -1, 300, 66, 0, false},
        {"ms1_last_peak -1, p on element 0", {300, 500}, -1, 300, 66, 0, false},
        // Past the scan's own peaks: what an earlier, longer scan left.
        {"a peak an earlier scan left", {100, 200, 300, 400, 500}, 2, 400, 66, 3, false},
    };
    for (const auto& c : cases) {
        ScanContext ctx;
        reset_ms1(ctx);
        ctx.ms1.resize(c.table, Ms1Peak{0, 0, 0});
        for (size_t i = 0; i < c.mz.size(); i++)
            ctx.ms1[i].mz = c.mz[i];
        ctx.ms1_last_peak = c.last;
        ctx.precursor_index = -99;
        find_precursor(c.p, c.version, ctx);
        EXPECT_EQ(ctx.precursor_index, c.index) << c.what;
        EXPECT_EQ(ctx.precursor_found, c.found) << c.what;
    }
}

TEST(RefinePrecursor, MostIntenseNeighbourEarliestOnTies)
{
    // a: intensities by position, all others 0
    const struct { const char* what; std::vector<std::pair<int32_t, float>> a; int32_t k, version, index; } cases[] = {
        // k 1: candidates 1, 2, 4, 5, 6, 0, never 3; elements 5 and 6 hold
        // what an earlier, longer survey scan left there.
        {"k 1 skips element 3", {{0, 10}, {1, 20}, {2, 30}, {3, 1000}, {4, 40}, {5, 900}, {6, 950}}, 1, 66, 6},
        {"k 1, element 0 examined last", {{0, 60}, {1, 20}, {3, 1000}}, 1, 64, 0},
        {"k 0: window on 3", {{3, 1000}, {5, 7}}, 0, 62, 5},
        {"k 2: window on 3, element 3 never", {{0, 5}, {2, 1}, {3, 1000}, {6, 9}}, 2, 64, 6},
        {"k 2: element 0 last", {{0, 50}, {1, 40}, {3, 1000}}, 2, 66, 0},
        {"k 3: elements 0 to 6", {{0, 50}, {3, 10}, {6, 40}}, 3, 66, 0},
        {"tie with the guess keeps it", {{7, 500}, {10, 500}, {9, 100}}, 10, 66, 10},
        {"first of equal maxima wins", {{10, 500}, {8, 600}, {12, 600}}, 10, 66, 8},
        {"w-3 taken last", {{10, 500}, {7, 700}, {13, 650}}, 10, 62, 7},
        {"w+3 reached", {{10, 500}, {13, 650}}, 10, 66, 13},
        {"w+4 and w-4 are outside", {{10, 500}, {14, 9000}, {6, 9000}}, 10, 66, 10},
        {"version 63 never moves", {{6, 1000}}, 1, 63, 1},
        // Candidates past the table are skipped.
        {"near the end", {{end - 4, 5}, {end, 4}}, end - 1, 66, end - 4},
        {"at the end", {{end - 3, 5}, {end - 1, 6}}, end, 66, end - 1},
    };
    for (const auto& c : cases) {
        ScanContext ctx;
        reset_ms1(ctx);
        for (const auto& [j, v] : c.a)
            ctx.ms1[size_t(j)].intensity = v;
        ctx.precursor_index = c.k;
        refine_precursor(c.version, ctx);
        EXPECT_EQ(ctx.precursor_index, c.index) << c.what;
    }
}

// What the S and Z lines carry: the monoisotopic m/z when the trailer gives
// a positive, finite one to a scan whose event gave a precursor; the peak
// charge unless a field table's lookup found nothing.
TEST(PrecursorAsDetermined, MonoisotopicMzAndLookupCharge)
{
    const double nan = std::nan(""), inf = HUGE_VAL;
    const struct { const char* what; bool read; double mono; bool table, found; double mz; int32_t zp; } cases[] = {
        {"equal", true, 445.12, true, true, 445.12, 3},
        {"one isotope step below", true, 444.6183, true, true, 444.6183, 3},
        {"0: the event's", true, 0, true, true, 445.12, 3},
        {"-1.0 of newer instruments", true, -1.0, true, true, 445.12, 3},
        {"NaN", true, nan, true, true, 445.12, 3},
        {"infinity", true, inf, true, true, 445.12, 3},
        {"no precursor from the event", false, 444.6, true, false, 0, 3},
        {"a miss with a table: no peak charge", true, 0, true, false, 445.12, 0},
        {"a miss without a table", true, 0, false, false, 445.12, 3},
    };
    for (const auto& c : cases) {
        ScanContext ctx;
        reset_ms1(ctx);
        ctx.ms1[2].charge = 3;
        ctx.precursor_index = 2;
        ctx.precursor_read = c.read;
        ctx.precursor_mz = c.read ? 445.12 : 0;
        ctx.monoisotopic_mz = c.mono;
        ctx.trailer_table = c.table;
        ctx.precursor_found = c.found;
        EXPECT_EQ(reported_precursor(ctx), c.mz) << c.what;
        EXPECT_EQ(lookup_charge(ctx), c.zp) << c.what;
    }
}

TEST(PrintChargeLines, PairPeakAndTrailerCharges)
{
    const char *z2 = "Z\t2\t889.2327\n", *z3 = "Z\t3\t1333.3454\n", *z4 = "Z\t4\t1777.4582\n";
    const char *z5 = "Z\t5\t2221.5709\n", *z6 = "Z\t6\t2665.6836\n";
    // Peak charge zp, trailer charge zt; the pair is z2, z3. A charge of 1
    // or less is unknown: no line is written for it.
    const struct { double p; int32_t zp; int16_t zt; std::vector<const char*> lines; } cases[] = {
        {445.12, 0, 0, {z2, z3}},  {445.12, 1, 1, {z2, z3}},  {445.12, 0, -3, {z2, z3}}, {445.12, -2, 0, {z2, z3}},
        {445.12, 2, 3, {z2, z3}},  {445.12, 4, 3, {z4, z3}},  {445.12, 3, 3, {z3}},      {445.12, 6, 6, {z6}},
        {445.12, 2, 5, {z2, z3, z2, z5}},  // charge 2 written twice
        {445.12, 5, 2, {z2, z3, z5, z2}},  {445.12, 1, 2, {z2}},  {445.12, -1, 4, {z4}},
        {445.12, 3, 1, {z3}},  {445.12, 4, -1, {z4}},  {445.12, 5, 1, {z2, z3, z5}},
        {0.0, 0, 0, {"Z\t2\t-1.0073\n", "Z\t3\t-2.0146\n"}},
    };
    for (const auto& c : cases) {
        OutFile out;
        out_open_sink(out);
        print_charge_lines(out, c.p, c.zp, c.zt);
        std::string want;
        for (const char* line : c.lines)
            want += line;
        EXPECT_EQ(std::string(out.buf.data(), out.len), want) << "p " << c.p << " zp " << c.zp << " zt " << c.zt;
    }
}

}  // namespace
