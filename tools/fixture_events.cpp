// fixture_events.cpp -- the scan-event stream: records at the widths the
// converter's cursor moves by.
#include <algorithm>
#include <cstring>

#include "fixture_internal.h"

namespace fixture::detail {
namespace {

// Scan-event record; preamble offsets are from record byte 4.
constexpr int32_t event_preamble_pos = 4;
constexpr uint8_t event_signature[4] = {0x01, 0x00, 0x02, 0x01};
constexpr int32_t preamble_ms_level = 6;
constexpr int32_t preamble_end_mark = 28;
constexpr int32_t preamble_analyzer = 40;
constexpr int32_t event_gap_size = 100;
constexpr int32_t event_62_survey = 212;
constexpr int32_t event_62_other = 188;
constexpr int32_t event_63_survey_narrow = 164;
constexpr int32_t event_63_survey_wide = 220;
constexpr int32_t event_63_other = 196;
constexpr int32_t event_66_survey = 232;
constexpr int32_t event_66_other_narrow = 232;
constexpr int32_t event_66_other_elite = 288;

int32_t preamble_size(int32_t version) {
    if (version == 62) return 120;
    return family_62(version) || version == 64 ? 128 : 136;
}

}  // namespace

// Event record width that the converter advances by for a converted scan
// of this MS level.
int32_t level_width(const File& f, int8_t level) {
    bool ms1 = level == 1;
    switch (f.version) {
    case 62: return ms1 ? event_62_survey : event_62_other;
    case 63:
        if (!ms1) return event_63_other;
        return f.v63_wide ? event_63_survey_wide : event_63_survey_narrow;
    case 64: return ms1 ? f.v64_ms1_w : f.v64_ms2_w;
    default:
        if (ms1) return event_66_survey;
        return f.elite_layout ? event_66_other_elite : event_66_other_narrow;
    }
}

// Default record width: what the converter's cursor moves by for this
// scan, so that every later scan finds its own record. A rejected scan
// with peaks does not move the cursor and so gets no record; neither does
// a rejected v66 survey scan without peaks.
int32_t default_event_width(const File& f, const Scan& s, int8_t level,
                            int32_t n, int32_t size) {
    if (converts(f.version, n, size)) return level_width(f, level);
    if (n != 0) return 0;
    if (f.version == 62) return s.survey ? event_62_survey : event_62_other;
    if (f.version == 63) return level_width(f, level);  // found by search
    if (s.survey) return 0;
    return f.elite_layout ? event_66_other_elite : event_66_other_narrow;
}

// Record starts back to back from pp_start (gaps and v63 padding
// included); returns where the trailer stream starts.
int32_t place_events(const File& f, Plan& plan) {
    Layout& lay = plan.lay;
    int32_t pos = lay.pp_start;
    for (const Meta& m : plan.metas) {
        if (m.event_gap) pos += event_gap_size;
        lay.event_pos.push_back(pos);
        pos += m.event_width > 0 ? m.event_width : 0;
    }
    // v63 tells its survey width from the average event width
    // (trailer pointer - pp_start) / count against 196.
    if (f.version == 63 && f.v63_wide && lay.index_num > 0) {
        int64_t need = int64_t{197} * lay.index_num + trailer_adjust_62;
        if (pos - lay.pp_start < need) pos = lay.pp_start + static_cast<int32_t>(need);
    }
    return pos;
}

void put_events(Out& o, const File& f, const Plan& plan) {
    int32_t l = preamble_size(f.version);
    for (const Meta& m : plan.metas) {
        if (m.event_gap) append_zeros(o, event_gap_size);
        if (m.event_width <= 0) continue;
        // Built at full size, then cut to the width asked for.
        std::vector<uint8_t> r(static_cast<size_t>(std::max(m.event_width, 16 + l)), 0);
        uint8_t* pre = &r[event_preamble_pos];
        std::memcpy(pre, event_signature, 4);
        pre[preamble_ms_level] = static_cast<uint8_t>(m.ms_level);
        std::memset(pre + preamble_end_mark, 0xFF, 4);
        pre[preamble_analyzer] = m.analyzer;
        put_f64(&r[static_cast<size_t>(8 + l)], m.precursor_mz);
        append(o, r.data(), static_cast<size_t>(m.event_width));
    }
}

}  // namespace fixture::detail
