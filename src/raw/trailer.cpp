// trailer.cpp -- ion injection time and charge state from the trailer
// stream, one fixed-width record per index entry.
#include "raw/raw.h"

struct TrailerLayout {
    int32_t width;        // advance of pr_start
    int32_t time_at;      // float32 ion injection time
    int32_t charge_at;    // int16 charge state; -1: not in this layout
};

static const TrailerLayout trailer_62 = {279, 0, 18};
static const TrailerLayout trailer_63_wide = {305, 26, 44};  // pr_w > 300
static const TrailerLayout trailer_63_narrow = {31, 0, -1};
static const TrailerLayout trailer_64 = {300, 0, 18};        // and 66
static const int32_t trailer_63_wide_above = 300;

static const TrailerLayout& trailer_layout(const Nav& nav)
{
    switch (nav.version) {
    case 62:
        return trailer_62;
    case 63:
        return nav.pr_w > trailer_63_wide_above ? trailer_63_wide
                                                : trailer_63_narrow;
    default:
        return trailer_64;
    }
}

void read_trailer(Input& in, Nav& nav, ScanContext& ctx)
{
    const TrailerLayout& t = trailer_layout(nav);
    // Values not found keep what the previous entry left.
    read_at(in, add32(nav.pr_start, t.time_at), &ctx.ion_injection_time, 4);
    if (t.charge_at >= 0)
        read_at(in, add32(nav.pr_start, t.charge_at), &ctx.charge_state, 2);
    nav.pr_start = add32(nav.pr_start, t.width);
}
