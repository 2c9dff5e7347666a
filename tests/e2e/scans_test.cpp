// scans_test.cpp -- hand-checked outputs: a small run of every version
// written out in full with its summary line, and the triage's worked
// examples. They anchor the digests of golden_test.cpp.
#include <gtest/gtest.h>

#include "e2e/check.h"
#include "version.h"

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
    first.low_mass = last.low_mass = 120;
    first.high_mass = last.high_mass = 1345;
    first.injection_time = 50, last.injection_time = 35, ms1.injection_time = 12.5f;
    first.peaks = {{445.12f, 80}};
    last.peaks = {{201.123f, 512.7f}};
    ms1.peaks = {{100.05f, 1234.56f, 2 * 256, 0.4f}, {445.12f, 0.75f, 3 * 256, 12345.9f},
                 {600.5f, 5, 0, 7}};
    return e2e::run_of(v, {first, ms1, sized(survey(0.15), 0, 100), last});
}

// The header lines; the two files differ in three of them. The version is
// the one -V gives (cli_test.cpp).
std::string head(const char* extractor, const char* comments, const char* type)
{
    return std::string("H\tCreation Date\t \nH\tExtractor\t") + extractor +
           "\nH\tExtractorVersion\t" + kolvex_version + "\nH\tComments\t" + comments +
           "\nH\tExtractorOptions\tMSn\nH\tAcquisitionMethod\tData-Dependent\n"
           "H\tInstrumentType\tITMS\nH\tScanType\t" + type +
           "\nH\tDataType\tCentroid\nH\tResolution\t\nH\tIsolationWindow\t\n"
           "H\tFirstScan\t1\nH\tLastScan\t4\n";
}
const std::string head_ms1 = head("kolvex by Ostrel 2015", "kolvex by Ostrel", "MS1");
const std::string head_ms2 = head("kolvex", "kolvex by Ostrel 2015", "MS2");
// Before any survey scan: precursor scan 1, intensity 0, both charges.
const std::string scan_1 =
    "S\t000001\t000001\t445.1200\nI\tRetTime\t0.050000\nI\tIonInjectionTime\t50.00\n"
    "I\tActivationType\tCID\nI\tInstrumentType\tITMS\nI\tTemperatureFTAnalyzer\t-1\n"
    "I\tFilter\tITMS + c ESI d Full ms2 445.12@cid35.00 [120.00-1345.00]\n"
    "I\tPrecursorScan\t1\nI\tPrecursorInt\t0.0000\nZ\t2\t889.2327\nZ\t3\t1333.3454\n445.1199 80.0\n";
const std::string scan_2 =
    "S\t000002\t000002\nI\tRetTime\t0.100000\nI\tIonInjectionTime\t12.50\nI\tInstrumentType\tFTMS\n";
const std::string peaks_2 = "100.0500 1234.5\n445.1199 .7\n600.5000 5.0\n";
const std::string peaks_4 = "100.0500 1234.5 2 \n445.1199 .7 3 12345\n600.5000 5.0 0 7\n";
const std::string scan_3 =
    "S\t000003\t000003\nI\tRetTime\t0.150000\nI\tIonInjectionTime\t2.50\nI\tInstrumentType\tFTMS\n";
// The last scan, up to its precursor scan line.
const std::string scan_4 =
    "S\t000004\t000004\t445.1200\nI\tRetTime\t0.200000\nI\tIonInjectionTime\t35.00\n"
    "I\tActivationType\tCID\nI\tInstrumentType\tFTMS\nI\tTemperatureFTAnalyzer\t-1\n"
    "I\tFilter\tFTMS + c ESI d Full ms2 445.12@cid35.00 [120.00-1345.00]\nI\tPrecursorScan\t";

