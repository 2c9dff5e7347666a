// event_layout_test.cpp -- layout flag, event widths and the signature
// search over hand-built scan-event streams.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "raw/raw.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put_ff(Bytes& b, int32_t at, int32_t n)
{
    for (int32_t i = 0; i < n; i++)
        b[static_cast<size_t>(at + i)] = 0xFF;
}

// A signature window at q: 01 00 02 01, the level at byte 6, FF x 4 at 28.
// Bytes past the end of b are left out (a window cut by the end).
void put_signature(Bytes& b, int32_t q, uint8_t level)
{
    const uint8_t head[4] = {0x01, 0x00, 0x02, 0x01};
    auto put = [&](int32_t at, uint8_t v) {
        if (at >= 0 && static_cast<size_t>(at) < b.size())
            b[static_cast<size_t>(at)] = v;
    };
    for (int32_t i = 0; i < 4; i++)
        put(q + i, head[i]);
    put(q + 6, level);
    for (int32_t i = 0; i < 4; i++)
        put(q + 28 + i, 0xFF);
}

Nav nav_of(const Bytes& b)
{
    Nav nav;
    nav.filesize = static_cast<int32_t>(b.size());
    return nav;
}

TEST(HasSignature, HeadAndEndMarkInsideTheFile)
{
    struct Case {
        const char* what;
        int32_t size;
        bool head, end_mark;
        int32_t q;  // window tested; the bytes sit at 100
        bool found;
    };
    const std::vector<Case> cases = {
        {"both parts", 400, true, true, 100, true},
        {"one byte early", 400, true, true, 99, false},
        {"one byte late", 400, true, true, 101, false},
        {"head only", 400, true, false, 100, false},
        {"end mark only", 400, false, true, 100, false},
        {"window ends at the end of the file", 132, true, true, 100, true},
        {"window cut by the end of the file", 131, true, true, 100, false},
        {"negative offset", 400, true, true, -4, false},
    };
    for (const Case& c : cases) {
        Bytes b(static_cast<size_t>(c.size), 0);
        if (c.head)
            put_signature(b, 100, 2);
        if (!c.end_mark)
            for (int32_t i = 128; i < 132 && i < c.size; i++)
                b[static_cast<size_t>(i)] = 0;
        if (c.end_mark && !c.head)
            put_ff(b, 128, 4);
        Input in = borrow_input(b.data(), b.size());
        EXPECT_EQ(has_signature(in, c.q), c.found) << c.what;
    }
}

TEST(CheckElite, SpacingOfTheFirstThreeFFRuns)
{
    const int32_t s = 100;
    struct Case {
        const char* what;
        std::vector<std::pair<int32_t, int32_t>> runs;  // offset, length
        int32_t size;
        int32_t start;
        int32_t flag;
    };
    const std::vector<Case> cases = {
        {"even spacing", {{s, 4}, {s + 100, 4}, {s + 200, 4}}, 1000, s, 0},
        {"uneven spacing", {{s, 4}, {s + 100, 4}, {s + 232, 4}}, 1000, s, 1},
        {"six FF in a row: runs 1 apart", {{s, 6}}, 1000, s, 0},
        {"five FF then a run", {{s, 5}, {s + 50, 4}}, 1000, s, 1},
        {"only two runs", {{s, 4}, {s + 100, 4}}, 1000, s, 0},
        {"no run", {}, 1000, s, 0},
        {"runs before the start are not seen",
         {{s - 100, 4}, {s, 4}, {s + 100, 4}, {s + 232, 4}}, 1000, s, 1},
        {"third run ends the file", {{s, 4}, {s + 100, 4}, {s + 232, 4}},
         s + 236, s, 1},
        {"third run cut by the end", {{s, 4}, {s + 100, 4}, {s + 232, 3}},
         s + 235, s, 0},
        {"start at the end of the file", {{s, 4}, {s + 100, 4}, {s + 232, 4}},
         1000, 1000, 0},
        {"start past the end", {{s, 4}, {s + 100, 4}, {s + 232, 4}}, 1000,
         5000, 0},
    };
    for (const Case& c : cases) {
        Bytes b(static_cast<size_t>(c.size), 0);
        for (const auto& [at, n] : c.runs)
            put_ff(b, at, n);
        Input in = borrow_input(b.data(), b.size());
        EXPECT_EQ(check_elite(in, nav_of(b), c.start), c.flag) << c.what;
    }
}

