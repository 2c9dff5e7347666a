// scan_event.cpp -- MS level, analyzer and precursor m/z of a converted
// scan, from its record in the scan-event stream.
#include "precursor/precursor.h"
#include "raw/raw.h"

// Record widths: survey column (MS level 1) and the column for every other
// level, per version and layout.
static const int32_t event_width_62_survey = 212;
static const int32_t event_width_62_other = 188;
static const int32_t event_width_63_narrow_survey = 164;  // pp_w <= 196
static const int32_t event_width_63_wide_survey = 220;    // pp_w > 196
static const int32_t event_width_63_other = 196;
static const int32_t event_63_narrow_max_pp_w = 196;
static const int32_t event_width_66_survey = 232;
static const int32_t event_width_66_other = 232;
static const int32_t event_width_66_elite_other = 288;

static int32_t event_width(const Nav& nav, const ScanContext& ctx,
                           bool survey)
{
    switch (nav.version) {
    case 62:
        return survey ? event_width_62_survey : event_width_62_other;
    case 63:
        if (!survey)
            return event_width_63_other;
        return nav.pp_w <= event_63_narrow_max_pp_w
                   ? event_width_63_narrow_survey
                   : event_width_63_wide_survey;
    case 64:
        return survey ? nav.ms1_w : nav.ms2_w;
    default:
        if (survey)
            return event_width_66_survey;
        return ctx.elite_layout ? event_width_66_elite_other
                                : event_width_66_other;
    }
}

static const int32_t max_ms_level = 10;

static void set_instrument_type(ScanContext& ctx, uint8_t analyzer)
{
    const char* name = analyzer == 0 ? "ITMS" : analyzer == 4 ? "FTMS" : "?";
    std::memcpy(ctx.instrument_type, name, std::strlen(name) + 1);
}

void read_scan_event(Input& in, Nav& nav, ScanContext& ctx)
{
    // Records of other widths (two reactions, zoom scans) would leave the
    // cursor inside a record; step to the next signature when it is not
    // where the cursor says. Without one in reach, read in place.
    if (!has_signature(in, pos_add(nav.wide, nav.pp_start, 4))) {
        FilePos next = find_next_pp(in, nav.pp_start);
        if (next != 0)
            nav.pp_start = next;
    }

    int32_t len = event_preamble_len(nav.version);
    FilePos pos = pos_add(nav.wide, nav.pp_start, 4);
    read_at(in, pos, &ctx.preamble, len);
    pos += len;
    ctx.ms_level = ctx.preamble.ms_level;
    nav.pp_start = pos_add(nav.wide, nav.pp_start,
                           event_width(nav, ctx, ctx.ms_level == 1));

    set_instrument_type(ctx, ctx.preamble.analyzer);

    if (ctx.ms_level == 2) {
        // Spare word, then the precursor m/z, where the preamble read ended.
        read_at(in, pos + 4, &ctx.precursor_mz, 8);
        ctx.precursor_read = true;
        find_precursor(ctx.precursor_mz, nav.version, ctx);
    }
}

bool read_scan_event_at(Input& in, const Nav& nav, FilePos r,
                        const IndexEntry& entry, ScanContext& ctx)
{
    CountedEvent ev;
    read_counted_event(in, nav.version, r, ev);
    ctx.ms_level = ev.ms_level;
    set_instrument_type(ctx, ev.analyzer);
    bool fragment = ev.ms_level >= 2 && ev.ms_level <= max_ms_level;
    if (fragment && ev.reactions >= 1) {
        ctx.precursor_mz = ev.precursor_mz;
        ctx.precursor_read = true;
        find_precursor(ctx.precursor_mz, nav.version, ctx);
    }
    // The level decides the scan's file only when the record is plainly
    // this entry's: a level in range and the entry's own mass range.
    return ev.ms_level >= 1 && ev.ms_level <= max_ms_level &&
           ev.low_mass == entry.low_mass && ev.high_mass == entry.high_mass;
}
