// scans_test.cpp -- whole runs through the binary: which scans are
// converted, the gaps rejected scans leave, packets that are odd, and the
// event cursor across rejected scans.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "e2e/check.h"

namespace {

using e2e::convert_and_compare;
using e2e::count_of;

const std::vector<int32_t> all_versions = {62, 63, 64, 66};

std::vector<fixture::Peak> ascending_peaks(int32_t n, float first, float step)
{
    std::vector<fixture::Peak> peaks;
    for (int32_t i = 0; i < n; i++) {
        float mz = first + step * static_cast<float>(i);
        peaks.push_back({mz, 1000.0f + 37.25f * static_cast<float>((i * 7) % 11),
                         static_cast<int16_t>(((i % 4) + 1) * 256),
                         100.5f * static_cast<float>(i)});
    }
    return peaks;
}

fixture::Scan survey(double t, int32_t n = 8)
{
    fixture::Scan s;
    s.survey = true;
    s.extras = true;
    s.start_time = t;
    s.injection_time = static_cast<float>(t) * 10.0f + 0.25f;
    s.peaks = ascending_peaks(n, 400.0f, 50.0f);
    return s;
}

// A fragmentation scan whose record tells it apart from every other: its
// own analyzer code and precursor.
fixture::Scan frag(double t, double precursor, uint8_t analyzer = 0, int16_t charge = 2)
{
    fixture::Scan s;
    s.survey = false;
    s.analyzer = analyzer;
    s.precursor_mz = precursor;
    s.start_time = t;
    s.low_mass = 110;
    s.high_mass = 1500.5;
    s.injection_time = static_cast<float>(t) + 0.5f;
    s.charge_state = charge;
    s.peaks = {{120.5f, 33.3f}, {230.0625f, 44.4f}, {340.125f, 55.5f}};
    return s;
}

// The block of scan `number` holds record lines only (no peak lines).
::testing::AssertionResult only_record_lines(const std::string& text, int32_t number)
{
    char s_line[32];
    std::snprintf(s_line, sizeof s_line, "S\t%06d\t", number);
    size_t at = text.find(s_line);
    if (at == std::string::npos)
        return ::testing::AssertionFailure() << "no " << s_line;
    size_t end = text.find("\nS\t", at);
    std::string block = text.substr(at, end == std::string::npos ? std::string::npos
                                                                  : end + 1 - at);
    for (size_t line = 0; line < block.size(); line = block.find('\n', line) + 1)
        if (std::string("SIZ").find(block[line]) == std::string::npos)
            return ::testing::AssertionFailure() << "peak line in\n" << block;
    return ::testing::AssertionSuccess();
}

TEST(Scans, RealisticRunPerVersion)
{
    for (int32_t v : all_versions) {
        for (uint32_t seed : {1u, 7u}) {
            SCOPED_TRACE("version " + std::to_string(v) + " seed " + std::to_string(seed));
            fixture::File f = fixture::realistic_run(v, 3, 40, 5, 15, seed);
            expect::Outputs want = convert_and_compare(f);
            EXPECT_EQ(want.converted_ms1, 3);
            EXPECT_EQ(want.converted_ms2, 15);
            EXPECT_EQ(count_of(want.ms1, "\nS\t"), 3u);
        }
    }
}

// Triage of the middle scan of survey / subject / fragmentation.
TEST(Scans, TriageBoundaries)
{
    struct Case {
        int32_t n, s;
        bool converted;  // versions 62, 63, 66; version 64 converts all
    };
    const std::vector<Case> cases = {
        {10, 124, true},  {10, 299, false}, {10, 300, true}, {10, 360, true},
        {10, 361, false}, {0, 139, false},  {0, 140, true},  {0, 200, true},
        {0, 201, false},  {10, 123, false}, {10, 125, false},
    };
    for (int32_t v : all_versions) {
        for (const Case& c : cases) {
            for (bool subject_survey : {true, false}) {
                SCOPED_TRACE("version " + std::to_string(v) + " n " + std::to_string(c.n) +
                             " s " + std::to_string(c.s) +
                             (subject_survey ? " survey" : " fragmentation"));
                fixture::File f;
                f.version = v;
                fixture::Scan subject = subject_survey ? survey(0.2, c.n) : frag(0.2, 575.0, 1);
                subject.peaks = ascending_peaks(c.n, 420.0f, 40.0f);
                subject.extras = false;
                subject.trailing = 200;  // zeros behind the peaks
                subject.data_size = c.s;
                subject.analyzer = 2;  // "?" if anyone reads its record
                subject.precursor_mz = 575.0;
                f.scans = {survey(0.1), subject, frag(0.3, 450.0, 4)};
                e2e::Converted got;
                expect::Outputs want = convert_and_compare(f, &got);
                bool converted = v == 64 || c.converted;
                ASSERT_EQ(want.scans.size(), 3u);
                EXPECT_EQ(want.scans[1].converted, converted);
                EXPECT_EQ(count_of(got.ms1 + got.ms2, "S\t000002\t"), converted ? 1u : 0u);
                EXPECT_EQ(count_of(got.ms2, "S\t000003\t000003\t450.0000\n"), 1u);
                if (converted && c.n == 0) {
                    EXPECT_TRUE(only_record_lines(subject_survey ? got.ms1 : got.ms2, 2));
                }
            }
        }
    }
}

TEST(Scans, RejectedMiddleEntryLeavesAGap)
{
    for (int32_t v : {62, 63, 66}) {
        SCOPED_TRACE(v);
        fixture::File f;
        f.version = v;
        fixture::Scan bad = survey(0.2, 10);
        bad.extras = false;
        bad.data_size = 299;
        f.scans = {survey(0.1), bad, survey(0.3)};
        e2e::Converted got;
        convert_and_compare(f, &got);
        EXPECT_NE(got.ms1.find("S\t000001\t000001\n"), std::string::npos);
        EXPECT_EQ(got.ms1.find("S\t000002"), std::string::npos);
        EXPECT_NE(got.ms1.find("S\t000003\t000003\n"), std::string::npos);
        EXPECT_EQ(got.ms2.find("\nS\t"), std::string::npos);
    }
}

TEST(Scans, FirstConvertedScanIsAFragmentationScan)
{
    for (int32_t v : all_versions) {
        SCOPED_TRACE(v);
        fixture::File f;
        f.version = v;
        f.scans = {frag(0.1, 444.0, 0), survey(0.2), frag(0.3, 500.0, 4)};
        e2e::Converted got;
        expect::Outputs want = convert_and_compare(f, &got);
        std::string h2 = expect::head_ms2("ITMS", 3), h1 = expect::head_ms1("ITMS", 3);
        EXPECT_EQ(got.ms2.compare(0, h2.size(), h2), 0);
        EXPECT_EQ(got.ms2.compare(h2.size(), 19, "S\t000001\t000001\t444"), 0);
        EXPECT_EQ(got.ms1.compare(0, h1.size(), h1), 0);
        size_t first = got.ms2.find("I\tPrecursorScan\t");
        EXPECT_EQ(got.ms2.substr(first, 18), "I\tPrecursorScan\t1\n");
        size_t second = got.ms2.find("I\tPrecursorScan\t", first + 1);
        EXPECT_EQ(got.ms2.substr(second, 18), "I\tPrecursorScan\t2\n");
    }
}

TEST(Scans, NothingConvertedLeavesBothFilesEmpty)
{
    for (int32_t v : {62, 63, 66}) {
        SCOPED_TRACE(v);
        fixture::File f;
        f.version = v;
        fixture::Scan a = survey(0.1, 10), b = frag(0.2, 500.0);
        a.extras = false;
        a.data_size = 299;
        b.data_size = 10;
        f.scans = {a, b};
        e2e::Converted got = e2e::convert(f);
        EXPECT_EQ(got.status, 0);
        EXPECT_EQ(got.ms1, "");
        EXPECT_EQ(got.ms2, "");
        EXPECT_TRUE(testrun::is_completion(got.out, "in.raw"));
        EXPECT_EQ(got.out.rfind("\nin.raw", 0), 0u);
    }
}

// Versions 62/63 read labels and values only when 16 x n < data_size.
TEST(Scans, ExtrasOfVersion62And63DependOnTheDataSize)
{
    struct Case {
        int32_t n, data_size;
        bool extras_read;
    };
    const std::vector<Case> cases = {{100, 844, false}, {5, 84, true}};
    for (int32_t v : {62, 63}) {
        for (const Case& c : cases) {
            SCOPED_TRACE("version " + std::to_string(v) + " n " + std::to_string(c.n));
            fixture::File f;
            f.version = v;
            fixture::Scan s = survey(0.1, c.n);
            for (auto& p : s.peaks)
                p.charge_code = 3 * 256;
            s.data_size = c.data_size;  // a packet of header and peaks only
            // Precursor on peak 2 (m/z 500), trailer charge unknown.
            fixture::Scan fr = frag(0.2, 500.0, 0, 0);
            f.scans = {s, fr};
            e2e::Converted got;
            convert_and_compare(f, &got);
            EXPECT_EQ(count_of(got.ms2, "Z\t3\t1497.9854\n"), 1u);
            EXPECT_EQ(count_of(got.ms2, "Z\t2\t"), c.extras_read ? 0u : 1u);
        }
    }
}

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (size_t i = 0; i < 4; i++)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A packet that starts near the end of the file: the peaks that are not
// in the file are written as zeros.
TEST(Scans, PeakArrayRunningPastTheEndOfTheFileGivesZeroPeaks)
{
    for (int32_t v : all_versions) {
        for (bool subject_survey : {false, true}) {
            SCOPED_TRACE("version " + std::to_string(v) + (subject_survey ? " survey" : ""));
            fixture::File f;
            f.version = v;
            fixture::Scan subject = subject_survey ? survey(0.3, 0) : frag(0.3, 410.0, 4);
            subject.peaks.clear();
            subject.extras = false;
            subject.write_packet = false;
            subject.peak_count = 4;
            subject.data_size = 44 + 8 * 4;  // four peaks: converted everywhere
            subject.packet_offset = 0;
            f.scans = {survey(0.1), frag(0.2, 500.0), subject};
            fixture::Layout lay;
            size_t end = fixture::build(f, &lay).size();
            subject.packet_offset = static_cast<int64_t>(end) - lay.data_start;
            f.scans[2] = subject;
            std::vector<uint8_t> bytes = fixture::build(f, &lay);
            ASSERT_EQ(bytes.size(), end);
            // Header with four peaks, one whole peak, three bytes of the next.
            std::vector<uint8_t> tail(44 + 8 + 3, 0);
            put32(tail, 40, 4);
            float mz = 333.4375f, inten = 777.75f;
            uint32_t bits;
            std::memcpy(&bits, &mz, 4);
            put32(tail, 44, bits);
            std::memcpy(&bits, &inten, 4);
            put32(tail, 48, bits);
            bytes.insert(bytes.end(), tail.begin(), tail.end());
            e2e::Converted got = e2e::convert_bytes(bytes);

            // The same run with the packet in place and three zero peaks.
            fixture::File same = f;
            fixture::Scan& placed = same.scans[2];
            placed.write_packet = true;
            placed.packet_offset.reset();
            placed.peak_count.reset();
            placed.trailing = 40;  // zeros where a survey scan's extras are read
            placed.peaks = {{mz, inten}, {}, {}, {}};
            fixture::Layout same_lay;
            fixture::build(same, &same_lay);
            expect::Outputs want = expect::replay(same, same_lay);
            ASSERT_TRUE(want.modelled) << want.why;
            EXPECT_EQ(got.status, 0);
            EXPECT_EQ(got.ms1, want.ms1);
            EXPECT_EQ(got.ms2, want.ms2);
            std::string tail_text = subject_survey
                                        ? "333.4375 777.7 0 \n.0000 .0 0 \n.0000 .0 0 \n.0000 .0 0 \n"
                                        : "333.4375 777.7\n.0000 .0\n.0000 .0\n.0000 .0\n";
            if (v <= 63 && subject_survey)
                tail_text = "333.4375 777.7\n.0000 .0\n.0000 .0\n.0000 .0\n";
            const std::string& text = subject_survey ? got.ms1 : got.ms2;
            ASSERT_GE(text.size(), tail_text.size());
            EXPECT_EQ(text.substr(text.size() - tail_text.size()), tail_text);
        }
    }
}

// Peak counts that cannot size a buffer: scan lines, no peak lines, and
// the event cursor still steps over the scan's record.
TEST(Scans, ImpossiblePeakCountsGiveScansWithoutPeaks)
{
    struct Case {
        int32_t version, n, s;
    };
    const std::vector<Case> cases = {
        {64, -5, 44},          {64, 1143054336, 44}, {64, -2147483647 - 1, 500},
        {64, 268435456, 44},   {66, -1, 150},        {62, -1, 36},
        {63, -1, 36},          {66, -3, 150},
    };
    for (const Case& c : cases) {
        for (bool subject_survey : {false, true}) {
            SCOPED_TRACE("version " + std::to_string(c.version) + " n " +
                         std::to_string(c.n) + (subject_survey ? " survey" : ""));
            fixture::File f;
            f.version = c.version;
            fixture::Scan subject = subject_survey ? survey(0.2, 0) : frag(0.2, 600.0, 1);
            subject.peaks.clear();
            subject.extras = false;
            subject.peak_count = c.n;
            subject.data_size = c.s;
            f.scans = {survey(0.1), subject, frag(0.3, 450.0, 4), frag(0.4, 550.0, 0)};
            e2e::Converted got;
            expect::Outputs want = convert_and_compare(f, &got);
            ASSERT_EQ(want.scans.size(), 4u);
            EXPECT_TRUE(want.scans[1].converted);
            EXPECT_EQ(count_of(got.ms2, "S\t000003\t000003\t450.0000\n"), 1u);
            EXPECT_EQ(count_of(got.ms2, "S\t000004\t000004\t550.0000\n"), 1u);
        }
    }
}

// Where a rejected scan with no peaks leaves the event cursor shows in the
// record the next converted scan reads: every record here is different.
TEST(Scans, RejectedScansMoveTheEventCursor)
{
    struct Case {
        int32_t version;
        bool survey;
        int32_t elite;  // version 66 layout
        bool gap;       // version 63: padding before the next record
    };
    const std::vector<Case> cases = {
        {62, true, 0, false},  {62, false, 0, false}, {63, true, 0, false},
        {63, false, 0, false}, {63, true, 0, true},   {63, false, 0, true},
        {66, true, 1, false},  {66, false, 1, false}, {66, true, 0, false},
        {66, false, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version) + (c.survey ? " survey" : " frag") +
                     " elite " + std::to_string(c.elite) + (c.gap ? " gap" : ""));
        fixture::File f;
        f.version = c.version;
        f.elite_layout = c.elite;
        fixture::Scan rejected = c.survey ? survey(0.2, 0) : frag(0.2, 612.0, 3);
        rejected.peaks.clear();
        rejected.extras = false;
        rejected.data_size = 100;  // n = 0 and s = 100: rejected
        rejected.analyzer = 3;
        fixture::Scan next = frag(0.3, 450.0, 4);
        next.event_gap = c.gap;
        // Records of other widths than the layout probe finds: for the
        // version 66 layouts, make the first three records show it.
        f.scans = {survey(0.1), frag(0.15, 480.0, 0), rejected, next, survey(0.4),
                   frag(0.5, 650.0, 0), survey(0.6)};
        if (c.version == 66 && c.elite == 0)
            f.scans[1] = survey(0.15);
        e2e::Converted got;
        expect::Outputs want = convert_and_compare(f, &got);
        ASSERT_EQ(want.scans.size(), 7u);
        EXPECT_FALSE(want.scans[2].converted);
        EXPECT_EQ(want.scans[3].instrument, "FTMS");
        EXPECT_EQ(count_of(got.ms2, "S\t000004\t000004\t450.0000\n"), 1u);
        EXPECT_EQ(count_of(got.ms2, "S\t000006\t000006\t650.0000\n"), 1u);
        EXPECT_EQ(got.ms2.find("InstrumentType\t?"), std::string::npos);
    }
}

// A rejected scan with peaks leaves the cursor where it is: the next
// converted scan reads the record after the last converted one.
TEST(Scans, RejectedScanWithPeaksLeavesTheEventCursor)
{
    for (int32_t v : {62, 63, 66}) {
        SCOPED_TRACE(v);
        fixture::File f;
        f.version = v;
        fixture::Scan rejected = frag(0.2, 612.0, 3);
        rejected.data_size = 10;
        f.scans = {survey(0.1), rejected, frag(0.3, 450.0, 4)};
        e2e::Converted got;
        expect::Outputs want = convert_and_compare(f, &got);
        EXPECT_EQ(count_of(got.ms2, "S\t000003\t000003\t450.0000\n"), 1u);
        EXPECT_EQ(count_of(got.ms2, "S\t"), 1u);
    }
}

}  // namespace
