// run_header_test.cpp -- finding the run header by its marker and
// terminator, and the pointers read behind it, on hand-built files.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "raw/raw.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Words = std::vector<std::pair<int32_t, int32_t>>;  // offset, value

const Bytes marker = {0x00, 0x2E, 0x00, 0x6D, 0x00, 0x65, 0x00, 0x74, 0x00, 0x68};
const Bytes term_62(10, 0xFF);
const Bytes term_64 = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x00};

void put(Bytes& b, int32_t at, const Bytes& bytes)
{
    if (!bytes.empty())
        std::memcpy(b.data() + at, bytes.data(), bytes.size());
}

void put32(Bytes& b, int32_t at, int32_t v)
{
    std::memcpy(b.data() + at, &v, 4);
}

Bytes ff(size_t n) { return Bytes(n, 0xFF); }

using Probe = int32_t (*)(Input&, Nav&);

struct Probed {
    int32_t result;
    Nav nav;
};

Probed probe(Probe f, const Bytes& b)
{
    Input in = borrow_input(b.data(), b.size());
    Probed r{0, Nav{}};
    r.nav.filesize = static_cast<int32_t>(b.size());
    r.result = f(in, r.nav);
    return r;
}

// Where the search lands: a file with the data-stream base 4242 written at
// the expected anchor's data_start offset (42 for 62/63, 826 for 64/66).
// The words of several parts, in order (later ones win when written).
Words join(std::initializer_list<Words> parts)
{
    Words all;
    for (const Words& w : parts)
        all.insert(all.end(), w.begin(), w.end());
    return all;
}

TEST(RunHeaderSearch, MarkerThenTerminator)
{
    struct Case {
        const char* what;
        Probe f;
        int32_t size;
        std::vector<std::pair<int32_t, Bytes>> parts;
        int32_t anchor;  // -1: no run header
    };
    const Bytes x_meth = {0x78, 0x00, 0x2E, 0x00, 0x6D, 0x00,
                          0x65, 0x00, 0x74, 0x00, 0x68, 0x00};
    const Bytes ascii_meth = {'x', '.', 'm', 'e', 't', 'h'};
    Bytes nine_ff_01_00 = ff(9);
    nine_ff_01_00.push_back(0x01);
    nine_ff_01_00.push_back(0x00);
    const Probe v62 = get_data_start, v64 = get_data_start2;
    const std::vector<Case> cases = {
        {"62: marker, terminator", v62, 3000, {{100, marker}, {200, term_62}}, 210},
        {"62: terminator before the marker ignored", v62, 3000,
         {{50, term_62}, {100, marker}, {300, term_62}}, 310},
        {"62: terminator only before the marker", v62, 3000,
         {{50, term_62}, {100, marker}}, -1},
        {"62: eleven FF", v62, 3000, {{100, marker}, {200, ff(11)}}, 210},
        {"62: nine FF are no terminator", v62, 3000,
         {{100, marker}, {200, ff(9)}, {400, term_62}}, 410},
        {"62: x.meth in UTF-16LE", v62, 3000, {{100, x_meth}, {200, term_62}},
         210},
        {"62: .meth in ASCII is no marker", v62, 3000,
         {{100, ascii_meth}, {200, term_62}}, -1},
        {"62: no marker", v62, 3000, {{200, term_62}}, -1},
        {"62: no terminator", v62, 3000, {{100, marker}}, -1},
        {"62: a second marker changes nothing", v62, 3000,
         {{100, marker}, {150, marker}, {200, term_62}}, 210},
        {"64: marker, terminator", v64, 3000, {{100, marker}, {200, term_64}},
         210},
        {"64: nine FF then 01 00 match one byte later", v64, 3000,
         {{100, marker}, {200, nine_ff_01_00}}, 211},
        {"64: ten FF are no terminator", v64, 3000,
         {{100, marker}, {200, term_62}}, -1},
        {"64: terminator before the marker ignored", v64, 3000,
         {{50, term_64}, {100, marker}, {300, term_64}}, 310},
        {"64: no marker", v64, 3000, {{200, term_64}}, -1},
        {"64: file ends in FF", v64, 1000, {{100, marker}, {993, ff(7)}}, -1},
    };
    for (const Case& c : cases) {
        Bytes b(static_cast<size_t>(c.size), 0);
        for (const auto& [at, bytes] : c.parts)
            put(b, at, bytes);
        int32_t base_at = c.f == v62 ? 42 : 826;
        if (c.anchor >= 0)
            put32(b, c.anchor + base_at, 4242);
        Probed r = probe(c.f, b);
        EXPECT_EQ(r.result, c.anchor >= 0 ? 4242 : 0) << c.what;
        EXPECT_EQ(r.nav.header_found, c.anchor >= 0) << c.what;
        if (c.anchor < 0) {
            EXPECT_EQ(r.nav.index_num, 0) << c.what;
            EXPECT_EQ(r.nav.pp_start, 0) << c.what;
            EXPECT_EQ(r.nav.pr_start, 0) << c.what;
        }
    }
}

