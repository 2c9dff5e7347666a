// fixture_events.cpp -- the scan-event stream: records at the widths the
// converter's cursor moves by, or in the counted grammar of real files.
#include <algorithm>
#include <cstring>

#include "fixture_internal.h"

namespace fixture::detail {
namespace {

// Scan-event record; preamble offsets are from record byte 4.
constexpr int32_t event_preamble_pos = 4;
constexpr std::array<uint8_t, 4> event_signature = {0x01, 0x00, 0x02, 0x01};
constexpr std::array<uint8_t, 4> event_signature_newer = {0x01, 0x01, 0x02, 0x01};
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

// Counted records: a reaction starts with its precursor m/z; the isolation
// width and energy behind it make it look like one, nobody reads them.
constexpr int32_t reaction_62 = 32;
constexpr int32_t reaction_66 = 56;
constexpr int32_t reaction_isolation = 8;
constexpr int32_t reaction_energy = 16;
constexpr double isolation_width = 2.0;
constexpr double collision_energy = 35.0;
constexpr int32_t counted_end_66 = 4;  // v66 records end in four more bytes

int32_t preamble_size(int32_t version) {
    if (version == 62) return 120;
    return family_62(version) || version == 64 ? 128 : 136;
}

int32_t reaction_size(int32_t version) { return version == 66 ? reaction_66 : reaction_62; }

void put_preamble(uint8_t* pre, const Meta& m) {
    std::memcpy(pre, m.signature.data(), 4);
    pre[preamble_ms_level] = static_cast<uint8_t>(m.ms_level);
    std::memset(pre + preamble_end_mark, 0xFF, 4);
    pre[preamble_analyzer] = m.analyzer;
}

// Bytes of a counted record: the data written, whatever its count words say.
int64_t counted_size(int32_t version, const Meta& m) {
    int64_t data = int64_t{reaction_size(version)} * static_cast<int64_t>(m.reactions.size()) +
                   16 * static_cast<int64_t>(m.ranges.size()) + 8 * int64_t{m.params} +
                   8 * int64_t{m.tail};
    return event_preamble_pos + preamble_size(version) + 4 * 4 + data +
           (version == 66 ? counted_end_66 : 0);
}

void put_counted(Out& o, int32_t version, const Meta& m) {
    std::vector<uint8_t> r(static_cast<size_t>(counted_size(version, m)), 0);
    put_preamble(&r[event_preamble_pos], m);
    size_t at = static_cast<size_t>(event_preamble_pos + preamble_size(version));
    put32(&r[at], m.reaction_word);
    at += 4;
    for (double p : m.reactions) {
        put_f64(&r[at], p);
        put_f64(&r[at + reaction_isolation], isolation_width);
        put_f64(&r[at + reaction_energy], collision_energy);
        at += static_cast<size_t>(reaction_size(version));
    }
    put32(&r[at], m.range_word);
    at += 4;
    for (auto [low, high] : m.ranges) {
        put_f64(&r[at], low);
        put_f64(&r[at + 8], high);
        at += 16;
    }
    put32(&r[at], m.params);
    at += 4;
    for (uint32_t i = 0; i < m.params; i++, at += 8) put_f64(&r[at], 1.0 + i);
    put32(&r[at], m.tail);
    at += 4;
    for (uint32_t i = 0; i < m.tail; i++, at += 8) put_f64(&r[at], 10.0 + i);
    append(o, r.data(), r.size());
}

}  // namespace

// The record's signature and, for the counted grammar, its parts.
void event_meta(const File& f, const Scan& s, Meta& m) {
    m.signature = s.signature.value_or(f.newer_signature ? event_signature_newer : event_signature);
    if (!f.counted_events) return;
    bool fragment = m.ms_level >= 2 && m.ms_level <= 10;
    m.reactions = s.reactions.value_or(fragment ? std::vector<double>{s.precursor_mz}
                                                : std::vector<double>{});
    m.ranges = s.mass_ranges.value_or(
        std::vector<std::pair<double, double>>{{s.low_mass, s.high_mass}});
    m.params = s.params;
    m.tail = s.tail;
    m.reaction_word = s.reaction_count_word.value_or(static_cast<uint32_t>(m.reactions.size()));
    m.range_word = s.range_count_word.value_or(static_cast<uint32_t>(m.ranges.size()));
}

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

// Bytes of the record of a default scan of this level.
int64_t event_bytes(const File& f, int8_t level) {
    if (!f.counted_events) return level_width(f, level);
    Scan s;
    s.survey = level == 1;
    Meta m{};
    m.ms_level = level;
    event_meta(f, s, m);
    return counted_size(f.version, m);
}

// Record starts back to back from pp_start (gaps and v63 padding
// included); returns where the trailer stream starts.
int64_t place_events(const File& f, Plan& plan) {
    Layout& lay = plan.lay;
    int64_t pos = lay.pp_start;
    if (f.counted_events) {
        for (const Meta& m : plan.metas) {
            lay.event_pos.push_back(pos);
            pos += counted_size(f.version, m);
        }
        // The slack and a word, then T; records by a table start at T itself.
        pos += std::max(f.counted_slack, 0) + 4;
        if (plan.shape) return pos;
        return pos + (family_62(f.version) ? trailer_adjust_62 : trailer_adjust_64);
    }
    for (const Meta& m : plan.metas) {
        if (m.event_gap) pos += event_gap_size;
        lay.event_pos.push_back(pos);
        pos += m.event_width > 0 ? m.event_width : 0;
    }
    // v63 tells its survey width from the average event width
    // (trailer pointer - pp_start) / count against 196.
    if (f.version == 63 && f.v63_wide && lay.index_num > 0) {
        int64_t need = int64_t{197} * lay.index_num + trailer_adjust_62;
        if (pos - lay.pp_start < need) pos = lay.pp_start + need;
    }
    return pos;
}

void put_events(Out& o, const File& f, const Plan& plan) {
    if (f.counted_events) {
        for (const Meta& m : plan.metas) put_counted(o, f.version, m);
        append_zeros(o, std::max(f.counted_slack, 0));
        uint8_t count[4];  // the trailer record count, as real files have it
        put32(count, static_cast<uint32_t>(plan.metas.size()));
        append(o, count, 4);
        return;
    }
    int32_t l = preamble_size(f.version);
    for (const Meta& m : plan.metas) {
        if (m.event_gap) append_zeros(o, event_gap_size);
        if (m.event_width <= 0) continue;
        // Built at full size, then cut to the width asked for.
        std::vector<uint8_t> r(static_cast<size_t>(std::max(m.event_width, 16 + l)), 0);
        put_preamble(&r[event_preamble_pos], m);
        put_f64(&r[static_cast<size_t>(8 + l)], m.precursor_mz);
        append(o, r.data(), static_cast<size_t>(m.event_width));
    }
}

}  // namespace fixture::detail
