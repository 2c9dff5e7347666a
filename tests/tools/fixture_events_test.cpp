// fixture_events_test.cpp -- the fixture writer's counted event records,
// parsed back by their own counts.
#include <gtest/gtest.h>

#include <cstring>

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

struct Record {
    uint8_t form;  // signature byte 1: 0, or 1 in newer files
    uint32_t nr, nm, np, a;
    double precursor, low, high;  // last reaction's; first range's low, last one's high
};

// Walks the records from pp_start as their counts lay them out, up to the
// trailer pointer T; stops at the first record that breaks the grammar.
// end: where the last whole record ends.
struct Walk {
    std::vector<int64_t> starts;
    std::vector<Record> records;
    int64_t end;
};

Walk walk(const Bytes& b, const fixture::Layout& lay, int32_t v)
{
    const int64_t l = v == 62 ? 120 : v == 66 ? 136 : 128, rs = v == 66 ? 56 : 32, t = lay.pr_header;
    Walk w{{}, {}, lay.pp_start};
    for (int32_t k = 0; k < lay.index_num; k++) {
        int64_t r = w.end, c = r + 4 + l;
        Record x{};
        auto count = [&](uint32_t& n, uint32_t lo, uint32_t hi) {
            n = c + 4 <= t ? get<uint32_t>(b, c) : hi + 1;
            return n >= lo && n <= hi;
        };
        if (r + 36 > t || get<uint32_t>(b, r + 4) != (b[r + 5] == 1 ? 0x01020101u : 0x01020001u) ||
            get<uint32_t>(b, r + 32) != 0xFFFFFFFFu || !count(x.nr, 0, 16))
            break;
        x.form = b[r + 5];
        x.precursor = x.nr > 0 ? get<double>(b, c + 4 + rs * (x.nr - 1)) : 0;
        c += 4 + rs * x.nr;
        if (!count(x.nm, 1, 64))
            break;
        x.low = get<double>(b, c + 4), x.high = get<double>(b, c + 16 * x.nm - 4);
        c += 4 + 16 * x.nm;
        if (!count(x.np, 0, 64))
            break;
        c += 4 + 8 * x.np;
        if (!count(x.a, 0, 64) || c + 4 + 8 * x.a + (v == 66 ? 4 : 0) > t)
            break;
        w.starts.push_back(r), w.records.push_back(x);
        w.end = c + 4 + 8 * x.a + (v == 66 ? 4 : 0);
    }
    return w;
}

// Two survey scans and three fragmentation scans, range 200-1500.
fixture::File base(int32_t v)
{
    fixture::File f;
    f.version = v;
    f.counted_events = true;
    for (double p : {0.0, 500.25, 612.5, 0.0, 700.125}) {
        fixture::Scan s;
        s.survey = p == 0, s.precursor_mz = p;
        s.peaks = {{400.0f, 10.0f}, {500.25f, 20.0f}};
        s.low_mass = 200, s.high_mass = 1500, s.injection_time = 12.5f;
        f.scans.push_back(s);
    }
    return f;
}

using Edit = void (*)(fixture::File&);
using F = fixture::File&;