TEST(CheckVelos1, WidthsFromTheDistancesBetweenSignatures)
{
    struct Sig {
        int32_t q;
        uint8_t level;
    };
    struct Case {
        const char* what;
        std::vector<Sig> sigs;
        int32_t size;
        int32_t ms1_w, ms2_w;
    };
    // A hundred level-1 signatures 40 apart, then more 60 apart: the walk
    // stops at the hundredth, before the wider spacing.
    std::vector<Sig> only_survey;
    for (int32_t i = 0; i < 100; i++)
        only_survey.push_back({1000 + 40 * i, 1});
    for (int32_t i = 1; i <= 20; i++)
        only_survey.push_back({1000 + 40 * 99 + 60 * i, 1});

    const std::vector<Case> cases = {
        {"1, 2, 1: stops at the third",
         {{1000, 1}, {1232, 2}, {1520, 1}, {1600, 2}}, 4000, 232, 288},
        {"1, 1, 2 goes on to a fourth",
         {{1000, 1}, {1232, 1}, {1464, 2}, {1700, 1}, {1800, 1}}, 4000, 232,
         236},
        {"level 3 measures nothing", {{1000, 3}, {1300, 2}, {1500, 1}}, 4000,
         0, 200},
        {"level 0 measures nothing", {{1000, 0}, {1300, 1}, {1500, 2}}, 4000,
         200, 0},
        {"only survey events", only_survey, 8000, 40, 0},
        {"a single signature", {{1000, 1}}, 4000, 0, 0},
        {"none", {}, 4000, 0, 0},
        {"signatures before the start are not seen",
         {{900, 2}, {1000, 1}, {1232, 2}, {1520, 1}}, 4000, 232, 288},
        {"a window cut by the end is no signature",
         {{1000, 1}, {1232, 2}, {1500, 1}}, 1520, 232, 0},
    };
    for (const Case& c : cases) {
        Bytes b(static_cast<size_t>(c.size), 0);
        for (const Sig& g : c.sigs)
            put_signature(b, g.q, g.level);
        Input in = borrow_input(b.data(), b.size());
        Nav nav = nav_of(b);
        check_velos1(in, nav, 1000);
        EXPECT_EQ(nav.ms1_w, c.ms1_w) << c.what;
        EXPECT_EQ(nav.ms2_w, c.ms2_w) << c.what;
        EXPECT_EQ(nav.pp_start, 0) << c.what;
    }
}

TEST(CheckVelos1, AHeadWithoutEndMarkIsSkipped)
{
    Bytes b(4000, 0);
    put_signature(b, 1000, 1);
    put_signature(b, 1100, 2);
    b[1128] = 0;  // end mark broken: not a signature
    put_signature(b, 1232, 2);
    put_signature(b, 1520, 1);
    Input in = borrow_input(b.data(), b.size());
    Nav nav = nav_of(b);
    check_velos1(in, nav, 1000);
    EXPECT_EQ(nav.ms1_w, 232);
    EXPECT_EQ(nav.ms2_w, 288);
}

TEST(FindNextPp, WindowFromRPlus5ToRPlus1999)
{
    const int32_t r = 1000;
    struct Case {
        const char* what;
        std::vector<int32_t> sigs;
        int32_t size;
        int32_t next;
    };
    const std::vector<Case> cases = {
        {"the record at r itself", {r + 4}, 4000, 0},
        {"r itself, then one at r+5", {r + 4, r + 5}, 4000, r + 1},
        {"first window", {r + 5}, 4000, r + 1},
        {"last window", {r + 1999}, 4000, r + 1995},
        {"one past the window", {r + 2000}, 4000, 0},
        {"the first of two", {r + 300, r + 600}, 4000, r + 296},
        {"before r", {r - 100}, 4000, 0},
        {"none", {}, 4000, 0},
        {"last window ends the file", {r + 1999}, r + 1999 + 32, r + 1995},
        {"last window cut by the end", {r + 1999}, r + 1999 + 31, 0},
        {"window cut by the end, later window out of reach", {r + 500},
         r + 531, 0},
    };
    for (const Case& c : cases) {
        Bytes b(static_cast<size_t>(c.size), 0);
        for (int32_t q : c.sigs)
            put_signature(b, q, 2);
        Input in = borrow_input(b.data(), b.size());
        EXPECT_EQ(find_next_pp(in, r), c.next) << c.what;
    }
}

}  // namespace
