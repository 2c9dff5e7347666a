// scan_event_test.cpp -- MS level, analyzer, precursor m/z and the event
// cursor's advance, per version, on hand-built scan-event records.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "precursor/precursor.h"
#include "raw/raw.h"

namespace {

using Bytes = std::vector<uint8_t>;

const double precursor = 300.01;  // element 2 of the survey peaks below

// A record at r: preamble at r + 4 (signature, level at 6, end mark at
// 28, analyzer at 40), then a spare word and the precursor m/z behind the
// preamble of length len.
void put_record(Bytes& b, int32_t r, uint8_t level, uint8_t analyzer,
                int32_t len, bool signature = true)
{
    uint8_t* p = b.data() + r + 4;
    if (signature) {
        const uint8_t head[4] = {0x01, 0x00, 0x02, 0x01};
        std::memcpy(p, head, 4);
        std::memset(p + 28, 0xFF, 4);
    }
    p[6] = level;
    p[40] = analyzer;
    const uint32_t spare = 0x11223344;
    std::memcpy(p + len, &spare, 4);
    std::memcpy(p + len + 4, &precursor, 8);
}

int32_t preamble_len_of(int32_t version)
{
    return version == 62 ? 120 : version == 66 ? 136 : 128;
}

ScanContext survey_context()
{
    ScanContext ctx;
    reset_ms1(ctx);
    const float mz[5] = {100, 200, 300, 400, 500};
    for (size_t i = 0; i < 5; i++)
        ctx.ms1[i] = Ms1Peak{mz[i], 0, 0};
    ctx.ms1_last_peak = 4;
    return ctx;
}

struct Layout {
    int32_t version;
    int32_t pp_w, ms1_w, ms2_w, elite;
};

struct Read {
    int32_t pp_start;
    ScanContext ctx;
};

Read read_event(const Bytes& b, const Layout& l, int32_t pp_start)
{
    Input in = borrow_input(b.data(), b.size());
    Nav nav;
    nav.version = l.version;
    nav.filesize = static_cast<int32_t>(b.size());
    nav.pp_w = l.pp_w;
    nav.ms1_w = l.ms1_w;
    nav.ms2_w = l.ms2_w;
    nav.pp_start = pp_start;
    Read r{0, survey_context()};
    r.ctx.elite_layout = l.elite;
    read_scan_event(in, nav, r.ctx);
    r.pp_start = nav.pp_start;
    return r;
}

TEST(ReadScanEvent, WidthAndPrecursorPerVersionAndLevel)
{
    struct Case {
        Layout layout;
        uint8_t level_byte;
        int32_t ms_level;
        int32_t width;  // advance of the cursor
    };
    const std::vector<Case> cases = {
        {{62, 0, 0, 0, 0}, 1, 1, 212},
        {{62, 0, 0, 0, 0}, 2, 2, 188},
        {{62, 0, 0, 0, 0}, 0, 0, 188},
        {{62, 0, 0, 0, 0}, 3, 3, 188},
        {{62, 0, 0, 0, 0}, 0xFF, -1, 188},
        {{63, 196, 0, 0, 0}, 1, 1, 164},
        {{63, 196, 0, 0, 0}, 2, 2, 196},
        {{63, 0, 0, 0, 0}, 1, 1, 164},
        {{63, 197, 0, 0, 0}, 1, 1, 220},
        {{63, 197, 0, 0, 0}, 2, 2, 196},
        {{63, 197, 0, 0, 0}, 0xFF, -1, 196},
        {{64, 0, 250, 270, 0}, 1, 1, 250},
        {{64, 0, 250, 270, 0}, 2, 2, 270},
        {{64, 0, 250, 270, 0}, 0, 0, 270},
        {{64, 0, 0, 270, 0}, 1, 1, 0},  // unmeasured width: cursor stays
        {{64, 0, 250, 0, 0}, 2, 2, 0},
        {{66, 0, 0, 0, 0}, 1, 1, 232},
        {{66, 0, 0, 0, 0}, 2, 2, 232},
        {{66, 0, 0, 0, 1}, 1, 1, 232},
        {{66, 0, 0, 0, 1}, 2, 2, 288},
        {{66, 0, 0, 0, 1}, 0, 0, 288},
        {{66, 0, 0, 0, 1}, 3, 3, 288},
    };
    for (const Case& c : cases) {
        const Layout& l = c.layout;
        std::string what = "version ";
        what += std::to_string(l.version);
        what += " level ";
        what += std::to_string(c.ms_level);
        Bytes b(4000, 0);
        put_record(b, 1000, c.level_byte, 4, preamble_len_of(l.version));
        Read r = read_event(b, l, 1000);
        EXPECT_EQ(r.ctx.ms_level, c.ms_level) << what;
        EXPECT_EQ(r.pp_start, 1000 + c.width) << what;
        EXPECT_STREQ(r.ctx.instrument_type, "FTMS") << what;
        bool read = c.ms_level == 2;
        EXPECT_EQ(r.ctx.precursor_mz, read ? precursor : 0.0) << what;
        EXPECT_EQ(r.ctx.precursor_index, read ? 2 : 0) << what;
    }
}

TEST(ReadScanEvent, ZeroWidthReadsTheSameRecordAgain)
{
    Bytes b(4000, 0);
    put_record(b, 1000, 1, 0, 128);
    Input in = borrow_input(b.data(), b.size());
    Nav nav;
    nav.version = 64;
    nav.filesize = static_cast<int32_t>(b.size());
    nav.pp_start = 1000;
    nav.ms2_w = 300;  // ms1_w never measured
    ScanContext ctx = survey_context();
    for (int i = 0; i < 2; i++) {
        read_scan_event(in, nav, ctx);
        EXPECT_EQ(nav.pp_start, 1000);
        EXPECT_EQ(ctx.ms_level, 1);
    }
}

TEST(ReadScanEvent, AnalyzerName)
{
    struct Case {
        uint8_t analyzer;
        const char* name;
    };
    const std::vector<Case> cases = {
        {0, "ITMS"}, {4, "FTMS"}, {1, "?"}, {2, "?"},
        {3, "?"},    {5, "?"},    {255, "?"},
    };
    for (const Case& c : cases) {
        Bytes b(4000, 0);
        put_record(b, 1000, 1, c.analyzer, 136);
        Read r = read_event(b, {66, 0, 0, 0, 0}, 1000);
        EXPECT_STREQ(r.ctx.instrument_type, c.name) << int{c.analyzer};
    }
}

// A cursor that is not on a record's signature moves to the record that
// the signature search finds from it; with none in reach it reads where
// it stands.
TEST(ReadScanEvent, CursorOffTheRecordResynchronises)
{
    struct Rec {
        int32_t r;
        uint8_t level;
        bool signature;
    };
    struct Case {
        const char* what;
        std::vector<Rec> records;
        int32_t pp_start;
        int32_t read_at;  // the record actually read
        int32_t ms_level;
    };
    const std::vector<Case> cases = {
        {"on the record", {{3000, 2, true}, {3300, 1, true}}, 3000, 3000, 2},
        {"3 bytes before", {{3000, 2, true}}, 2997, 3000, 2},
        {"far before, still in reach", {{3000, 2, true}}, 1010, 3000, 2},
        {"out of reach: read in place", {{3000, 2, true}}, 1004, 1004, 0},
        {"no signature anywhere: read in place", {{3000, 2, false}}, 3000,
         3000, 2},
        {"1 byte after: the next record", {{3000, 1, true}, {3232, 2, true}},
         3001, 3232, 2},
    };
    for (const Case& c : cases) {
        Bytes b(6000, 0);
        for (const Rec& rec : c.records)
            put_record(b, rec.r, rec.level, 4, 136, rec.signature);
        Read r = read_event(b, {66, 0, 0, 0, 0}, c.pp_start);
        EXPECT_EQ(r.ctx.ms_level, c.ms_level) << c.what;
        EXPECT_EQ(r.pp_start, c.read_at + 232) << c.what;
        bool read = c.ms_level == 2;
        EXPECT_EQ(r.ctx.precursor_mz, read ? precursor : 0.0) << c.what;
    }
}

}  // namespace
