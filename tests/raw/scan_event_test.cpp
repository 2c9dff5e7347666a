// scan_event_test.cpp -- MS level, analyzer, precursor m/z and the event
// cursor's advance, per version, on hand-built scan-event records.
#include <gtest/gtest.h>

#include <array>

#include "precursor/precursor.h"
#include "raw/bytes.h"

namespace {

const double precursor = 300.01;  // element 2 of the survey peaks below

// A record at r: the preamble at r + 4 (its signature unless bare, the
// level at 6, the analyzer at 40), then behind the version's preamble a
// spare word and the precursor m/z.
struct Record { int32_t r; uint8_t level, analyzer = 4; bool bare = false; };

// Rows read the record at pp after a survey scan of m/z 100 to 500, with
// the layout values version, pp_w, ms1_w, ms2_w and elite_layout. A cursor
// that is not on a record's signature moves to the record that the
// signature search finds from it; with none in reach it reads in place.
TEST(ReadScanEvent, LevelAnalyzerPrecursorAndTheCursor)
{
    const std::array<int32_t, 5> v62 = {62, 0, 0, 0, 0}, v66 = {66, 0, 0, 0, 0}, elite = {66, 0, 0, 0, 1};
    const struct { const char* what; std::array<int32_t, 5> nav; std::vector<Record> records;
                   int32_t pp, ms_level, pp_after; const char* name; } cases[] = {
        {"62, level 1", v62, {{1000, 1, 0}}, 1000, 1, 1212, "ITMS"},
        {"62, level 2", v62, {{1000, 2}}, 1000, 2, 1188, "FTMS"},
        {"62, level -1", v62, {{1000, 0xFF, 1}}, 1000, -1, 1188, "?"},
        {"63, pp_w 196, level 1", {63, 196, 0, 0, 0}, {{1000, 1}}, 1000, 1, 1164, "FTMS"},
        {"63, pp_w 196, level 2", {63, 196, 0, 0, 0}, {{1000, 2, 255}}, 1000, 2, 1196, "?"},
        {"63, pp_w 197, level 1", {63, 197, 0, 0, 0}, {{1000, 1, 5}}, 1000, 1, 1220, "?"},
        {"63, pp_w 197, level 2", {63, 197, 0, 0, 0}, {{1000, 2, 0}}, 1000, 2, 1196, "ITMS"},
        {"64, level 1", {64, 0, 250, 270, 0}, {{1000, 1}}, 1000, 1, 1250, "FTMS"},
        {"64, level 2", {64, 0, 250, 270, 0}, {{1000, 2}}, 1000, 2, 1270, "FTMS"},
        {"64, level 0", {64, 0, 250, 270, 0}, {{1000, 0}}, 1000, 0, 1270, "FTMS"},
        {"64, unmeasured width: reread", {64, 0, 0, 270, 0}, {{1000, 1}}, 1000, 1, 1000, "FTMS"},
        {"66, level 1", v66, {{1000, 1}}, 1000, 1, 1232, "FTMS"},
        {"66, level 2", v66, {{1000, 2}}, 1000, 2, 1232, "FTMS"},
        {"66 elite, level 1", elite, {{1000, 1}}, 1000, 1, 1232, "FTMS"},
        {"66 elite, level 2", elite, {{1000, 2}}, 1000, 2, 1288, "FTMS"},
        {"66 elite, level 3", elite, {{1000, 3}}, 1000, 3, 1288, "FTMS"},
        {"3 bytes before the record", v66, {{3000, 2}}, 2997, 2, 3232, "FTMS"},
        {"far before, still in reach", v66, {{3000, 2}}, 1010, 2, 3232, "FTMS"},
        {"out of reach: read in place", v66, {{3000, 2}}, 1004, 0, 1236, "ITMS"},
        {"no signature anywhere: read in place", v66, {{3000, 2, 4, true}}, 3000, 2, 3232, "FTMS"},
        {"1 byte after: the next record", v66, {{3000, 2}, {3232, 1}}, 3001, 1, 3464, "FTMS"},
    };
    for (const auto& c : cases) {
        Bytes b(6000, 0);
        int32_t len = c.nav[0] == 62 ? 120 : c.nav[0] == 66 ? 136 : 128;  // the preamble read
        for (const Record& rec : c.records) {
            put(b, rec.r + 4, rec.bare ? Bytes(32, 0) : signature(rec.level));
            b[size_t(rec.r + 10)] = rec.level;
            b[size_t(rec.r + 44)] = rec.analyzer;
            put(b, rec.r + 4 + len, uint32_t{0x11223344});
            put(b, rec.r + 8 + len, precursor);
        }
        Input in = input_of(b);
        Nav nav{.version = c.nav[0], .filesize = 6000, .pp_start = c.pp,
                .pp_w = c.nav[1], .ms1_w = c.nav[2], .ms2_w = c.nav[3]};
        ScanContext ctx;
        reset_ms1(ctx);
        for (size_t i = 0; i < 5; i++)
            ctx.ms1[i].mz = 100.0f * float(i + 1);
        ctx.ms1_last_peak = 4;
        ctx.elite_layout = c.nav[4];
        read_scan_event(in, nav, ctx);
        EXPECT_EQ(ctx.ms_level, c.ms_level) << c.what;
        EXPECT_EQ(nav.pp_start, c.pp_after) << c.what;
        EXPECT_STREQ(ctx.instrument_type, c.name) << c.what;
        // Level 2 alone reads the precursor and looks it up.
        EXPECT_EQ(ctx.precursor_mz, c.ms_level == 2 ? precursor : 0.0) << c.what;
        EXPECT_EQ(ctx.precursor_index, c.ms_level == 2 ? 2 : 0) << c.what;
    }
}

}  // namespace
