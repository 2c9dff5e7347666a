// events_test.cpp -- what the scan-event and trailer streams put into the
// text: analyzer names, MS levels, precursors, times and charge lines, for
// every version's record layouts, and records of unexpected widths.
#include <gtest/gtest.h>

#include <cstdio>

#include "e2e/check.h"

namespace {

using e2e::convert_and_compare;
using e2e::count_of;

const std::vector<int32_t> all_versions = {62, 63, 64, 66};

// Eight survey peaks, m/z 100 to 800.
const float list_intensity[8] = {10, 20, 30, 25, 15, 5, 1, 2};
const int16_t list_charge[8] = {0, 2, 3, 4, 0, 5, 0, 0};

fixture::Scan survey(double t = 0.1)
{
    fixture::Scan s;
    s.survey = true;
    s.extras = true;
    s.start_time = t;
    s.injection_time = 2.5f;
    for (int i = 0; i < 8; i++)
        s.peaks.push_back({100.0f * static_cast<float>(i + 1), list_intensity[i],
                           static_cast<int16_t>(list_charge[i] * 256), 7.0f});
    return s;
}

fixture::Scan frag(double precursor, double t = 0.2, uint8_t analyzer = 0, int16_t charge = 0)
{
    fixture::Scan s;
    s.survey = false;
    s.analyzer = analyzer;
    s.precursor_mz = precursor;
    s.start_time = t;
    s.charge_state = charge;
    s.injection_time = 40.0f;
    s.low_mass = 95.5;
    s.high_mass = 1999.996;
    s.peaks = {{150.5f, 12.0f}, {151.0625f, 13.0f}};
    return s;
}

std::string line_after(const std::string& text, const std::string& start)
{
    size_t at = text.find(start);
    if (at == std::string::npos)
        return "(none)";
    size_t end = text.find('\n', at);
    return text.substr(at, end - at + 1);
}

TEST(Events, AnalyzerNamesInHeadersAndScanLines)
{
    struct Case {
        uint8_t code;
        std::string name;
    };
    const std::vector<Case> cases = {{0, "ITMS"}, {4, "FTMS"}, {1, "?"}, {2, "?"},
                                     {3, "?"},    {5, "?"},    {255, "?"}};
    for (int32_t v : all_versions) {
        for (const Case& c : cases) {
            SCOPED_TRACE("version " + std::to_string(v) + " analyzer " + std::to_string(c.code));
            fixture::File f;
            f.version = v;
            fixture::Scan first = survey();
            first.analyzer = c.code;
            uint8_t other = c.code == 4 ? 0 : 4;
            f.scans = {first, frag(300.0, 0.2, other), frag(400.0, 0.3, c.code)};
            e2e::Converted got;
            convert_and_compare(f, &got);
            std::string head = "H\tInstrumentType\t" + c.name + "\n";
            EXPECT_EQ(count_of(got.ms1, head), 1u);
            EXPECT_EQ(count_of(got.ms2, head), 1u);
            EXPECT_EQ(count_of(got.ms1, "I\tInstrumentType\t" + c.name + "\n"), 1u);
            std::string other_name = other == 4 ? "FTMS" : "ITMS";
            EXPECT_EQ(line_after(got.ms2, "I\tFilter\t" + other_name + " "),
                      "I\tFilter\t" + other_name +
                          " + c ESI d Full ms2 300.00@cid35.00 [95.50-2000.00]\n");
            EXPECT_EQ(line_after(got.ms2, "I\tFilter\t" + c.name + " "),
                      "I\tFilter\t" + c.name +
                          " + c ESI d Full ms2 400.00@cid35.00 [95.50-2000.00]\n");
        }
    }
}

// PrecursorInt and the peak charge, worked out by hand from the lookup
// rules on the eight-peak list; the trailer charge is unknown (0).
TEST(Events, PrecursorLookupAndChargeLines)
{
    struct Case {
        int32_t version;
        double p;
        float intensity;  // PrecursorInt
        int32_t zp;       // charge of the chosen peak
    };
    const std::vector<Case> cases = {
        // Exact match: element 2 (and its window's maximum).
        {62, 300.0, 30, 3}, {63, 300.0, 30, 3}, {64, 300.0, 30, 3}, {66, 300.0, 30, 3},
        // Within tolerance of 400 for 62/63 (0.2), not for 64/66 (0.02):
        // the walks end on element 3; 63 keeps it, the others move to the
        // most intense candidate, element 2.
        {63, 400.15, 25, 4}, {62, 400.15, 30, 3}, {66, 400.15, 30, 3}, {64, 400.15, 30, 3},
        // Matches nothing: the highest peak below p, element 2.
        {63, 350.0, 30, 3},
        // Below the list: element 0; 63 keeps it.
        {63, 50.0, 10, 0}, {66, 50.0, 30, 3},
        // Element 6 within 0.02; its window k-3..k+3 has element 3 most
        // intense (element 7 is 2, elements past the list are 0).
        {66, 700.01, 25, 4}, {62, 700.15, 25, 4}, {63, 700.15, 1, 0},
        // 0.1 below element 6: within 0.2 (62/63: element 6, whose window
        // 3..9 has element 3 most intense), not within 0.02 (64/66: element
        // 5, whose window 2..8 has element 2 most intense).
        {62, 699.9, 25, 4}, {63, 699.9, 1, 0}, {64, 699.9, 30, 3}, {66, 699.9, 30, 3},
        // Above every peak: the upward walk runs to the end of the table,
        // whose elements are all zero.
        {64, 800.5, 0, 0}, {63, 801.0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version) + " p " + std::to_string(c.p));
        fixture::File f;
        f.version = c.version;
        f.scans = {survey(0.1), frag(c.p, 0.2, 4, 0)};
        e2e::Converted got;
        convert_and_compare(f, &got);
        char want[512];
        std::snprintf(want, sizeof want,
                      "S\t000002\t000002\t%.4f\n"
                      "I\tRetTime\t0.200000\n"
                      "I\tIonInjectionTime\t40.00\n"
                      "I\tActivationType\tCID\n"
                      "I\tInstrumentType\tFTMS\n"
                      "I\tTemperatureFTAnalyzer\t-1\n"
                      "I\tFilter\tFTMS + c ESI d Full ms2 %.2f@cid35.00 [95.50-2000.00]\n"
                      "I\tPrecursorScan\t1\n"
                      "I\tPrecursorInt\t%.4f\n",
                      c.p, c.p, static_cast<double>(c.intensity));
        std::string block = std::string(want) + expect::z_lines(c.p, c.zp, 0) +
                            "150.5000 12.0\n151.0625 13.0\n";
        std::string h = expect::head_ms2("FTMS", 2);
        EXPECT_EQ(got.ms2, h + block);
    }
}

