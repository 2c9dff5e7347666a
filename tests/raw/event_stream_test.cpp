// event_stream_test.cpp -- the scan-event stream walked through its
// records' own counts, and what a record found that way gives its scan.
#include <gtest/gtest.h>

#include "precursor/precursor.h"
#include "raw/bytes.h"

namespace {

using Ranges = std::vector<std::pair<double, double>>;

// One record in the counted grammar; the count words can be overridden
// (-1: the true count).
struct Rec { uint8_t level = 2; std::vector<double> reactions = {445.12}; Ranges ranges = {{100, 2000}};
             uint32_t params = 3, tail = 2; Bytes sig = {0x01, 0x00, 0x02, 0x01}; bool end_mark = true;
             int64_t nr_word = -1, nm_word = -1, np_word = -1, a_word = -1; };

Bytes record(int32_t version, const Rec& r)
{
    Bytes b(size_t(4 + event_preamble_len(version)), 0);
    put(b, 4, signature(r.level, !r.end_mark));
    put(b, 4, r.sig);
    b[4 + 40] = 4;  // FTMS
    auto add = [&b](auto v) { b.resize(b.size() + sizeof v); put(b, int64_t(b.size() - sizeof v), v); };
    auto word = [&](int64_t over, size_t count) { add(uint32_t(over >= 0 ? uint64_t(over) : count)); };
    word(r.nr_word, r.reactions.size());
    for (double p : r.reactions) {
        add(p);
        b.resize(b.size() + (version == 66 ? 56 : 32) - 8, 0x5A);
    }
    word(r.nm_word, r.ranges.size());
    for (auto [lo, hi] : r.ranges)
        add(lo), add(hi);
    word(r.np_word, r.params);
    b.resize(b.size() + 8 * r.params, 0x3F);
    word(r.a_word, r.tail);
    b.resize(b.size() + 8 * r.tail + (version == 66 ? 4 : 0), 0x3F);
    return b;
}

// A file of the records from 1000, then the 4-byte word and T; trailing
// bytes after T. starts: where each record was put.
struct Stream { Bytes bytes; Nav nav; std::vector<int64_t> starts; };

Stream stream(int32_t version, const std::vector<Rec>& recs, int32_t close_off = 0)
{
    Stream s;
    s.bytes.assign(1000, 0);
    for (const Rec& r : recs) {
        s.starts.push_back(int64_t(s.bytes.size()));
        s.bytes = s.bytes + record(version, r);
    }
    s.bytes.resize(s.bytes.size() + 4 + size_t(close_off), 0);
    s.nav = nav_of(s.bytes, version);
    s.nav.pp_start = 1000;
    s.nav.pr_header = int32_t(s.bytes.size());
    s.bytes.resize(s.bytes.size() + 300, 0xEE);  // the trailer records
    return s;
}

TEST(WalkEventStream, DescribedOnlyWhenEveryRecordWalksAndClosesOnT)
{
    const Rec survey{.level = 1, .reactions = {}}, ms2{}, ms3{.reactions = {500.25, 251.5}};
    const Rec newer{.sig = {0x01, 0x01, 0x02, 0x01}};
    const struct { const char* what; int32_t version; std::vector<Rec> recs; bool described;
                   int32_t close_off = 0, n = -1, pp = 1000; } cases[] = {
        {"62: survey, MS2, MS3", 62, {survey, ms2, ms3}, true},  {"63", 63, {survey, ms2}, true},
        {"64", 64, {ms2, survey, ms2}, true},  {"66", 66, {survey, ms3, ms2}, true},
        {"newer signature 01 01 02 01", 66, {newer, newer}, true},  {"one record", 64, {ms2}, true},
        {"16 reactions, 64 ranges, parameters and tail words", 66,
         {{.reactions = std::vector<double>(16, 300.0), .ranges = Ranges(64, {1, 2}), .params = 64, .tail = 64}}, true},
        {"no parameters, no tail", 62, {{.params = 0, .tail = 0}}, true},
        {"closes 4 bytes off", 66, {survey, ms2}, false, 4},
        {"unknown signature", 66, {survey, {.sig = {0x01, 0x02, 0x02, 0x01}}}, false},
        {"no end mark", 66, {survey, {.end_mark = false}}, false},
        {"17 reactions", 62, {{.reactions = std::vector<double>(17, 300.0)}}, false},
        {"0 ranges", 64, {{.ranges = {}}}, false},  {"65 ranges", 64, {{.ranges = Ranges(65, {1, 2})}}, false},
        {"65 parameters", 66, {{.params = 65}}, false},  {"a tail of 65", 66, {{.tail = 65}}, false},
        {"a count word that lies about the data", 66, {{.nr_word = 2}, ms2}, false},
        {"one record fewer than entries", 66, {survey, ms2}, false, 0, 3},
        {"one more record than entries", 66, {survey, ms2}, false, 0, 1},
        {"no entries", 66, {survey}, false, 0, 0},
        {"the stream starts at T", 66, {}, false, 0, 1},
        {"the stream starts before the file", 66, {survey}, false, 0, 1, -4},
        {"a count of entries that cannot fit", 66, {survey}, false, 0, INT32_MAX},
    };
    for (const auto& c : cases) {
        Stream s = stream(c.version, c.recs, c.close_off);
        s.nav.pp_start = c.pp;
        Input in = input_of(s.bytes);
        std::vector<int64_t> starts = {7};
        int32_t n = c.n >= 0 ? c.n : int32_t(c.recs.size());
        EXPECT_EQ(walk_event_stream(in, s.nav, n, starts), c.described) << c.what;
        EXPECT_EQ(starts, c.described ? s.starts : std::vector<int64_t>{}) << c.what;
    }
}

// Nothing at or past T is read: T moved before the stream's true end (the
// file ending there), or past the end of the file.
TEST(WalkEventStream, NothingAtOrPastTIsRead)
{
    Stream s = stream(66, {Rec{}, Rec{}});
    const FilePos t = s.nav.pr_header;
    for (FilePos cut : {t - 1, t - 4, t - 5, FilePos(s.bytes.size()) + 1}) {
        Nav nav = s.nav;
        nav.pr_header = cut;
        Bytes head(s.bytes.begin(), s.bytes.begin() + std::min(cut, t));  // nothing past T exists
        Input in = input_of(cut < t ? head : s.bytes);
        std::vector<int64_t> starts;
        EXPECT_FALSE(walk_event_stream(in, nav, 2, starts)) << cut;
    }
}

// The record of a described stream gives its scan the level, analyzer and
// the last reaction's precursor (looked up in the survey list), and says
// whether the level may decide the scan's file.
TEST(ReadScanEventAt, LevelPrecursorAndConfidence)
{
    const struct { const char* what; Rec rec; double low, high; int32_t level; double precursor;
                   bool confident; } cases[] = {
        {"MS2", {}, 100, 2000, 2, 445.12, true},
        {"MS3: the last reaction", {.level = 3, .reactions = {500.25, 300.01}}, 100, 2000, 3, 300.01, true},
        {"survey", {.level = 1, .reactions = {}}, 100, 2000, 1, 0, true},
        {"survey with a reaction: none read", {.level = 1}, 100, 2000, 1, 0, true},
        {"MS2 without a reaction", {.reactions = {}}, 100, 2000, 2, 0, true},
        {"level 10", {.level = 10}, 100, 2000, 10, 445.12, true},
        {"level 11", {.level = 11}, 100, 2000, 11, 0, false},
        {"level 0", {.level = 0}, 100, 2000, 0, 0, false},
        {"level -1", {.level = 0xFF}, 100, 2000, -1, 0, false},
        {"low end differs", {}, 100.0001, 2000, 2, 445.12, false},
        {"high end differs", {}, 100, 1999.9999, 2, 445.12, false},
        {"two ranges: first low, last high", {.ranges = {{100, 700}, {800, 2000}}}, 100, 2000, 2, 445.12, true},
    };
    for (const auto& c : cases)
        for (int32_t version : {62, 66}) {
            Stream s = stream(version, {c.rec});
            Input in = input_of(s.bytes);
            IndexEntry entry{};
            entry.low_mass = c.low, entry.high_mass = c.high;
            ScanContext ctx;
            reset_ms1(ctx);
            for (size_t i = 0; i < 5; i++)
                ctx.ms1[i].mz = 100.0f * float(i + 1);
            ctx.ms1_last_peak = 4;
            EXPECT_EQ(read_scan_event_at(in, s.nav, 1000, entry, ctx), c.confident) << c.what;
            EXPECT_EQ(ctx.ms_level, c.level) << c.what;
            EXPECT_STREQ(ctx.instrument_type, "FTMS") << c.what;
            EXPECT_EQ(ctx.precursor_mz, c.precursor) << c.what;
            EXPECT_EQ(ctx.precursor_read, c.precursor != 0) << c.what;
            // 300.01 lies within tolerance of element 2 (m/z 300).
            EXPECT_EQ(ctx.precursor_found, c.precursor == 300.01) << c.what;
        }
}

}  // namespace