// A header the file ends in, or ends before, is no run header: a run of
// fewer than ten 0xFF bytes at the end never matches, and a terminator
// whose anchor leaves no room for the data-stream base is ignored.
TEST(RunHeaderSearch, HeaderAtTheEndOfTheFile)
{
    struct Case {
        const char* what;
        bool v62;          // family: 62/63 or 64/66
        int32_t term_at;   // where the terminator starts
        int32_t run;       // 62/63 only: 0xFF bytes that end the file
        bool found;
    };
    const std::vector<Case> cases = {
        {"seven FF end the file", true, -1, 7, false},
        {"nine FF end the file", true, -1, 9, false},
        {"one FF ends the file", true, -1, 1, false},
        {"62: terminator is the file's last 10 bytes", true, 990, 0, false},
        {"62: base field cut by the end", true, 1000 - 10 - 42 - 3, 0, false},
        {"62: base field is the file's last 4 bytes", true, 1000 - 10 - 42 - 4, 0, true},
        {"64: terminator is the file's last 10 bytes", false, 990, 0, false},
        {"64: base field cut by the end", false, 1000 - 10 - 826 - 3, 0, false},
        {"64: base field is the file's last 4 bytes", false, 1000 - 10 - 826 - 4, 0, true},
    };
    for (const Case& c : cases) {
        Bytes b(1000, 0);
        put(b, 100, marker);
        if (c.run > 0)
            put(b, 1000 - c.run, ff(static_cast<size_t>(c.run)));
        if (c.term_at >= 0)
            put(b, c.term_at, c.v62 ? term_62 : term_64);
        put32(b, 12, 3);  // a count a garbage header would read
        Probed r = probe(c.v62 ? get_data_start : get_data_start2, b);
        EXPECT_EQ(r.nav.header_found, c.found) << c.what;
        EXPECT_EQ(r.nav.index_num, c.found ? 3 : 0) << c.what;
    }
}

TEST(RunHeaderSearch, NoFileSizeNoSearch)
{
    Bytes b(3000, 0);
    put(b, 100, marker);
    put(b, 200, term_62);
    put32(b, 252, 4242);
    Input in = borrow_input(b.data(), b.size());
    Nav nav;  // filesize 0
    EXPECT_EQ(get_data_start(in, nav), 0);
    EXPECT_FALSE(nav.header_found);
    EXPECT_EQ(get_data_start2(in, nav), 0);
    EXPECT_FALSE(nav.header_found);
}

struct Expected {
    int32_t data_start, data_end, index_num, index_start, pp_start, pr_start,
        pp_w, pr_w;
    int32_t unkn[3];
};

void expect_nav(const Probed& r, const Expected& e, const char* what)
{
    EXPECT_TRUE(r.nav.header_found) << what;
    EXPECT_EQ(r.result, e.data_start) << what;
    EXPECT_EQ(r.nav.data_start, e.data_start) << what;
    EXPECT_EQ(r.nav.data_end, e.data_end) << what;
    EXPECT_EQ(r.nav.index_num, e.index_num) << what;
    EXPECT_EQ(r.nav.index_start, e.index_start) << what;
    EXPECT_EQ(r.nav.pp_start, e.pp_start) << what;
    EXPECT_EQ(r.nav.pr_start, e.pr_start) << what;
    EXPECT_EQ(r.nav.pp_w, e.pp_w) << what;
    EXPECT_EQ(r.nav.pr_w, e.pr_w) << what;
    for (int i = 0; i < 3; i++)
        EXPECT_EQ(r.nav.unkn[i], e.unkn[i]) << what << " unkn " << i;
}

