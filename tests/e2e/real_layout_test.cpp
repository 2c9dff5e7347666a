// real_layout_test.cpp -- files laid out as instruments write them: no
// method marker, a trailer field table, packets that describe themselves.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "e2e/check.h"
#include "e2e/expect.h"
#include "fixture.h"

namespace {

const std::string ftms = "FTMS";

// Without marker and with a field table, a run converts exactly as the
// same run with marker and fixed trailer layout is replayed.
TEST(RealLayout, UnmarkedWithTableConvertsAsMarked)
{
    for (int32_t v : {62, 63, 64, 66}) {
        SCOPED_TRACE(v);
        fixture::File f = fixture::realistic_run(v, 2, 30, 3, 12, 17);
        fixture::Layout lay;
        fixture::build(f, &lay);
        expect::Outputs want = expect::replay(f, lay);
        ASSERT_TRUE(want.modelled) << want.why;
        f.marker = f.terminator = false;
        f.trailer_table = fixture::realistic_trailer_table(v == 64 ? 11 : 10, v == 63 ? 8 : 6);
        e2e::Converted c = e2e::convert(f);
        EXPECT_EQ(c.status, 0) << c.err;
        EXPECT_EQ(c.ms1, want.ms1);
        EXPECT_EQ(c.ms2, want.ms2);
    }
}

// Described packets in every version, with one plain packet among them
// that the triage still converts.
TEST(RealLayout, DescribedPacketsAndTheTable)
{
    fixture::Scan survey, wide, plain;
    survey.start_time = 0.5;
    survey.injection_time = 12.5f;
    survey.peaks = {{400.25f, 1000, 512, 7}, {500.5f, 2000, 768, 8}, {600.75f, 300, -256, 9}};
    survey.described = fixture::Described{};
    survey.described->profile_words = 30;
    wide.survey = plain.survey = false;
    wide.start_time = 0.6;
    wide.injection_time = 33.25f;
    wide.charge_state = 2;
    wide.precursor_mz = 500.5;
    wide.peaks = {{150.125f, 10, 0, 0}, {250.5f, 20, 0, 0}};
    wide.described = fixture::Described{};
    wide.described->wide = true;
    plain = wide;
    plain.described.reset();
    plain.start_time = 0.7;
    plain.charge_state = 3;
    plain.injection_time = 7.5f;
    for (int32_t v : {62, 63, 64, 66}) {
        SCOPED_TRACE(v);
        fixture::File f;
        f.version = v;
        f.marker = f.terminator = false;
        f.trailer_table = fixture::realistic_trailer_table();
        f.scans = {survey, wide, plain};
        e2e::Converted c = e2e::convert(f);
        std::string ms1 = expect::head_ms1(ftms, 3) + expect::scan_ms1(1, 0.5, 12.5f, ftms);
        for (const fixture::Peak& p : survey.peaks)
            ms1 += v >= 64 ? expect::peak_line4(p.mz, p.intensity, p.charge_code / 256, p.value)
                           : expect::peak_line(p.mz, p.intensity);
        std::string ms2 = expect::head_ms2(ftms, 3);
        int32_t scan = 2;
        for (const fixture::Scan& s : {wide, plain}) {
            ms2 += expect::scan_ms2(scan++, 500.5, s.start_time, s.injection_time, ftms, 100, 2000, 1, 2000) +
                   expect::z_lines(500.5, 3, s.charge_state);
            for (const fixture::Peak& p : s.peaks)
                ms2 += expect::peak_line(p.mz, p.intensity);
        }
        EXPECT_EQ(c.status, 0) << c.err;
        EXPECT_EQ(c.ms1, ms1);
        EXPECT_EQ(c.ms2, ms2);
        EXPECT_NE(c.err.find("0 rejected"), std::string::npos) << c.err;
    }
}

// Evidence that falls short converts nothing and says why.
TEST(RealLayout, NoHeaderFoundByStructure)
{
    fixture::File f = fixture::realistic_run(66, 1, 10, 2, 5, 3);
    f.marker = f.terminator = false;
    fixture::Layout lay;
    std::vector<uint8_t> b = fixture::build(f, &lay);
    int32_t pp_at = lay.p + 7448, pp = lay.pp_start + 1;
    std::memcpy(b.data() + pp_at, &pp, 4);  // the index no longer ends at pp_start
    e2e::Converted c = e2e::convert_bytes(b);
    EXPECT_EQ(c.status, 0);
    EXPECT_EQ(c.err, "in.raw: no run header found\n");
    EXPECT_EQ(c.ms1, "");
    EXPECT_EQ(c.ms2, "");
}

}  // namespace