TEST(FixtureEvents, CountedRecordsReadBack)
{
    // closes: r(N) + 4 == T; broken: the record the walk stops at (-1: none);
    // then what record k holds and the index word of entry k.
    const struct { const char* what; int32_t v; Edit edit; bool closes; int32_t broken, k;
                   uint8_t form; uint32_t nr, nm, np, a; double precursor, low, high; uint16_t word; } rows[] = {
        {"62", 62, [](F) {}, true, -1, 1, 0, 1, 1, 4, 2, 500.25, 200, 1500, 1},
        {"63, wide survey layout", 63, [](F f) { f.v63_wide = 1; }, true, -1, 1, 0, 1, 1, 4, 2, 500.25, 200, 1500, 1},
        {"64", 64, [](F) {}, true, -1, 1, 0, 1, 1, 4, 2, 500.25, 200, 1500, 1},
        {"66 survey", 66, [](F) {}, true, -1, 0, 0, 0, 1, 4, 2, 0, 200, 1500, 0},
        {"66 newer signature, word 65535", 66, [](F f) { f.newer_signature = true; f.scans[1].scan_event_word = 65535; },
         true, -1, 1, 1, 1, 1, 4, 2, 500.25, 200, 1500, 65535},
        {"66 field table", 66, [](F f) { f.trailer_table = fixture::realistic_trailer_table(); },
         true, -1, 1, 0, 1, 1, 4, 2, 500.25, 200, 1500, 1},
        {"64 MS3: the last reaction", 64, [](F f) { f.scans[1].ms_level = 3; f.scans[1].reactions = {{800.5, 500.25}}; },
         true, -1, 1, 0, 2, 1, 4, 2, 500.25, 200, 1500, 1},
        {"64 level 11: no reaction", 64, [](F f) { f.scans[1].ms_level = 11; }, true, -1, 1, 0, 0, 1, 4, 2, 0, 200, 1500, 1},
        {"66 range differs from its entry", 66, [](F f) { f.scans[1].mass_ranges = {{{150, 1500}}}; },
         true, -1, 1, 0, 1, 1, 4, 2, 500.25, 150, 1500, 1},
        {"66 two ranges, no parameters, no tail", 66,
         [](F f) { f.scans[1].mass_ranges = {{{200, 700}, {800, 1500}}}; f.scans[1].params = f.scans[1].tail = 0; },
         true, -1, 1, 0, 1, 2, 0, 0, 500.25, 200, 1500, 1},
        {"62 rejected scan keeps its record", 62, [](F f) { f.scans[1].data_size = 7; },
         true, -1, 1, 0, 1, 1, 4, 2, 500.25, 200, 1500, 1},
        {"64 slack 4", 64, [](F f) { f.counted_slack = 4; }, false, -1, 1, 0, 1, 1, 4, 2, 500.25, 200, 1500, 1},
        {"66 unknown signature", 66, [](F f) { f.scans[2].signature = {{1, 2, 3, 4}}; }, false, 2, 1, 0, 1, 1, 4, 2, 500.25, 200, 1500, 1},
        {"63 17 reactions", 63, [](F f) { f.scans[1].reaction_count_word = 17; }, false, 1, 0, 0, 0, 1, 4, 2, 0, 200, 1500, 0},
        {"62 no range", 62, [](F f) { f.scans[3].range_count_word = 0; }, false, 3, 1, 0, 1, 1, 4, 2, 500.25, 200, 1500, 1},
    };
    for (const auto& c : rows) {
        fixture::File f = base(c.v);
        c.edit(f);
        fixture::Layout lay;
        Bytes b = fixture::build(f, &lay);
        Walk w = walk(b, lay, c.v);
        const int64_t n = c.broken < 0 ? lay.index_num : c.broken;
        ASSERT_EQ(static_cast<int64_t>(w.records.size()), n) << c.what;
        EXPECT_EQ(w.starts, std::vector<int64_t>(lay.event_pos.begin(), lay.event_pos.begin() + n)) << c.what;
        EXPECT_EQ(c.broken < 0 && w.end + 4 == lay.pr_header, c.closes) << c.what;
        const Record& x = w.records.at(static_cast<size_t>(c.k));
        EXPECT_EQ(std::vector<double>({double(x.form), double(x.nr), double(x.nm), double(x.np), double(x.a), x.precursor, x.low, x.high}),
                  std::vector<double>({double(c.form), double(c.nr), double(c.nm), double(c.np), double(c.a), c.precursor, c.low, c.high}))
            << c.what;
        const int64_t entry = c.v == 66 ? 88 : c.v == 64 ? 80 : 72;
        EXPECT_EQ(get<uint16_t>(b, lay.index_start + entry * c.k + 8), c.word) << c.what;
        // The trailer records start where the converter reads them: 3 or 24
        // bytes behind T, or at T with a field table.
        const int64_t adjust = f.trailer_table ? 0 : c.v < 64 ? 3 : 24;
        EXPECT_EQ(lay.trailer_pos[0], lay.pr_header + adjust) << c.what;
        const int64_t time_at = f.trailer_table ? lay.trailer_time_at : c.v == 63 ? 26 : 0;
        EXPECT_EQ(get<float>(b, lay.trailer_pos[0] + time_at), 12.5f) << c.what;
    }
}

}  // namespace