// The charge lines from the peak charge and the trailer charge, through
// the real run (version 66, the trailer charge at byte 18).
TEST(Events, ChargeLineChoices)
{
    struct Case {
        double p;
        int16_t zt;
        std::string lines;  // zp comes from the peak the precursor meets
    };
    // p = 200 meets charge 2; 300 charge 3; 600 charge 5; 100 charge 0.
    const std::vector<Case> cases = {
        {100.0, 0, "Z\t2\t198.9927\nZ\t3\t297.9854\n"},
        {100.0, 3, "Z\t3\t297.9854\n"},
        {300.0, 3, "Z\t3\t897.9854\n"},
        {200.0, 3, "Z\t2\t398.9927\nZ\t3\t597.9854\n"},
        {200.0, 5, "Z\t2\t398.9927\nZ\t3\t597.9854\nZ\t2\t398.9927\nZ\t5\t995.9709\n"},
        {200.0, 1, "Z\t2\t398.9927\n"},
        {200.0, -1, "Z\t2\t398.9927\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("p " + std::to_string(c.p) + " zt " + std::to_string(c.zt));
        fixture::File f;
        f.version = 66;
        fixture::Scan s = survey();
        // A flat list so that the refinement keeps the matched peak.
        for (auto& peak : s.peaks)
            peak.intensity = 10;
        f.scans = {s, frag(c.p, 0.2, 0, c.zt)};
        e2e::Converted got;
        convert_and_compare(f, &got);
        size_t z = got.ms2.find("\nZ\t");
        size_t peaks = got.ms2.find("\n150.5000");
        ASSERT_NE(z, std::string::npos);
        EXPECT_EQ(got.ms2.substr(z + 1, peaks - z), c.lines);
    }
}

TEST(Events, RetentionAndInjectionTimes)
{
    for (int32_t v : all_versions) {
        SCOPED_TRACE(v);
        fixture::File f;
        f.version = v;
        fixture::Scan s = survey(12.3456785);
        s.injection_time = 35.125f;
        fixture::Scan a = frag(300.0, 0.0000004), b = frag(400.0, 1234.5678901);
        a.injection_time = 0.004f;
        b.injection_time = 1000.996f;
        f.scans = {s, a, b};
        e2e::Converted got;
        convert_and_compare(f, &got);
        char want[64];
        std::snprintf(want, sizeof want, "I\tRetTime\t%.6f\n", 12.3456785);
        EXPECT_EQ(count_of(got.ms1, want), 1u);
        EXPECT_EQ(count_of(got.ms1, "I\tIonInjectionTime\t35.12\n"), 1u);
        EXPECT_EQ(count_of(got.ms2, "I\tRetTime\t0.000000\n"), 1u);
        EXPECT_EQ(count_of(got.ms2, "I\tRetTime\t1234.567890\n"), 1u);
        EXPECT_EQ(count_of(got.ms2, "I\tIonInjectionTime\t0.00\n"), 1u);
        EXPECT_EQ(count_of(got.ms2, "I\tIonInjectionTime\t1001.00\n"), 1u);
    }
}

// Every trailer layout: version 62 (279 bytes), 63 with 305-byte records
// (time at 26, charge at 44) and with 31-byte records (no charge), 64 and
// 66 (300 bytes).
TEST(Events, TrailerLayouts)
{
    struct Case {
        int32_t version, wide;
        bool charge_read;
    };
    const std::vector<Case> cases = {
        {62, 0, true}, {63, 1, true}, {63, 0, false}, {64, 0, true}, {66, 0, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version) + " wide " + std::to_string(c.wide));
        fixture::File f;
        f.version = c.version;
        f.v63_trailer_wide = c.wide;
        fixture::Scan s = survey();
        for (auto& peak : s.peaks)
            peak.intensity = 10;
        s.injection_time = 11.5f;
        fixture::Scan a = frag(100.0, 0.2, 0, 3), b = frag(100.0, 0.3, 0, 4);
        a.injection_time = 22.25f;
        b.injection_time = 33.75f;
        f.scans = {s, a, b};
        e2e::Converted got;
        convert_and_compare(f, &got);
        EXPECT_EQ(count_of(got.ms1, "I\tIonInjectionTime\t11.50\n"), 1u);
        EXPECT_EQ(count_of(got.ms2, "I\tIonInjectionTime\t22.25\n"), 1u);
        EXPECT_EQ(count_of(got.ms2, "I\tIonInjectionTime\t33.75\n"), 1u);
        // Peak charge 0: the trailer charge alone, or the pair without it.
        EXPECT_EQ(count_of(got.ms2, "Z\t3\t297.9854\n"), c.charge_read ? 1u : 2u);
        EXPECT_EQ(count_of(got.ms2, "Z\t4\t396.9782\n"), c.charge_read ? 1u : 0u);
        EXPECT_EQ(count_of(got.ms2, "Z\t2\t198.9927\n"), c.charge_read ? 0u : 2u);
    }
}

