// fixture_test.cpp -- what the fixture writer writes, parsed back: counted
// event records by their own counts, trailer fields by their types.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>

#include "fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A little-endian value at byte at; zero when it lies outside the file.
template <typename T> T get(const Bytes& b, int64_t at)
{
    T v{};
    if (at >= 0 && at + int64_t{sizeof v} <= static_cast<int64_t>(b.size()))
        std::memcpy(&v, b.data() + at, sizeof v);
    return v;
}

// A record as its counts lay it out: start, end, and signature byte 1 (1
// in newer files), nr, nm, np, a, the last reaction's precursor, the first
// range's low and the last one's high end.
struct Record {
    int64_t start, end;
    std::vector<double> seen;
};

// Walks the records from pp_start up to the trailer pointer T, stopping at
// the first one that breaks the grammar.
std::vector<Record> walk(const Bytes& b, const fixture::Layout& lay, int32_t v)
{
    const int64_t l = v == 62 ? 120 : v == 66 ? 136 : 128, rs = v == 66 ? 56 : 32, t = lay.pr_header;
    std::vector<Record> out;
    for (int64_t r = lay.pp_start, k = 0; k < lay.index_num; k++) {
        int64_t c = r + 4 + l;
        uint32_t nr, nm, np, a;
        auto count = [&](uint32_t& n, uint32_t lo, uint32_t hi) {
            n = c + 4 <= t ? get<uint32_t>(b, c) : hi + 1;
            return n >= lo && n <= hi;
        };
        if (r + 36 > t || get<uint32_t>(b, r + 4) != (b[r + 5] == 1 ? 0x01020101u : 0x01020001u) ||
            get<uint32_t>(b, r + 32) != 0xFFFFFFFFu || !count(nr, 0, 16))
            break;
        double precursor = nr > 0 ? get<double>(b, c + 4 + rs * (nr - 1)) : 0;
        c += 4 + rs * nr;
        if (!count(nm, 1, 64))
            break;
        double low = get<double>(b, c + 4), high = get<double>(b, c + 16 * nm - 4);
        c += 4 + 16 * nm;
        if (!count(np, 0, 64))
            break;
        c += 4 + 8 * np;
        if (!count(a, 0, 64) || (c += 4 + 8 * a + (v == 66 ? 4 : 0)) > t)
            break;
        out.push_back({r, c, {double(b[r + 5]), double(nr), double(nm), double(np), double(a), precursor, low,
                              high}});
        r = c;
    }
    return out;
}

// Two survey scans and three fragmentation scans, range 200-1500.
fixture::File base(int32_t v)
{
    fixture::File f;
    f.version = v, f.counted_events = true;
    for (double p : {0.0, 500.25, 612.5, 0.0, 700.125}) {
        fixture::Scan s;
        s.peaks = {{400.0f, 10.0f}, {500.25f, 20.0f}};
        s.survey = p == 0, s.precursor_mz = p, s.low_mass = 200, s.high_mass = 1500, s.injection_time = 12.5f;
        f.scans.push_back(s);
    }
    return f;
}

using F = fixture::File&;
const std::vector<double> frag_1 = {0, 1, 1, 4, 2, 500.25, 200, 1500};  // record 1 by default
const std::vector<double> bare = {0, 0, 1, 4, 2, 0, 200, 1500};        // without a reaction

TEST(FixtureEvents, CountedRecordsReadBack)
{
    // closes: r(N) + 4 == T; broken: the record the walk stops at (-1: none);
    // then what record k holds (as Record::seen) and entry k's index word.
    const struct { const char* what; int32_t v; void (*edit)(F); bool closes; int32_t broken, k;
                   std::vector<double> seen; uint16_t word; } rows[] = {
        {"62", 62, [](F) {}, true, -1, 1, frag_1, 1},
        {"63, wide survey layout", 63, [](F f) { f.v63_wide = 1; }, true, -1, 1, frag_1, 1},
        {"66 survey", 66, [](F) {}, true, -1, 0, bare, 0},
        {"66 newer, word 65535", 66, [](F f) { f.newer_signature = true; f.scans[1].scan_event_word = 65535; },
         true, -1, 1, {1, 1, 1, 4, 2, 500.25, 200, 1500}, 65535},
        {"66 field table", 66, [](F f) { f.trailer_table = fixture::realistic_trailer_table(); },
         true, -1, 1, frag_1, 1},
        {"64 MS3, last reaction", 64, [](F f) { f.scans[1].ms_level = 3; f.scans[1].reactions = {{800, 500.25}}; },
         true, -1, 1, {0, 2, 1, 4, 2, 500.25, 200, 1500}, 1},
        {"64 level 11: no reaction", 64, [](F f) { f.scans[1].ms_level = 11; }, true, -1, 1, bare, 1},
        {"66 range differs from entry", 66, [](F f) { f.scans[1].mass_ranges = {{{150, 1500}}}; }, true, -1, 1,
         {0, 1, 1, 4, 2, 500.25, 150, 1500}, 1},
        {"66 two ranges, no parameters, no tail", 66,
         [](F f) { f.scans[1].mass_ranges = {{{200, 700}, {800, 1500}}};
                   f.scans[1].params = f.scans[1].tail = 0; },
         true, -1, 1, {0, 1, 2, 0, 0, 500.25, 200, 1500}, 1},
        {"62 rejected scan keeps its record", 62, [](F f) { f.scans[1].data_size = 7; }, true, -1, 1, frag_1, 1},
        {"64 slack 4", 64, [](F f) { f.counted_slack = 4; }, false, -1, 1, frag_1, 1},
        {"66 unknown signature", 66, [](F f) { f.scans[2].signature = {{1, 2, 3, 4}}; }, false, 2, 1, frag_1, 1},
        {"63 17 reactions", 63, [](F f) { f.scans[1].reaction_count_word = 17; }, false, 1, 0, bare, 0},
        {"62 no range", 62, [](F f) { f.scans[3].range_count_word = 0; }, false, 3, 1, frag_1, 1},
    };
    for (const auto& c : rows) {
        fixture::File f = base(c.v);
        c.edit(f);
        fixture::Layout lay;
        Bytes b = fixture::build(f, &lay);
        std::vector<Record> w = walk(b, lay, c.v);
        ASSERT_EQ(static_cast<int32_t>(w.size()), c.broken < 0 ? lay.index_num : c.broken) << c.what;
        for (size_t k = 0; k < w.size(); k++)
            EXPECT_EQ(w[k].start, lay.event_pos[k]) << c.what;
        EXPECT_EQ(c.broken < 0 && w.back().end + 4 == lay.pr_header, c.closes) << c.what;
        EXPECT_EQ(w.at(static_cast<size_t>(c.k)).seen, c.seen) << c.what;
        const int64_t entry = c.v == 66 ? 88 : c.v == 64 ? 80 : 72, time_at = c.v == 63 ? 26 : 0;
        EXPECT_EQ(get<uint16_t>(b, lay.index_start + entry * c.k + 8), c.word) << c.what;
        // The trailer records start where the converter reads them: 3 or 24
        // bytes behind T, or at T with a field table.
        EXPECT_EQ(lay.trailer_pos[0], lay.pr_header + (f.trailer_table ? 0 : c.v < 64 ? 3 : 24)) << c.what;
        EXPECT_EQ(get<float>(b, lay.trailer_pos[0] + (f.trailer_table ? lay.trailer_time_at : time_at)), 12.5f)
            << c.what;
    }
}