// Versions 62/63: anchor 210 (marker 100, terminator 200), so data_start
// sits at 252, data_end at 272, two unkn words at 276 and 280, P at 284.
// The data_end block is at 1000 (streams at 8368), the P block at 2000
// (streams at 9368).
TEST(GetDataStart, PointersOfVersions62And63)
{
    const Words head = {{252, 5000}, {272, 1000}, {276, 21}, {280, 22}};
    const Words end_block = {{1012, 4},    {1016, 11},   {1020, 12},
                             {1024, 13},   {1028, 3000}, {8368, 9000},
                             {8372, 9800}};
    const Words p_block = {{2012, 6}, {2016, 31}, {2020, 32}, {2024, 33},
                           {2028, 3500}};
    struct Case {
        const char* what;
        int32_t size;
        Words words;  // written in order, later ones win
        Expected e;
    };
    const std::vector<Case> cases = {
        {"P 0: everything from data_end", 12000, join({head, end_block}),
         {5000, 1000, 4, 3000, 9000, 9800, 200, 550, {11, 12, 13}}},
        {"P 0, pp 0 at data_end: both from 7368", 12000,
         join({head, end_block, {{8368, 0}, {7368, 8000}, {7372, 8400}}}),
         {5000, 1000, 4, 3000, 8000, 8400, 100, 900, {11, 12, 13}}},
        {"P 0, pr 0 at data_end: both from 7368", 12000,
         join({head, end_block, {{8372, 0}, {7368, 8000}, {7372, 8400}}}),
         {5000, 1000, 4, 3000, 8000, 8400, 100, 900, {11, 12, 13}}},
        {"P set: count and index from P, streams from data_end", 12000,
         join({head, end_block, p_block, {{284, 2000}}}),
         {5000, 1000, 6, 3500, 9000, 9800, 133, 366, {31, 32, 33}}},
        {"P set, pr 0 at data_end: streams from P", 12000,
         join({head, end_block, p_block,
               {{284, 2000}, {8372, 0}, {9368, 9100}, {9372, 9900}}}),
         {5000, 1000, 6, 3500, 9100, 9900, 133, 350, {31, 32, 33}}},
        {"count 0: no widths", 12000, join({head, end_block, {{1012, 0}}}),
         {5000, 1000, 0, 3000, 9000, 9800, 0, 0, {11, 12, 13}}},
        {"negative count passed on", 12000,
         join({head, end_block, {{1012, -3}}}),
         {5000, 1000, -3, 3000, 9000, 9800, -266, -733, {11, 12, 13}}},
        // data_end -6368 puts its streams at 1000; P 1500 holds the count.
        {"widths truncate: 999 / 2", 2000,
         {{252, 5000}, {272, -6368}, {284, 1500}, {1512, 2}, {1528, 1600},
          {1000, 1000}, {1004, 1999}},
         {5000, -6368, 2, 1600, 1000, 1999, 499, 0, {0, 0, 0}}},
        {"widths truncate toward zero: -999 / 2", 2000,
         {{252, 5000}, {272, -6368}, {284, 1500}, {1512, 2}, {1528, 1600},
          {1000, 2000}, {1004, 1001}},
         {5000, -6368, 2, 1600, 2000, 1001, -499, 499, {0, 0, 0}}},
    };
    for (const Case& c : cases) {
        Bytes b(static_cast<size_t>(c.size), 0);
        put(b, 100, marker);
        put(b, 200, term_62);
        for (const auto& [at, v] : c.words)
            put32(b, at, v);
        expect_nav(probe(get_data_start, b), c.e, c.what);
    }
}

// Versions 64/66: anchor 210, so data_start sits at 1036, data_end at
// 1052, P at 1068. The P block is at 2000 (count 2012, index 9408,
// streams 9448), the data_end block at 3000 (count 10376, index 10408,
// streams 10448).
TEST(GetDataStart2, PointersOfVersions64And66)
{
    const Words head = {{1036, 5000}, {1052, 3000}, {1068, 2000}};
    const Words p_block = {{2012, 7},    {9408, 4000}, {9448, 6000},
                           {9452, 77},   {9456, 1000}};
    const Words end_block = {{3012, 99},    {10376, 8},   {10408, 4100},
                             {10448, 6100}, {10452, 78},  {10456, 1100}};
    struct Case {
        const char* what;
        Words words;
        Expected e;
    };
    const std::vector<Case> cases = {
        {"P block; trailer pointer 1000 gives 1024",
         join({head, p_block, end_block}),
         {5000, 3000, 7, 4000, 6000, 1024, 0, 0, {0, 0, 77}}},
        {"0 at P+12: everything from the data_end block",
         join({head, p_block, end_block, {{2012, 0}}}),
         {5000, 3000, 8, 4100, 6100, 1124, 0, 0, {0, 0, 78}}},
        {"P 0: data_end block, the word at 12 unused",
         join({head, p_block, end_block, {{1068, 0}, {12, 5}}}),
         {5000, 3000, 8, 4100, 6100, 1124, 0, 0, {0, 0, 78}}},
    };
    for (const Case& c : cases) {
        Bytes b(12000, 0);
        put(b, 100, marker);
        put(b, 200, term_64);
        for (const auto& [at, v] : c.words)
            put32(b, at, v);
        expect_nav(probe(get_data_start2, b), c.e, c.what);
    }
}

}  // namespace