// Version 63 picks its trailer layout by the average trailer width:
// above 300 the 305-byte layout, 300 itself the 31-byte one.
TEST(Events, Version63TrailerWidthBoundary)
{
    struct Case {
        int32_t cut;       // bytes cut from the end of the file
        int32_t pr_w;
        bool wide;
    };
    const std::vector<Case> cases = {{0, 306, true}, {11, 301, true}, {13, 300, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cut);
        fixture::File f;
        f.version = 63;
        f.v63_trailer_wide = 1;
        fixture::Scan s = survey();
        s.injection_time = 11.5f;
        fixture::Scan a = frag(300.0, 0.2, 0, 3);
        a.injection_time = 22.25f;
        f.scans = {s, a};
        fixture::Layout lay;
        std::vector<uint8_t> bytes = fixture::build(f, &lay);
        ASSERT_EQ((lay.filesize - c.cut - lay.pr_header) / 2, c.pr_w);
        bytes.resize(bytes.size() - static_cast<size_t>(c.cut));
        e2e::Converted got = e2e::convert_bytes(bytes);

        fixture::File same = f;
        if (!c.wide) {
            // 31-byte steps land on the zeros at the start of the records.
            for (auto& scan : same.scans) {
                scan.injection_time = 0;
                scan.charge_state = 0;
            }
        }
        expect::Outputs want = expect::replay(same, lay);
        EXPECT_EQ(got.status, 0);
        EXPECT_EQ(got.ms1, want.ms1);
        EXPECT_EQ(got.ms2, want.ms2);
        EXPECT_EQ(count_of(got.ms2, "I\tIonInjectionTime\t22.25\n"), c.wide ? 1u : 0u);
    }
}

