// precursor_test.cpp -- precursor lookup, refinement and the Z lines.
#include "precursor/precursor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "output/outfile.h"
#include "support/run.h"

namespace {

// A survey scan's peaks at the front of a fresh table; last is the
// scan's last position (n - 1), as the loop keeps it.
ScanContext with_peaks(const std::vector<float>& mz, int32_t last)
{
    ScanContext ctx;
    reset_ms1(ctx);
    for (size_t i = 0; i < mz.size(); i++)
        ctx.ms1[i] = Ms1Peak{mz[i], 0, 0};
    ctx.ms1_last_peak = last;
    return ctx;
}

const std::vector<float> hundreds = {100, 200, 300, 400, 500};

TEST(FindPrecursor, InterpolatesThenWalksWithinTheTolerance)
{
    const double nan = std::nan("");
    struct Case {
        const char* what;
        std::vector<float> mz;
        int32_t last;     // ms1_last_peak
        double p;
        int32_t version;
        int32_t index;
    };
    const int32_t end = static_cast<int32_t>(ms1_initial_size) - 1;
    const std::vector<Case> cases = {
        {"guess 1, up to 300, back below 0.02", hundreds, 4, 299.95, 66, 1},
        {"the same at 0.02 for version 64", hundreds, 4, 299.95, 64, 1},
        {"300 lies within 0.2", hundreds, 4, 299.95, 62, 2},
        {"the same for version 63", hundreds, 4, 299.95, 63, 2},
        {"guess 2, no walk", hundreds, 4, 300.01, 66, 2},
        {"below the first peak", hundreds, 4, 50, 66, 0},
        {"below the first peak, wide", hundreds, 4, 50, 62, 0},
        {"the last peak", hundreds, 4, 500, 66, 4},
        {"none within tol: the highest below", {100, 400, 410, 420, 500}, 4,
         405, 62, 1},
        {"guess above p walks down", {100, 300, 450, 460, 500}, 4, 300.05,
         62, 1},
        {"guess above, nothing within tol", {100, 490, 495, 498, 500}, 4, 200,
         62, 0},
        // The zeros behind the last survey scan lie below any p >= tol,
        // so the upward walk runs to the end of the table and stops there.
        {"guess past the peaks", hundreds, 4, 1000, 66, end},
        {"initial list, p 445.12", {}, 0, 445.12, 66, end},
        {"initial list, p 0", {}, 0, 0, 66, 0},
        {"no precursor m/z", hundreds, 4, 0, 62, 0},
        {"a garbage m/z", hundreds, 4, nan, 66, 0},
        // After a survey scan without peaks the list reads as one peak.
        {"ms1_last_peak -1", {100, 500, 300}, -1, 300, 66, 0},
        {"ms1_last_peak 0, same list", {100, 500, 300}, 0, 300, 66, 0},
    };
    for (const Case& c : cases) {
        ScanContext ctx = with_peaks(c.mz, c.last);
        ctx.precursor_index = -99;
        find_precursor(c.p, c.version, ctx);
        EXPECT_EQ(ctx.precursor_index, c.index) << c.what;
    }
}

TEST(FindPrecursor, UpwardWalkStopsAtTheEndOfAGrownTable)
{
    ScanContext ctx = with_peaks(hundreds, 4);
    ctx.ms1.resize(25000, Ms1Peak{0, 0, 0});
    find_precursor(1000, 66, ctx);
    EXPECT_EQ(ctx.precursor_index, 24999);
}

// Intensities a[j] in a fresh table; every other intensity is 0.
ScanContext with_intensities(const std::vector<std::pair<int32_t, float>>& a)
{
    ScanContext ctx;
    reset_ms1(ctx);
    for (const auto& [j, v] : a)
        ctx.ms1[static_cast<size_t>(j)].intensity = v;
    return ctx;
}

TEST(RefinePrecursor, MostIntenseNeighbourEarliestOnTies)
{
    struct Case {
        const char* what;
        std::vector<std::pair<int32_t, float>> a;
        int32_t k;
        int32_t version;
        int32_t index;
    };
    const int32_t end = static_cast<int32_t>(ms1_initial_size) - 1;
    const std::vector<Case> cases = {
        // k 1: candidates 1, 2, 4, 5, 6, 0, never 3; elements 5 and 6 hold
        // what an earlier, longer survey scan left there.
        {"k 1 skips element 3",
         {{0, 10}, {1, 20}, {2, 30}, {3, 1000}, {4, 40}, {5, 900}, {6, 950}},
         1, 66, 6},
        {"k 1, element 0 examined last", {{0, 60}, {1, 20}, {3, 1000}}, 1, 64,
         0},
        {"k 0 window on 3", {{3, 1000}, {5, 7}}, 0, 62, 5},
        {"k 2 keeps itself", {{2, 50}, {3, 99}}, 2, 66, 2},
        {"tie with the guess keeps it", {{7, 500}, {10, 500}, {9, 100}}, 10,
         66, 10},
        {"first of equal maxima wins", {{10, 500}, {8, 600}, {12, 600}}, 10,
         66, 8},
        {"w-3 taken last", {{10, 500}, {7, 700}, {13, 650}}, 10, 62, 7},
        {"w+3 reached", {{10, 500}, {13, 650}}, 10, 66, 13},
        {"w+4 is outside", {{10, 500}, {14, 9000}, {6, 9000}}, 10, 66, 10},
        {"all zero stays", {}, 10, 66, 10},
        {"version 63 never moves", {{6, 1000}}, 1, 63, 1},
        // Candidates past the table are skipped.
        {"near the end", {{end - 4, 5}, {end, 4}}, end - 1, 66, end - 4},
        {"at the end", {{end - 3, 5}, {end - 1, 6}}, end, 66, end - 1},
    };
    for (const Case& c : cases) {
        ScanContext ctx = with_intensities(c.a);
        ctx.precursor_index = c.k;
        refine_precursor(c.version, ctx);
        EXPECT_EQ(ctx.precursor_index, c.index) << c.what;
    }
}

TEST(PrintChargeLines, PairPeakAndTrailerCharges)
{
    const char* z2 = "Z\t2\t889.2327\n";
    const char* z3 = "Z\t3\t1333.3454\n";
    const char* z4 = "Z\t4\t1777.4582\n";
    const char* z5 = "Z\t5\t2221.5709\n";
    const char* z6 = "Z\t6\t2665.6836\n";
    struct Case {
        double p;
        int32_t zp;
        int16_t zt;
        std::vector<const char*> lines;  // the pair is z2, z3
    };
    const std::vector<Case> cases = {
        {445.12, 0, 0, {z2, z3}},
        {445.12, 1, 1, {z2, z3}},
        {445.12, 0, -3, {z2, z3}},
        {445.12, 2, 3, {z2, z3}},
        {445.12, 4, 3, {z4, z3}},
        {445.12, 2, 5, {z2, z3, z2, z5}},  // charge 2 written twice
        {445.12, 5, 2, {z2, z3, z5, z2}},
        {445.12, 3, 3, {z3}},
        {445.12, 6, 6, {z6}},
        {445.12, 1, 2, {z2}},
        {445.12, 0, 4, {z4}},
        {445.12, -1, 2, {z2}},
        // a trailer charge of 1 or less is unknown: no line for it
        {445.12, 3, 1, {z3}},
        {445.12, 2, 0, {z2}},
        {445.12, 4, -1, {z4}},
        {445.12, 5, 1, {z2, z3, z5}},
        {445.12, -2, 0, {z2, z3}},
        {0.0, 0, 0, {"Z\t2\t-1.0073\n", "Z\t3\t-2.0146\n"}},
    };
    testrun::TempDir dir;
    int n = 0;
    for (const Case& c : cases) {
        std::string name = "z";
        name += std::to_string(n++);
        std::string path = dir.file(name);
        OutFile out;
        ASSERT_EQ(out_open(out, path), 0);
        print_charge_lines(out, c.p, c.zp, c.zt);
        ASSERT_TRUE(out_close(out, true));
        std::string want;
        for (const char* line : c.lines)
            want.append(line);
        EXPECT_EQ(testrun::read_file(path), want)
            << "p " << c.p << " zp " << c.zp << " zt " << c.zt;
    }
}

}  // namespace