// 62, 64 and 66 move to the most intense neighbour (m/z 100.05, charge
// 2); 63 keeps the peak found (charge 3, equal to the trailer's). In 64
// the empty survey scan 3 is converted and becomes the precursor scan.
TEST(Scans, SmallRunOfEveryVersionInFull)
{
    const std::string pair = "Z\t2\t889.2327\nZ\t3\t1333.3454\n";
    // written: the scans written to the MS1 file (the others are rejected
    // but in version 64).
    const struct { int32_t v; std::string ms1, last; int written; } rows[] = {
        {62, scan_2 + peaks_2, "2\nI\tPrecursorInt\t1234.5601\n" + pair, 1},
        {63, scan_2 + peaks_2, "2\nI\tPrecursorInt\t0.7500\nZ\t3\t1333.3454\n", 1},
        {64, scan_2 + peaks_4 + scan_3, "3\nI\tPrecursorInt\t1234.5601\n" + pair, 2},
        {66, scan_2 + peaks_4, "2\nI\tPrecursorInt\t1234.5601\n" + pair, 1},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.v);
        e2e::Converted c = e2e::convert(fixture::build(small_run(r.v)));
        EXPECT_EQ(c.status, 0);
        EXPECT_EQ(e2e::seconds_as_t(c.out), e2e::done("in.raw"));
        EXPECT_EQ(c.ms1, head_ms1 + r.ms1);
        EXPECT_EQ(c.ms2, head_ms2 + scan_1 + scan_4 + r.last + "201.1230 512.7\n");
        EXPECT_EQ(c.err, e2e::summary("in.raw", 4, r.written, 2,
                                      r.v == 64 ? "" : " (packet sizes that fit no centroid layout)"));
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

// The numbers of the scans of a text, each with a space after it.
std::string numbers(const std::string& text)
{
    std::string out;
    for (auto& [n, scan] : e2e::scans_of(text))
        out += std::to_string(n) + " ";
    return out;
}

// Each MS2 scan as "number: S m/z, Filter m/z, PrecursorScan,
// PrecursorInt, Z charge=mass ..."; the MS1 scans by number.
std::string precursors(const e2e::Converted& c)
{
    std::string out;
    for (auto& [n, scan] : e2e::scans_of(c.ms2)) {
        out += std::to_string(n) + ": " + scan.s.at(3) + " " +
               e2e::between(scan.info["Filter"], "ms2 ", "@") + " " + scan.info["PrecursorScan"] +
               " " + scan.info["PrecursorInt"];
        char line[64];
        for (auto [z, mass] : scan.z) {
            std::snprintf(line, sizeof line, " %d=%.4f", z, mass);
            out += line;
        }
        out += "; ";
    }
    return out + numbers(c.ms1);
}

// The run of newer instruments (check.h): each scan in the file of its own
// level, MS3 with its last reaction's precursor, the zoom scan not taking
// the survey's place, the monoisotopic m/z on S and Z lines but not in the
// Filter line, no peak charge where the lookup found nothing (scans 4, 7).
// Version 63 does not refine; version 64 converts the rejected scan 5.
TEST(Scans, OwnRecordsDecideTheFileAndTheInstrumentThePrecursor)
{
    const std::string s3 = "3: 299.4983 300.00 1 30.0000 3=896.4804 2=597.9894; ";
    const std::string refined = s3 + "4: 150.5000 150.50 1 30.0000 2=299.9927 3=449.4854; ";
    const std::string rest = "6: 700.0100 700.01 1 25.0000 4=2797.0182 2=1399.0127; "
                             "7: 430.0000 430.00 1 30.0000 2=858.9927 3=1287.9854; 1 2 ";
    const struct { int32_t v; std::string scans; } rows[] = {
        {62, refined + rest},
        {63, s3 + "4: 150.5000 150.50 1 10.0000 2=299.9927 3=449.4854; "
                  "6: 700.0100 700.01 1 1.0000 2=1399.0127; "
                  "7: 430.0000 430.00 1 25.0000 2=858.9927 3=1287.9854; 1 2 "},
        {64, refined + "5: 612.0000 612.00 1 30.0000 2=1222.9927 3=1833.9854; " + rest},
        {66, refined + rest},
    };
    for (const auto& r : rows) {
        e2e::Converted c = e2e::convert(fixture::build(e2e::counted_run(r.v)));
        EXPECT_EQ(precursors(c), r.scans) << r.v;
    }
}

// Where the records do not walk, or a record is not plainly its scan's,
// the index word decides (scan 1: 65535, MS2 file; scan 3: 0, MS1 file);
// the monoisotopic m/z of a field of another type is not read.
TEST(Scans, OwnRecordsOnlyWhenTheyWalkAndMatch)
{
    using F = fixture::File&;
    const struct { const char* what; void (*knob)(F); const char* ms2, *ms1; } rows[] = {
        {"described", [](F) {}, "3 4 6 7", "1 2"},
        {"newer signature", [](F f) { f.newer_signature = true; }, "3 4 6 7", "1 2"},
        {"closing 4 bytes off", [](F f) { f.counted_slack = 4; }, "1 4 6 7", "2 3"},
        {"17 reactions", [](F f) { f.scans[3].reaction_count_word = 17; }, "1 4 6 7", "2 3"},
        {"no mass range", [](F f) { f.scans[5].range_count_word = 0; }, "1 4 6 7", "2 3"},
        {"unknown signature", [](F f) { f.scans[5].signature = {{1, 2, 2, 1}}; }, "1 4 6 7", "2 3"},
        {"level 0", [](F f) { f.scans[2].ms_level = 0; }, "4 6 7", "1 2 3"},
        {"level 11", [](F f) { f.scans[2].ms_level = 11; }, "4 6 7", "1 2 3"},
        {"a range not the entry's", [](F f) { f.scans[2].mass_ranges = {{95.5, 1999.9}}; }, "4 6 7", "1 2 3"},
    };
    for (const auto& r : rows) {
        fixture::File f = e2e::counted_run(66);
        r.knob(f);
        e2e::Converted c = e2e::convert(fixture::build(f));
        EXPECT_EQ(numbers(c.ms2), r.ms2 + std::string(" ")) << r.what;
        EXPECT_EQ(numbers(c.ms1), r.ms1 + std::string(" ")) << r.what;
    }
    // A monoisotopic field of an integer type, an injection time of one.
    fixture::File f = e2e::counted_run(66);
    for (auto& field : *f.trailer_table)
        if (field.label.rfind("Monoisotopic", 0) == 0 || field.label.rfind("Ion Injection", 0) == 0)
            field.type = 8;
    e2e::Converted c = e2e::convert(fixture::build(f));
    std::map<int, e2e::ScanText> scans = e2e::scans_of(c.ms2);
    EXPECT_EQ(scans[3].s.at(3), "300.0000");
    EXPECT_EQ(scans[3].info["IonInjectionTime"], "0.00");
}

}  // namespace