// A trailer record past the end of the file: the scan repeats the values
// of the scan before it.
TEST(Events, TrailerPastTheEndRepeatsThePreviousValues)
{
    for (int32_t v : {62, 64, 66}) {
        SCOPED_TRACE(v);
        fixture::File f;
        f.version = v;
        fixture::Scan a = frag(300.0, 0.2, 0, 4), b = frag(400.0, 0.3, 0, 2);
        a.injection_time = 22.25f;
        b.injection_time = 33.75f;
        f.scans = {survey(), a, b};
        fixture::Layout lay;
        std::vector<uint8_t> bytes = fixture::build(f, &lay);
        bytes.resize(static_cast<size_t>(lay.trailer_pos[2]));
        e2e::Converted got = e2e::convert_bytes(bytes);

        fixture::File same = f;
        same.scans[2].injection_time = 22.25f;
        same.scans[2].charge_state = 4;
        expect::Outputs want = expect::replay(same, lay);
        EXPECT_EQ(got.ms1, want.ms1);
        EXPECT_EQ(got.ms2, want.ms2);
        EXPECT_EQ(count_of(got.ms2, "I\tIonInjectionTime\t22.25\n"), 2u);
    }
}

// MS levels other than 1 and 2 read no precursor; level 1 in a
// fragmentation entry gives precursor 0; level 2 in a survey entry is
// looked up and changes nothing that is written.
TEST(Events, MsLevels)
{
    for (int32_t v : all_versions) {
        for (int8_t level : {int8_t{1}, int8_t{2}, int8_t{0}, int8_t{3}, int8_t{-1}}) {
            SCOPED_TRACE("version " + std::to_string(v) + " level " + std::to_string(level));
            fixture::File f;
            f.version = v;
            fixture::Scan odd_frag = frag(456.0, 0.2, 4, 3);
            odd_frag.ms_level = level;
            fixture::Scan odd_survey = survey(0.4);
            odd_survey.ms_level = level;
            odd_survey.precursor_mz = 777.0;
            f.scans = {survey(0.1), frag(300.0, 0.15, 0, 2), odd_frag, frag(500.0, 0.3, 0, 2),
                       odd_survey,  frag(200.0, 0.5, 0, 2), frag(400.0, 0.6, 0, 2)};
            e2e::Converted got;
            convert_and_compare(f, &got);
            std::string s3 = line_after(got.ms2, "S\t000003\t");
            EXPECT_EQ(s3, level == 2 ? "S\t000003\t000003\t456.0000\n"
                                     : "S\t000003\t000003\t0.0000\n");
            EXPECT_EQ(count_of(got.ms2, level == 2 ? "ms2 456.00@" : "ms2 0.00@"), 1u);
            // The scans after the odd records read their own.
            EXPECT_EQ(count_of(got.ms2, "S\t000004\t000004\t500.0000\n"), 1u);
            EXPECT_EQ(count_of(got.ms2, "S\t000006\t000006\t200.0000\n"), 1u);
            EXPECT_EQ(count_of(got.ms2, "S\t000007\t000007\t400.0000\n"), 1u);
            EXPECT_EQ(count_of(got.ms1, "S\t000005\t000005\n"), 1u);
        }
    }
}

TEST(Events, Version64WithAnUnmeasuredWidth)
{
    {
        SCOPED_TRACE("survey scans only");
        fixture::File f;
        f.version = 64;
        f.scans = {survey(0.1), survey(0.2), survey(0.3)};
        convert_and_compare(f);
    }
    {
        // A hundred survey records end the measuring walk before any
        // fragmentation record: its width stays 0, so the second
        // fragmentation scan reads the first one's record again.
        SCOPED_TRACE("fragmentation width unmeasured");
        fixture::File f;
        f.version = 64;
        for (int i = 0; i < 100; i++) {
            fixture::Scan s = survey(0.01 * i);
            s.peaks.resize(2);
            f.scans.push_back(s);
        }
        f.scans.push_back(frag(150.0, 2.0, 4, 2));
        f.scans.push_back(frag(250.0, 2.1, 0, 3));
        e2e::Converted got;
        convert_and_compare(f, &got);
        EXPECT_EQ(count_of(got.ms2, "S\t000101\t000101\t150.0000\n"), 1u);
        EXPECT_EQ(count_of(got.ms2, "S\t000102\t000102\t150.0000\n"), 1u);
        EXPECT_EQ(count_of(got.ms2, "I\tInstrumentType\tITMS\n"), 0u);
    }
}