TEST(FixtureTrailer, ValuesByFieldType)
{
    // Types: 11 float64, 10 float32, 1 and 5 one byte, 6 two, 8 and 9 four,
    // 13 text (here 8 bytes). The m/z field comes first; the time is 12.5
    // (0x41480000 as float32); a5 is the filler. n: a field's bytes.
    const struct { const char* what; uint32_t time_type, mono_type; std::optional<double> mono;
                   int time_n; uint64_t time; int mono_n; uint64_t mono_bits; } rows[] = {
        {"float32 time, float64 m/z", 10, 11, 512.75, 4, 0x41480000, 8, 0x4080060000000000},
        {"float64 time, float32 m/z", 11, 10, 512.75, 8, 0x4029000000000000, 4, 0x44003000},
        {"int32 time, int16 m/z", 8, 6, 512.75, 4, 12, 2, 512},
        {"int16 time, char m/z -1", 6, 1, -1.0, 2, 12, 1, 0xff},
        {"uchar time, uint32 m/z", 5, 9, 3e9, 1, 12, 4, 3000000000},
        {"int32 m/z saturates", 10, 8, 1e12, 4, 0x41480000, 4, 0xffffffff},
        {"no m/z: filler", 10, 11, std::nullopt, 4, 0x41480000, 8, 0xa5a5a5a5a5a5a5a5},
        {"text m/z: filler", 10, 13, 512.75, 4, 0x41480000, 8, 0xa5a5a5a5a5a5a5a5},
    };
    for (const auto& c : rows) {
        fixture::File f;
        f.trailer_table = {{c.mono_type, 4, "Monoisotopic M/Z:"}, {c.time_type, 0, "Ion Injection Time (ms):"}};
        f.scans.resize(5);  // records behind the second one: every read lies inside the file
        f.scans[1].injection_time = 12.5f, f.scans[1].mono_mz = c.mono;
        fixture::Layout lay;
        Bytes b = fixture::build(f, &lay);
        auto low = [&](int64_t at, int n) { return get<uint64_t>(b, at) << (64 - 8 * n) >> (64 - 8 * n); };
        EXPECT_EQ(low(lay.trailer_pos[1] + lay.trailer_time_at, c.time_n), c.time) << c.what;
        EXPECT_EQ(low(lay.trailer_pos[1], c.mono_n), c.mono_bits) << c.what;
    }
}

// A run in every real-file style, twice the same: its counted stream closes
// on T, some precursors lie above the partial surveys' peaks, and the
// monoisotopic m/z is the precursor, 1 or 3 isotope steps below, 0 (9) or -1 (10).
TEST(FixtureRun, RealisticRunInTheRealStyle)
{
    for (int32_t v : {62, 63, 64, 66}) {
        fixture::File f = fixture::realistic_run(v, 10, 30, 8, 5, 4, {true, true, true});
        fixture::Layout lay;
        Bytes b = fixture::build(f, &lay);
        EXPECT_EQ(b, fixture::build(fixture::realistic_run(v, 10, 30, 8, 5, 4, {true, true, true})));
        std::vector<Record> w = walk(b, lay, v);
        EXPECT_TRUE(w.size() == f.scans.size() && w.back().end + 4 == lay.pr_header) << v;
        int64_t misses = 0;
        std::set<long> steps;  // survey scans: -1
        for (const fixture::Scan& s : f.scans) {
            double m = s.mono_mz.value(), p = s.precursor_mz;
            misses += p > 1001;
            long k = std::lround((p - m) * s.charge_state / 1.00335);  // isotope steps
            steps.insert(s.survey ? -1 : m == 0 ? 9 : m == -1 ? 10 : k);
        }
        EXPECT_EQ(steps, std::set<long>({-1, 0, 1, 3, 9, 10}));
        EXPECT_TRUE(misses > 0 && misses < 40) << misses;
    }
}

}  // namespace
