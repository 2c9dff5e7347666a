// run_header_test.cpp -- the run header found by its marker and
// terminator, and the pointers read behind it, on hand-built files; then
// found by the file's own structure, on fixture files without the marker
// and the terminator.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>

#include "fixture.h"
#include "raw/bytes.h"

namespace {

const Bytes marker = {0x00, 0x2E, 0x00, 0x6D, 0x00, 0x65, 0x00, 0x74, 0x00, 0x68};
const Bytes x_meth = {0x78, 0x00, 0x2E, 0x00, 0x6D, 0x00, 0x65, 0x00, 0x74, 0x00, 0x68, 0x00};
const Bytes ff9(9, 0xFF), ff10(10, 0xFF), ff11(11, 0xFF), one_zero = {0x01, 0x00};
const Bytes term64 = Bytes(8, 0xFF) + one_zero;

Nav probe(int32_t version, const Bytes& b, FilePos& result)
{
    Input in = input_of(b);
    Nav nav = nav_of(b, version);
    result = version <= 63 ? get_data_start(in, nav) : get_data_start2(in, nav);
    return nav;
}

// The data-stream base 4242 is written where the expected anchor puts it.
TEST(RunHeaderSearch, MarkerThenTerminator)
{
    const struct { const char* what; int32_t version, size; Parts parts; int32_t anchor; } cases[] = {
        {"62: marker, terminator", 62, 3000, {{100, marker}, {200, ff10}}, 210},
        {"62: terminator before the marker ignored", 62, 3000, {{50, ff10}, {100, marker}, {300, ff10}}, 310},
        {"62: eleven FF", 62, 3000, {{100, marker}, {200, ff11}}, 210},
        {"62: nine FF are no terminator", 62, 3000, {{100, marker}, {200, ff9}, {400, ff10}}, 410},
        {"62: x.meth in UTF-16LE", 62, 3000, {{100, x_meth}, {200, ff10}}, 210},
        {"62: no marker", 62, 3000, {{200, ff10}}, -1},
        {"62: no terminator after the marker", 62, 3000, {{50, ff10}, {100, marker}}, -1},
        {"64: nine FF then 01 00 match one byte later", 64, 3000, {{100, marker}, {200, ff9 + one_zero}}, 211},
        {"64: ten FF are no terminator", 64, 3000, {{100, marker}, {200, ff10}}, -1},
        {"64: terminator before the marker ignored", 64, 3000, {{50, term64}, {100, marker}, {300, term64}}, 310},
        // A header the file ends in: its base word must lie inside the file.
        {"62: base word is the file's last", 62, 1000, {{100, marker}, {944, ff10}}, 954},
        {"62: base word cut by the end", 62, 1000, {{100, marker}, {945, ff10}}, -1},
        {"64: base word is the file's last", 64, 2000, {{100, marker}, {1160, term64}}, 1170},
        {"64: base word cut by the end", 64, 2000, {{100, marker}, {1161, term64}}, -1},
    };
    for (const auto& c : cases) {
        Bytes b = image(c.size, c.parts);
        if (c.anchor >= 0)
            put(b, c.anchor + (c.version <= 63 ? 42 : 826), int32_t{4242});
        FilePos result;
        Nav nav = probe(c.version, b, result);
        EXPECT_EQ(result, c.anchor >= 0 ? 4242 : 0) << c.what;
        EXPECT_EQ(nav.header_found, c.anchor >= 0) << c.what;
        EXPECT_EQ(nav.anchor, c.anchor >= 0 ? c.anchor : 0) << c.what;
    }
}

// Anchor 210. Versions 62/63: data_start at 252, data_end at 272, P at 284;
// the data_end block at 1000 (streams at 8368), the P block at 2000
// (streams at 9368). Versions 64/66: data_start at 1036, data_end at 1052,
// P at 1068; the P block at 2000, the data_end block at 3000.
TEST(RunHeaderRead, PathsOfEveryVersion)
{
    const Words h62 = {{252, 5000}, {272, 1000}};
    const Words end62 = {{1012, 4}, {1028, 3000}, {8368, 9000}, {8372, 9800}};
    const Words p62 = {{284, 2000}, {2012, 6}, {2028, 3500}};
    const Words at7368 = {{7368, 8000}, {7372, 8400}};
    const Words h64 = {{1036, 5000}, {1052, 3000}, {1068, 2000}};
    const Words p64 = {{2012, 7}, {9408, 4000}, {9448, 6000}, {9456, 1000}};
    const Words end64 = {{3012, 99}, {10376, 8}, {10408, 4100}, {10448, 6100}, {10456, 1100}};
    // data_end -6368 puts its streams at 1000; P 1500 holds count and index.
    const Words small = {{272, -6368}, {284, 1500}, {1512, 2}, {1528, 1600}};
    // data_start, data_end, index_num, index_start, pp_start, pr_start, pp_w, pr_w
    using Values = std::array<int64_t, 8>;
    const struct { const char* what; int32_t version, size; Words words; Values want; } cases[] = {
        {"62, P 0: all from data_end", 62, 12000, h62 + end62, {5000, 1000, 4, 3000, 9000, 9800, 200, 550}},
        {"62, P 0, pp 0 at data_end: both from 7368", 62, 12000, h62 + end62 + at7368 + Words{{8368, 0}},
         {5000, 1000, 4, 3000, 8000, 8400, 100, 900}},
        {"63, P 0, pr 0 at data_end: both from 7368", 63, 12000, h62 + end62 + at7368 + Words{{8372, 0}},
         {5000, 1000, 4, 3000, 8000, 8400, 100, 900}},
        {"62, P: count and index from P, streams from data_end", 62, 12000, h62 + end62 + p62,
         {5000, 1000, 6, 3500, 9000, 9800, 133, 366}},
        {"62, P, pr 0 at data_end: streams from P", 62, 12000,
         h62 + end62 + p62 + Words{{8372, 0}, {9368, 9100}, {9372, 9900}}, {5000, 1000, 6, 3500, 9100, 9900, 133, 350}},
        {"62, count 0: no widths", 62, 12000, h62 + end62 + Words{{1012, 0}}, {5000, 1000, 0, 3000, 9000, 9800, 0, 0}},
        {"62, widths 999 / 2", 62, 2000, small + Words{{1000, 1000}, {1004, 1999}},
         {0, -6368, 2, 1600, 1000, 1999, 499, 0}},
        {"62, widths -999 / 2 toward zero", 62, 2000, small + Words{{1000, 2000}, {1004, 1001}},
         {0, -6368, 2, 1600, 2000, 1001, -499, 499}},
        {"64, P block; trailer 1000 + 24", 64, 12000, h64 + p64 + end64, {5000, 3000, 7, 4000, 6000, 1024, 0, 0}},
        {"66, 0 at P+12: all from data_end", 66, 12000, h64 + p64 + end64 + Words{{2012, 0}},
         {5000, 3000, 8, 4100, 6100, 1124, 0, 0}},
        {"66, P 0: data_end block, word 12 unused", 66, 12000, h64 + p64 + end64 + Words{{1068, 0}, {12, 5}},
         {5000, 3000, 8, 4100, 6100, 1124, 0, 0}},
    };
    for (const auto& c : cases) {
        Bytes b = image(c.size, {{100, marker}, {200, c.version <= 63 ? ff10 : term64}});
        for (const auto& [at, v] : c.words)
            put(b, at, v);
        FilePos result;
        Nav n = probe(c.version, b, result);
        EXPECT_EQ(result, n.data_start) << c.what;
        Values got = {n.data_start, n.data_end, n.index_num, n.index_start, n.pp_start, n.pr_start, n.pp_w, n.pr_w};
        EXPECT_EQ(got, c.want) << c.what;
    }
}

// A version 66 file of four scans of 300 peaks (the data stream has room
// for a header block) without the marker and the terminator.
fixture::File unmarked()
{
    fixture::File f;
    f.marker = f.terminator = false;
    for (int32_t k = 0; k < 4; k++) {
        fixture::Scan& s = f.scans.emplace_back();
        s.survey = k == 0, s.start_time = 0.1 * (k + 1);
        for (int32_t i = 0; i < 300; i++)
            s.peaks.push_back({float(300 + i), 100});
    }
    return f;
}

// That file and the places the search reads: run-header words
// from the anchor, header-block words from P, fields of index entry k.
struct V66 {
    fixture::Layout l;
    Bytes b = fixture::build(unmarked(), &l);
    int32_t head(int32_t w) const { return int32_t(l.anchor) + w; }  // 826 base, 842 data_end, 858 P
    int32_t block(int32_t w) const { return int32_t(l.p) + w; }      // 12 count, 7408 index, 7448 pp, 7456 pr
    int32_t entry(int32_t k, int32_t field) const { return int32_t(l.index_start) + 88 * k + field; }
    int32_t end() const { return static_cast<int32_t>(b.size()); }
    void set(int32_t at, int32_t v) { put(b, at, v); }
    void add(int32_t at, int32_t d) { set(at, get(b, at) + d); }
    // The data stream starts at `at`; the last packet grows to keep the sum.
    void base(int32_t at) { add(entry(3, 20), get(b, head(826)) - at); set(head(826), at); }
    // n copies of the run-header words at anchor + 40 k: further candidates.
    void copies(int32_t n)
    {
        for (int32_t k = 1; k <= n; k++)
            for (int32_t w : {826, 842, 858})
                set(head(w + 40 * k), get(b, head(w)));
    }
};

// Each row breaks one thing the evidence rests on and keeps the rest in
// order where the format allows it; rows that still pass mark the edges.
// The last rows add candidates: they must agree, and be few.
TEST(StructureSearch, EachCheckAlone)
{
    const struct { const char* what; void (*edit)(V66&); bool found; } cases[] = {
        {"data_start right after the header", [](V66& f) { f.base(f.head(862)); }, true},
        {"data_start inside the header", [](V66& f) { f.base(f.head(861)); }, false},
        {"data_end at the end of the file", [](V66& f) { f.set(f.head(842), f.end()); }, false},
        {"P before data_end", [](V66& f) {
             std::memmove(&f.b[size_t(f.l.data_start)], &f.b[size_t(f.l.p)], 7680);  // P block copy
             f.set(f.head(858), int32_t(f.l.data_start)); }, false},
        {"count 0", [](V66& f) { f.set(f.block(12), 0); }, false},
        {"index before data_end", [](V66& f) {
             std::memmove(&f.b[size_t(f.l.data_start)], &f.b[size_t(f.l.index_start)], 4 * 88);
             f.set(f.block(7408), int32_t(f.l.data_start));
             f.set(f.block(7448), int32_t(f.l.data_start) + 4 * 88); }, false},
        {"index past the end", [](V66& f) { f.set(f.block(12), 1000000); }, false},
        {"index not ending at pp_start", [](V66& f) { f.add(f.block(7448), 1); }, false},
        {"pr_start at pp_start", [](V66& f) { f.set(f.block(7456), get(f.b, f.block(7448)) - 24); }, false},
        {"pr_start at the end of the file", [](V66& f) { f.set(f.block(7456), f.end() - 24); }, true},
        {"pr_start past the end", [](V66& f) { f.set(f.block(7456), f.end() - 23); }, false},
        {"first packet not at 0", [](V66& f) { f.add(f.entry(0, 72), 4); f.add(f.entry(0, 20), -4); }, false},
        {"a gap between packets", [](V66& f) { f.add(f.entry(2, 72), 4); f.add(f.entry(2, 20), -4); }, false},
        {"sizes not summing to data_end", [](V66& f) { f.add(f.entry(3, 20), 4); }, false},
        {"negative start time", [](V66& f) { put(f.b, f.entry(0, 24), -0.1); }, false},
        {"NaN start time", [](V66& f) { put(f.b, f.entry(1, 24), double{NAN}); }, false},
        {"decreasing start time", [](V66& f) { put(f.b, f.entry(2, 24), 0.15); }, false},
        {"equal start times", [](V66& f) { put(f.b, f.entry(2, 24), 0.2); }, true},
        {"NaN low mass", [](V66& f) { put(f.b, f.entry(1, 56), double{NAN}); }, false},
        {"infinite high mass", [](V66& f) { put(f.b, f.entry(1, 64), double{INFINITY}); }, false},
        {"low above high", [](V66& f) { put(f.b, f.entry(1, 56), 2001.0); }, false},
        {"low equal to high", [](V66& f) { put(f.b, f.entry(1, 56), 2000.0); }, true},
        {"negative low", [](V66& f) { put(f.b, f.entry(1, 56), -1.0); }, false},
        {"two candidates that agree: the lowest", [](V66& f) { f.copies(1); }, true},
        {"eight that agree", [](V66& f) { f.copies(7); }, true},
        {"nine that agree", [](V66& f) { f.copies(8); }, false},
        {"two that disagree", [](V66& f) {
             // The first copy reads the data_end block (zeros here), made a
             // consistent header block for the first three packets.
             f.copies(1);
             int32_t h = int32_t(f.l.data_end);
             f.set(f.head(842 + 40), h - get(f.b, f.entry(3, 20)));
             f.set(f.head(858 + 40), h);
             f.set(h + 12, 3);
             f.set(h + 7408, int32_t(f.l.index_start));
             f.set(h + 7448, int32_t(f.l.index_start) + 3 * 88);
             f.set(h + 7456, get(f.b, f.block(7456))); }, false},
    };
    // By 64-bit positions every row holds as by 32-bit ones: the blocks
    // vouch for themselves, and the high halves are 0.
    for (bool wide : {false, true})
        for (const auto& c : cases) {
            V66 f;
            c.edit(f);
            Input in = input_of(f.b);
            EXPECT_EQ(find_anchor_by_structure(in, 66, wide), c.found ? f.l.anchor : -1) << c.what << wide;
        }
}

// Every real file of versions 64 and 66 read by 64-bit positions at the
// anchor its conversion found: the same header values, the same packet for
// every index entry, and a header that vouches for itself. The truncated
// file is the exception: what its search takes for a header is the inside
// of another block, read either way as nothing to convert. Versions 57, 62
// and 63 store no 64-bit values.
TEST(RunHeaderWide, RealFilesReadAsBy32Bits)
{
    const struct { const char* name; int32_t entries; bool alike; } rows[] = {
        {"v64-hybrid-2011.raw", 55, true},    {"v64-iontrap-2009.raw", 99, true},
        {"v66-hybrid-sliced.raw", 100, true}, {"v66-newer-2019.raw", 101, true},
        {"v66-truncated.raw", 0, false},
    };
    int32_t others = 0;
    for (const auto& entry : std::filesystem::directory_iterator(KOLVEX_SHARED_DATA "/real")) {
        Input in;
        ASSERT_EQ(open_input(in, entry.path().string()), 0);
        Nav nav = navigation_of(in);
        auto row = std::find_if(std::begin(rows), std::end(rows),
                                [&](const auto& r) { return entry.path().filename() == r.name; });
        if (row == std::end(rows)) {
            EXPECT_TRUE(nav.version != 64 && nav.version != 66) << entry.path();
            others++;
            close_input(in);
            continue;
        }
        SCOPED_TRACE(row->name);
        Nav w;
        w.version = nav.version, w.filesize = nav.filesize, w.wide = true;
        EXPECT_EQ(read_run_header(in, w, nav.anchor), row->alike);
        using Values = std::array<int64_t, 8>;
        auto values = [](const Nav& n) {
            return Values{n.data_start, n.data_end, n.p, n.header_block, n.index_num, n.index_start,
                          n.pp_start, n.pr_header};
        };
        EXPECT_EQ(values(w) == values(nav), row->alike);
        EXPECT_EQ(run_header_credible(in, w), row->alike);
        w.locator = nav.locator;
        std::vector<IndexEntry> index;
        int32_t n = nav.version == 64 ? gen_index_table3(in, nav, index) : gen_index_table2(in, nav, index);
        int32_t alike = 0;
        for (int32_t k = 0; k < n; k++)
            alike += packet_start(w, index[size_t(k)]) == packet_start(nav, index[size_t(k)]);
        EXPECT_EQ(std::max(n, 0), row->entries);
        EXPECT_EQ(alike, row->entries);
        close_input(in);
    }
    EXPECT_EQ(others, 4);
}

// A version 66 file laid out as instruments write it (P 0: the data_end
// block holds the count, pointers, data-stream copy and self-pointer),
// read by 64-bit positions as a file of 2 GiB or more is. Each row puts one
// untrusted value in place; the header must be refused, and every sum of
// such values must stay defined (the sanitizer build checks it).
TEST(RunHeaderWide, UntrustedValuesAreRefused)
{
    fixture::File f = unmarked();
    f.path = fixture::HeaderPath::p_zero;
    fixture::Layout l;
    const Bytes clean = fixture::build(f, &l);
    const int64_t a = l.anchor, h = l.data_end, end = int64_t(clean.size()), top = INT64_MAX;
    const int64_t high = int64_t{1} << 32;
    const struct { const char* what; int64_t at, value; bool credible; } rows[] = {
        {"as written", 0, 0, true},
        {"data_start negative", a + 826, -8, false},
        {"data_start inside the run header", a + 826, a + 861, false},
        {"data_end at the end of the file", a + 842, end, false},
        {"P past the end", a + 858, end + 8, false},
        {"P at the top", a + 858, top, false},
        {"index_start past the end", h + 7408, end + 88, false},
        {"index_start at the top: its end overflows", h + 7408, top - 8, false},
        {"pp_start's high half set", h + 7448, l.pp_start + high, false},
        {"trailer pointer's high half set", h + 7456, l.pr_header + high, false},
        {"trailer pointer at the top: + 24 overflows", h + 7456, top, false},
        {"trailer pointer negative", h + 7456, -24, false},
        {"self-pointer off by 8", h + 7472, h + 8, false},
        {"self-pointer 0", h + 7472, 0, false},
        {"data-stream copy off by 8", h + 7416, l.data_start + 8, false},
        {"data-stream copy's high half set", h + 7416, l.data_start + high, false},
    };
    for (const auto& r : rows) {
        Bytes b = clean;
        if (r.at != 0)
            put(b, r.at, r.value);
        Input in = input_of(b);
        Nav w = nav_of(b, 66);
        w.wide = true;
        read_run_header(in, w, a);
        w.locator = w.data_start;
        EXPECT_EQ(run_header_credible(in, w), r.credible) << r.what;
    }

    // Packet offsets past the file, or whose sum with the base overflows,
    // lead to the end of the file, where nothing is read.
    Nav w = nav_of(clean, 66);
    w.wide = true, w.locator = l.data_start;
    const struct { const char* what; int64_t offset, start; } packets[] = {
        {"first packet", 0, l.data_start},
        {"the end of the file", end - l.data_start, end},
        {"past the end", end - l.data_start + 1, end},
        {"2^32 on", high, end},
        {"the top of int64", top, end},
        {"before the file", -l.data_start - 1, end},
        {"the bottom of int64", INT64_MIN, end},
    };
    for (const auto& p : packets) {
        IndexEntry e{};
        e.packet_offset = p.offset;
        EXPECT_EQ(packet_start(w, e), p.start) << p.what;
    }
}

}  // namespace
