// scans_test.cpp -- hand-checked outputs: a small run of every version
// written out in full with its summary line, and the triage's worked
// examples. They anchor the digests of golden_test.cpp.
#include <gtest/gtest.h>

#include "e2e/check.h"

namespace {

using e2e::frag;
using e2e::sized;
using e2e::survey;
using fixture::Scan;

// A fragmentation scan first (ITMS, before any survey scan), a survey
// scan with three labelled peaks, a survey packet of no peaks and 100
// bytes (rejected but in version 64), a fragmentation scan (FTMS) on the
// second survey peak. Numbers from the rules' worked examples.
fixture::File small_run(int32_t v)
{
    Scan first = frag(445.12, 0, 0, 0.05), ms1 = survey(0.1), last = frag(445.12, 4, 3, 0.2);
    first.injection_time = 50;
    first.low_mass = last.low_mass = 120;
    first.high_mass = last.high_mass = 1345;
    first.peaks = {{445.12f, 80}};
    last.injection_time = 35;
    last.peaks = {{201.123f, 512.7f}};
    ms1.injection_time = 12.5f;
    ms1.peaks = {{100.05f, 1234.56f, 2 * 256, 0.4f}, {445.12f, 0.75f, 3 * 256, 12345.9f},
                 {600.5f, 5, 0, 7}};
    return e2e::run_of(v, {first, ms1, sized(survey(0.15), 0, 100), last});
}

// The header lines; the two files differ in three of them.
std::string head(const char* extractor, const char* comments, const char* type)
{
    return std::string("H\tCreation Date\t \nH\tExtractor\t") + extractor +
           "\nH\tExtractorVersion\t0.8\nH\tComments\t" + comments +
           "\nH\tExtractorOptions\tMSn\nH\tAcquisitionMethod\tData-Dependent\n"
           "H\tInstrumentType\tITMS\nH\tScanType\t" + type +
           "\nH\tDataType\tCentroid\nH\tResolution\t\nH\tIsolationWindow\t\n"
           "H\tFirstScan\t1\nH\tLastScan\t4\n";
}
const std::string head_ms1 = head("kolvex by Ostrel 2015", "kolvex by Ostrel", "MS1");
const std::string head_ms2 = head("kolvex", "kolvex by Ostrel 2015", "MS2");
// Before any survey scan: precursor scan 1, intensity 0, both charges.
const std::string scan_1 =
    "S\t000001\t000001\t445.1200\n"
    "I\tRetTime\t0.050000\n"
    "I\tIonInjectionTime\t50.00\n"
    "I\tActivationType\tCID\n"
    "I\tInstrumentType\tITMS\n"
    "I\tTemperatureFTAnalyzer\t-1\n"
    "I\tFilter\tITMS + c ESI d Full ms2 445.12@cid35.00 [120.00-1345.00]\n"
    "I\tPrecursorScan\t1\n"
    "I\tPrecursorInt\t0.0000\n"
    "Z\t2\t889.2327\n"
    "Z\t3\t1333.3454\n"
    "445.1199 80.0\n";
const std::string scan_2 =
    "S\t000002\t000002\n"
    "I\tRetTime\t0.100000\n"
    "I\tIonInjectionTime\t12.50\n"
    "I\tInstrumentType\tFTMS\n";
const std::string peaks_2 = "100.0500 1234.5\n445.1199 .7\n600.5000 5.0\n";
const std::string peaks_4 = "100.0500 1234.5 2 \n445.1199 .7 3 12345\n600.5000 5.0 0 7\n";
const std::string scan_3 =
    "S\t000003\t000003\n"
    "I\tRetTime\t0.150000\n"
    "I\tIonInjectionTime\t2.50\n"
    "I\tInstrumentType\tFTMS\n";

// The last scan, up to its precursor scan line.
const std::string scan_4 =
    "S\t000004\t000004\t445.1200\n"
    "I\tRetTime\t0.200000\n"
    "I\tIonInjectionTime\t35.00\n"
    "I\tActivationType\tCID\n"
    "I\tInstrumentType\tFTMS\n"
    "I\tTemperatureFTAnalyzer\t-1\n"
    "I\tFilter\tFTMS + c ESI d Full ms2 445.12@cid35.00 [120.00-1345.00]\n"
    "I\tPrecursorScan\t";

// 62, 64 and 66 move to the most intense neighbour (m/z 100.05, charge
// 2); 63 keeps the peak found (charge 3, equal to the trailer's). In 64
// the empty survey scan 3 is converted and becomes the precursor scan.
TEST(Scans, SmallRunOfEveryVersionInFull)
{
    const std::string pair = "Z\t2\t889.2327\nZ\t3\t1333.3454\n";
    const struct { int32_t v; std::string ms1, last, counts; } rows[] = {
        {62, scan_2 + peaks_2, "2\nI\tPrecursorInt\t1234.5601\n" + pair, "1 written to in.raw.ms1, 2"},
        {63, scan_2 + peaks_2, "2\nI\tPrecursorInt\t0.7500\nZ\t3\t1333.3454\n",
         "1 written to in.raw.ms1, 2"},
        {64, scan_2 + peaks_4 + scan_3, "3\nI\tPrecursorInt\t1234.5601\n" + pair,
         "2 written to in.raw.ms1, 2"},
        {66, scan_2 + peaks_4, "2\nI\tPrecursorInt\t1234.5601\n" + pair, "1 written to in.raw.ms1, 2"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.v);
        e2e::Converted c = e2e::convert(fixture::build(small_run(r.v)));
        EXPECT_EQ(c.status, 0);
        EXPECT_TRUE(testrun::is_completion(c.out, "in.raw")) << c.out;
        EXPECT_EQ(c.ms1, head_ms1 + r.ms1);
        EXPECT_EQ(c.ms2, head_ms2 + scan_1 + scan_4 + r.last + "201.1230 512.7\n");
        EXPECT_EQ(c.err, "in.raw: 4 scans in the index, " + r.counts + " written to in.raw.ms2, " +
                             (r.v == 64 ? "0 rejected\n"
                                        : "1 rejected (packet sizes that fit no centroid layout)\n"));
    }
}

// The triage's worked examples: the first of three scans, a survey or a
// fragmentation scan, is converted in versions 62, 63 and 66 as the row
// says, in version 64 always; the headers come with the first converted
// scan, and the last scan still reads its own event.
TEST(Scans, TriageBoundaries)
{
    const struct { int32_t n, s; bool converted; } rows[] = {
        {10, 124, true},  {10, 123, false}, {10, 125, false}, {0, 44, false},
        {10, 299, false}, {10, 300, true},  {10, 360, true},  {10, 361, false},
        {0, 139, false},  {0, 140, true},   {0, 200, true},   {0, 201, false}};
    for (int32_t v : {62, 63, 64, 66})
        for (const auto& r : rows)
            for (bool is_survey : {true, false}) {
                SCOPED_TRACE(testing::Message() << "v" << v << " n " << r.n << " s " << r.s
                                                << (is_survey ? " survey" : " fragmentation"));
                Scan first = is_survey ? survey(0.1) : frag(575, 2);
                first.peaks.assign(static_cast<size_t>(r.n), {420.25f, 9});
                first = sized(first, r.n, r.s);
                first.trailing = 200;
                e2e::Converted c = e2e::convert(
                    fixture::build(e2e::run_of(v, {first, survey(0.2), frag(450, 4)})));
                bool converted = r.converted || v == 64;
                EXPECT_EQ(e2e::count_of(c.ms1 + c.ms2, "S\t000001\t"), converted ? 1u : 0u);
                EXPECT_EQ(e2e::count_of(c.ms1 + c.ms2, "420.2500 9.0"), converted ? size_t(r.n) : 0u);
                EXPECT_TRUE(c.ms1.rfind("H\t", 0) == 0 && c.ms2.rfind("H\t", 0) == 0);
                EXPECT_EQ(e2e::count_of(c.ms2, "S\t000003\t000003\t450.0000\n"), 1u);
            }
}

}  // namespace
