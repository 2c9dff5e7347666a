// structure_test.cpp -- the run header found by the file's own structure,
// on fixture files without the method marker and the header terminator.
#include <gtest/gtest.h>

#include <cmath>

#include "fixture.h"
#include "raw/bytes.h"

namespace {

using fixture::HeaderPath;

// Four scans of 300 peaks (the data stream has room for a header block)
// without the marker and the terminator.
fixture::File unmarked(int32_t version, HeaderPath path)
{
    fixture::File f;
    f.version = version;
    f.path = path;
    f.marker = f.terminator = false;
    f.scans.resize(4);
    for (int32_t k = 0; k < 4; k++) {
        f.scans[size_t(k)].survey = k == 0;
        f.scans[size_t(k)].start_time = 0.1 * (k + 1);
        for (int32_t i = 0; i < 300; i++)
            f.scans[size_t(k)].peaks.push_back({float(300 + i), 100, 0, 0});
    }
    return f;
}

int64_t anchor_of(const Bytes& b, int32_t version)
{
    Input in = input_of(b);
    return find_anchor_by_structure(in, version);
}

TEST(StructureSearch, FindsTheAnchorOfEveryVersionAndPath)
{
    for (int32_t v : {62, 63, 64, 66})
        for (HeaderPath path : {HeaderPath::p_nonzero, HeaderPath::p_zero}) {
            fixture::Layout lay;
            Bytes b = fixture::build(unmarked(v, path), &lay);
            EXPECT_EQ(anchor_of(b, v), lay.anchor) << v << " path " << static_cast<int>(path);
        }
}

// A version 66 file and the places the search reads: run-header words
// from the anchor, header-block words from P, fields of index entry k.
struct V66 {
    fixture::Layout l;
    Bytes b = fixture::build(unmarked(66, HeaderPath::p_nonzero), &l);
    int32_t head(int32_t w) const { return l.anchor + w; }  // 826 base, 842 data_end, 858 P
    int32_t block(int32_t w) const { return l.p + w; }      // 12 count, 7408 index, 7448 pp, 7456 pr
    int32_t entry(int32_t k, int32_t field) const { return l.index_start + 88 * k + field; }
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
             f.set(f.head(858), f.l.data_start); }, false},
        {"count 0", [](V66& f) { f.set(f.block(12), 0); }, false},
        {"index before data_end", [](V66& f) {
             std::memmove(&f.b[size_t(f.l.data_start)], &f.b[size_t(f.l.index_start)], 4 * 88);
             f.set(f.block(7408), f.l.data_start);
             f.set(f.block(7448), f.l.data_start + 4 * 88); }, false},
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
             int32_t h = f.l.data_end;
             f.set(f.head(842 + 40), h - get(f.b, f.entry(3, 20)));
             f.set(f.head(858 + 40), h);
             f.set(h + 12, 3);
             f.set(h + 7408, f.l.index_start);
             f.set(h + 7448, f.l.index_start + 3 * 88);
             f.set(h + 7456, get(f.b, f.block(7456))); }, false},
    };
    for (const auto& c : cases) {
        V66 f;
        c.edit(f);
        EXPECT_EQ(anchor_of(f.b, 66), c.found ? f.l.anchor : -1) << c.what;
    }
}

}  // namespace
