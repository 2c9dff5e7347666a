// event_layout_test.cpp -- layout flag, event widths and the signature
// search over hand-built scan-event streams.
#include <gtest/gtest.h>

#include <array>

#include "raw/bytes.h"

namespace {

using Result = std::array<FilePos, 2>;

// Each probe from offset 1000.
Result elite(Input& in, Nav& nav) { return {check_elite(in, nav, 1000)}; }
Result velos(Input& in, Nav& nav) { check_velos1(in, nav, 1000); return {nav.ms1_w, nav.ms2_w}; }
Result next_pp(Input& in, Nav&) { return {find_next_pp(in, 1000)}; }

TEST(EventLayout, ProbesOverHandBuiltStreams)
{
    const Bytes ff4(4, 0xFF), ff5(5, 0xFF), ff6(6, 0xFF), sig1 = signature(1), sig2 = signature(2);
    // A hundred level-1 signatures 40 apart, then more 60 apart: the walk
    // stops at the hundredth.
    Parts survey_only;
    for (int32_t i = 0; i < 120; i++)
        survey_only.push_back({i < 100 ? 1000 + 40 * i : 4960 + 60 * (i - 99), sig1});
    const int32_t r = 1000;
    using Probe = Result (*)(Input&, Nav&);
    const struct { const char* what; Probe probe; int32_t size; Parts parts; Result want; } cases[] = {
        {"elite: even spacing", elite, 2000, {{1000, ff4}, {1100, ff4}, {1200, ff4}}, {0}},
        {"elite: uneven spacing", elite, 2000, {{1000, ff4}, {1100, ff4}, {1232, ff4}}, {1}},
        {"elite: six FF in a row are runs 1 apart", elite, 2000, {{1000, ff6}}, {0}},
        {"elite: five FF then a run", elite, 2000, {{1000, ff5}, {1050, ff4}}, {1}},
        {"elite: only two runs", elite, 2000, {{1000, ff4}, {1100, ff4}}, {0}},
        {"elite: runs before the start unseen", elite, 2000, {{900, ff4}, {1000, ff4}, {1100, ff4}, {1232, ff4}}, {1}},
        {"elite: third run ends the file", elite, 1236, {{1000, ff4}, {1100, ff4}, {1232, ff4}}, {1}},
        {"elite: third run cut by the end", elite, 1235, {{1000, ff4}, {1100, ff4}, {1232, ff4}}, {0}},
        {"velos: 1, 2, 1 stops at the third", velos, 4000, {{1000, sig1}, {1232, sig2}, {1520, sig1}, {1600, sig2}},
         {232, 288}},
        {"velos: 1, 1, 2 goes on to a fourth", velos, 4000,
         {{1000, sig1}, {1232, sig1}, {1464, sig2}, {1700, sig1}, {1800, sig1}}, {232, 236}},
        {"velos: level 3 measures nothing", velos, 4000, {{1000, signature(3)}, {1300, sig2}, {1500, sig1}}, {0, 200}},
        {"velos: only survey events, 100 signatures", velos, 12000, survey_only, {40, 0}},
        {"velos: signatures before the start unseen", velos, 4000,
         {{900, sig2}, {1000, sig1}, {1232, sig2}, {1520, sig1}}, {232, 288}},
        {"velos: a head without end mark is skipped", velos, 4000,
         {{1000, sig1}, {1100, signature(2, true)}, {1232, sig2}, {1520, sig1}}, {232, 288}},
        {"velos: a window cut by the end", velos, 1520, {{1000, sig1}, {1232, sig2}, {1500, sig1}}, {232, 0}},
        {"next_pp: not the record at r itself", next_pp, 4000, {{r + 4, sig2}}, {0}},
        {"next_pp: r itself, then the first window", next_pp, 4000, {{r + 4, sig2}, {r + 5, sig2}}, {r + 1}},
        {"next_pp: the first of two", next_pp, 4000, {{r + 300, sig2}, {r + 600, sig2}}, {r + 296}},
        {"next_pp: last window", next_pp, 4000, {{r + 1999, sig2}}, {r + 1995}},
        {"next_pp: one past the window", next_pp, 4000, {{r + 2000, sig2}}, {0}},
        {"next_pp: last window ends the file", next_pp, r + 1999 + 32, {{r + 1999, sig2}}, {r + 1995}},
        {"next_pp: last window cut by the end", next_pp, r + 1999 + 31, {{r + 1999, sig2}}, {0}},
    };
    for (const auto& c : cases) {
        Bytes b = image(c.size, c.parts);
        Input in = input_of(b);
        Nav nav = nav_of(b);
        EXPECT_EQ(c.probe(in, nav), c.want) << c.what;
    }
}

}  // namespace
