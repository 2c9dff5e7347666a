// structure_test.cpp -- the run header found by the file's own structure,
// on fixture files without the method marker and the header terminator.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fixture.h"
#include "raw/raw.h"

namespace {

using fixture::HeaderPath;

// Four scans of 300 peaks: the data stream has room for a header block.
fixture::File unmarked(int32_t version, HeaderPath path = HeaderPath::p_nonzero)
{
    fixture::File f;
    f.version = version;
    f.path = path;
    f.marker = f.terminator = false;
    for (int32_t k = 0; k < 4; k++) {
        fixture::Scan s;
        s.survey = k == 0;
        s.start_time = 0.1 * (k + 1);
        for (int32_t i = 0; i < 300; i++)
            s.peaks.push_back({static_cast<float>(300 + i), 100, 0, 0});
        f.scans.push_back(s);
    }
    return f;
}

// A version 66 file and the places of what the search reads: run-header
// words from the anchor, header-block words from P, index entry fields.
struct V66 {
    fixture::Layout l;
    std::vector<uint8_t> b = fixture::build(unmarked(66), &l);
    int32_t ds() const { return l.anchor + 826; }
    int32_t de() const { return l.anchor + 842; }
    int32_t p() const { return l.anchor + 858; }
    int32_t count() const { return l.p + 12; }
    int32_t index() const { return l.p + 7408; }
    int32_t pp() const { return l.p + 7448; }
    int32_t pr() const { return l.p + 7456; }
    int32_t size(int32_t k) const { return l.index_start + 88 * k + 20; }
    int32_t time(int32_t k) const { return l.index_start + 88 * k + 24; }
    int32_t low(int32_t k) const { return l.index_start + 88 * k + 56; }
    int32_t high(int32_t k) const { return l.index_start + 88 * k + 64; }
    int32_t offset(int32_t k) const { return l.index_start + 88 * k + 72; }
    int32_t get(int32_t at) const { int32_t v; std::memcpy(&v, &b[at], 4); return v; }
    void set(int32_t at, int32_t v) { std::memcpy(&b[at], &v, 4); }
    void add(int32_t at, int32_t d) { set(at, get(at) + d); }
    void put(int32_t at, double v) { std::memcpy(&b[at], &v, 8); }
    int32_t end() const { return static_cast<int32_t>(b.size()); }
    // The data stream starts at base; the last packet grows to keep the sum.
    void base(int32_t at)
    {
        add(size(3), get(ds()) - at);
        set(ds(), at);
    }
};

int64_t anchor_of(const std::vector<uint8_t>& b, int32_t version)
{
    Input in = borrow_input(b.data(), b.size());
    return find_anchor_by_structure(in, version);
}

TEST(StructureSearch, FindsTheAnchorOfEveryVersion)
{
    for (int32_t v : {62, 63, 64, 66})
        for (HeaderPath path : {HeaderPath::p_nonzero, HeaderPath::p_zero}) {
            fixture::Layout lay;
            std::vector<uint8_t> b = fixture::build(unmarked(v, path), &lay);
            EXPECT_EQ(anchor_of(b, v), lay.anchor) << v << " path " << static_cast<int>(path);
        }
}

// Each row breaks one thing the evidence rests on and keeps the rest in
// order where the format allows it; rows that still pass mark the edges.
TEST(StructureSearch, EachCheckAlone)
{
    const struct {
        const char* what;
        void (*edit)(V66&);
        bool found;
    } cases[] = {
        {"data_start right after the header", [](V66& f) { f.base(f.l.anchor + 862); }, true},
        {"data_start inside the header", [](V66& f) { f.base(f.l.anchor + 861); }, false},
        {"data_end at the end of the file", [](V66& f) { f.set(f.de(), f.end()); }, false},
        {"P before data_end", [](V66& f) {
             std::memmove(&f.b[f.l.data_start], &f.b[f.l.p], 7680);  // a copy of the P block
             f.set(f.p(), f.l.data_start); }, false},
        {"count 0", [](V66& f) { f.set(f.count(), 0); }, false},
        {"index before data_end", [](V66& f) {
             std::memmove(&f.b[f.l.data_start], &f.b[f.l.index_start], 4 * 88);  // a copy of it
             f.set(f.index(), f.l.data_start);
             f.set(f.pp(), f.l.data_start + 4 * 88); }, false},
        {"index past the end", [](V66& f) { f.set(f.count(), 1000000); }, false},
        {"index not ending at pp_start", [](V66& f) { f.add(f.pp(), 1); }, false},
        {"pr_start at pp_start", [](V66& f) { f.set(f.pr(), f.get(f.pp()) - 24); }, false},
        {"pr_start at the end of the file", [](V66& f) { f.set(f.pr(), f.end() - 24); }, true},
        {"pr_start past the end", [](V66& f) { f.set(f.pr(), f.end() - 23); }, false},
        {"first packet not at 0", [](V66& f) { f.add(f.offset(0), 4); f.add(f.size(0), -4); }, false},
        {"a gap between packets", [](V66& f) { f.add(f.offset(2), 4); f.add(f.size(2), -4); }, false},
        {"sizes not summing to data_end", [](V66& f) { f.add(f.size(3), 4); }, false},
        {"negative start time", [](V66& f) { f.put(f.time(0), -0.1); }, false},
        {"NaN start time", [](V66& f) { f.put(f.time(1), NAN); }, false},
        {"decreasing start time", [](V66& f) { f.put(f.time(2), 0.15); }, false},
        {"equal start times", [](V66& f) { f.put(f.time(2), 0.2); }, true},
        {"NaN low mass", [](V66& f) { f.put(f.low(1), NAN); }, false},
        {"infinite high mass", [](V66& f) { f.put(f.high(1), INFINITY); }, false},
        {"low above high", [](V66& f) { f.put(f.low(1), 2001); }, false},
        {"low equal to high", [](V66& f) { f.put(f.low(1), 2000); }, true},
        {"negative low", [](V66& f) { f.put(f.low(1), -1); }, false},
    };
    for (const auto& c : cases) {
        V66 f;
        c.edit(f);
        EXPECT_EQ(anchor_of(f.b, 66), c.found ? f.l.anchor : -1) << c.what;
    }
}

// Copies of the run-header words at anchor + 40 k are further candidates.
TEST(StructureSearch, CandidatesMustAgreeAndBeFew)
{
    const struct {
        const char* what;
        int32_t copies;
        bool disagree;  // the first copy reads a header of three scans
        bool found;
    } cases[] = {
        {"two that agree: the lowest", 1, false, true},
        {"eight that agree", 7, false, true},
        {"nine that agree", 8, false, false},
        {"two that disagree", 1, true, false},
    };
    for (const auto& c : cases) {
        V66 f;
        for (int32_t k = 1; k <= c.copies; k++)
            for (int32_t w : {f.ds(), f.de(), f.p()})
                f.set(w + 40 * k, f.get(w));
        if (c.disagree) {
            // The data_end block (zeros here) becomes a consistent header
            // block for the first three packets.
            int32_t h = f.l.data_end;
            f.set(f.de() + 40, h - f.get(f.size(3)));
            f.set(f.p() + 40, h);
            f.set(h + 12, 3);
            f.set(h + 7408, f.l.index_start);
            f.set(h + 7448, f.l.index_start + 3 * 88);
            f.set(h + 7456, f.get(f.pr()));
        }
        EXPECT_EQ(anchor_of(f.b, 66), c.found ? f.l.anchor : -1) << c.what;
    }
}

}  // namespace