TEST(Events, LayoutsOfVersions63And66)
{
    struct Case {
        int32_t version, v63_wide, elite;
    };
    const std::vector<Case> cases = {{63, 0, 1}, {63, 1, 1}, {66, 0, 0}, {66, 0, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version) + " wide " +
                     std::to_string(c.v63_wide) + " elite " + std::to_string(c.elite));
        fixture::File f = fixture::realistic_run(c.version, 3, 20, 4, 6, 11);
        f.v63_wide = c.v63_wide;
        f.elite_layout = c.elite;
        expect::Outputs want = convert_and_compare(f);
        EXPECT_EQ(want.converted_ms2, 12);
        for (size_t k = 0; k < f.scans.size(); k++)
            EXPECT_EQ(want.scans[k].precursor_mz, f.scans[k].survey ? 0 : f.scans[k].precursor_mz);
    }
}

// Records of another width than the version's: the converter finds the
// next record by its signature, so the scans after a wider record keep
// their own precursors; after a narrower one the cursor lies past the next
// record's start and the search finds the one after it.
TEST(Events, RecordsOfOtherWidths)
{
    struct Case {
        int32_t version, width;
        bool wider;
    };
    const std::vector<Case> cases = {{62, 500, true}, {63, 700, true}, {64, 900, true},
                                     {66, 1200, true}, {66, 200, false}, {62, 150, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version) + " width " + std::to_string(c.width));
        fixture::File f;
        f.version = c.version;
        // A wide record lifts version 63's average event width above 196,
        // which selects the wide survey records.
        f.v63_wide = 1;
        fixture::Scan odd = frag(250.0, 0.2, 4, 2);
        odd.event_width = c.width;
        // A last, rejected scan whose record only a shifted cursor reads.
        fixture::Scan spare = frag(650.0, 0.6, 0, 2);
        spare.data_size = 10;
        spare.event_width = c.version == 62 ? 188 : c.version == 63 ? 196
                            : c.version == 64 ? 280 : 288;
        f.scans = {survey(0.1), frag(150.0, 0.15, 0, 2), odd, frag(350.0, 0.3, 0, 2),
                   frag(450.0, 0.4, 0, 2), frag(550.0, 0.5, 0, 2), spare};
        e2e::Converted got;
        expect::Outputs want = convert_and_compare(f, &got);
        EXPECT_EQ(count_of(got.ms2, "S\t000003\t000003\t250.0000\n"), 1u);
        if (c.wider) {
            EXPECT_EQ(count_of(got.ms2, "S\t000004\t000004\t350.0000\n"), 1u);
            EXPECT_EQ(count_of(got.ms2, "S\t000006\t000006\t550.0000\n"), 1u);
        } else {
            EXPECT_EQ(count_of(got.ms2, "S\t000004\t000004\t450.0000\n"), 1u);
            EXPECT_EQ(count_of(got.ms2, "S\t000006\t000006\t650.0000\n"), 1u);
        }
    }
}

// A record so wide that the next signature lies out of reach: the scan
// after it reads the zeros where its record should be (MS level 0, no
// precursor, "ITMS"), and the one after that finds the next record.
TEST(Events, NoSignatureWithinReachReadsInPlace)
{
    fixture::File f;
    f.version = 66;
    fixture::Scan wide = frag(250.0, 0.2, 4, 2);
    wide.event_width = 2400;
    fixture::Scan b = frag(350.0, 0.3, 4, 2), c = frag(450.0, 0.4, 4, 2);
    f.scans = {survey(0.1), wide, b, c};
    e2e::Converted got = e2e::convert(f);
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(count_of(got.ms2, "S\t000002\t000002\t250.0000\n"), 1u);
    EXPECT_EQ(count_of(got.ms2, "S\t000003\t000003\t0.0000\n"), 1u);
    EXPECT_EQ(count_of(got.ms2, "ITMS + c ESI d Full ms2 0.00@cid35.00"), 1u);
    EXPECT_EQ(count_of(got.ms2, "S\t000004\t000004\t350.0000\n"), 1u);
    EXPECT_EQ(count_of(got.ms2, "\nS\t"), 3u);
}

}  // namespace
