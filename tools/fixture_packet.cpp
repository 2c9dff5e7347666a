// fixture_packet.cpp -- the peak packets of the data stream, in the
// converter's fixed layout or self-described as instruments write them.
#include <algorithm>
#include <cstring>

#include "fixture_internal.h"

namespace fixture::detail {
namespace {

// Peak packet: a 44-byte header whose last word counts the peaks.
constexpr int32_t packet_peak_count = 40;

// Self-described packet: eight words, then the range's low and high m/z.
constexpr uint32_t described_wide_mz = 0x10000;  // flags: float64 m/z
constexpr uint8_t packet_filler = 0xA5;  // parts the converter must not read

// A packet as a real instrument writes it (see Described).
std::vector<uint8_t> described_packet(const Scan& s, const Described& d) {
    uint32_t n = d.centroids ? static_cast<uint32_t>(s.peaks.size()) : 0;
    uint32_t peak_size = d.wide ? 12 : 8;
    uint32_t list = d.centroids ? 1 + n * peak_size / 4 : 0;
    uint32_t labels = d.centroids && d.labels ? n : 0;
    uint32_t values = d.centroids && d.values ? n + 1 : 0;
    uint32_t flags = d.other_flags | (d.wide ? described_wide_mz : 0);
    uint32_t words[8] = {d.ranges, d.profile_words, list, flags,
                         labels, values, d.triplet_words, d.extra_words};
    size_t total = described_head_size +
                   4 * size_t{d.profile_words + list + labels + values + d.triplet_words +
                              d.extra_words};
    std::vector<uint8_t> p(total + static_cast<size_t>(std::max(d.uncounted, 0)), packet_filler);
    for (int i = 0; i < 8; i++) put32(&p[static_cast<size_t>(4 * i)], words[i]);
    put_f32(&p[32], static_cast<float>(s.low_mass));
    put_f32(&p[36], static_cast<float>(s.high_mass));
    size_t at = described_head_size + 4 * size_t{d.profile_words};
    if (list == 0) return p;
    put32(&p[at], n);
    at += 4;
    for (size_t i = 0; i < n; i++, at += peak_size) {
        const Peak& k = s.peaks[i];
        if (d.wide) {
            put_f64(&p[at], static_cast<double>(k.mz));
            put_f32(&p[at + 8], k.intensity);
        } else {
            put_f32(&p[at], k.mz);
            put_f32(&p[at + 4], k.intensity);
        }
    }
    for (size_t i = 0; i < labels; i++, at += 4)
        put16(&p[at + 2], static_cast<uint16_t>(s.peaks[i].charge_code));
    if (values != 0) at += 4;  // the value stream's leading word stays filler
    for (size_t i = 0; i + 1 < values; i++, at += 4) put_f32(&p[at], s.peaks[i].value);
    return p;
}

}  // namespace

// The converter's triage: does it convert a packet of n peaks whose
// index entry says s bytes?
bool converts(int32_t version, int32_t n, int32_t s) {
    if (n != 0 && wrap32(int64_t{8} * n) == wrap32(int64_t{s} - 44)) return true;
    if (version == 64) return true;
    int32_t m = wrap32(int64_t{16} * n);
    return m < wrap32(int64_t{s} - 139) && m >= wrap32(int64_t{s} - 200);
}

// Appends one scan's packet to the data stream and keeps what the later
// streams need.
void add_scan(Out& o, const File& f, Plan& plan, const Scan& s) {
    int64_t here = out_pos(o);
    int32_t n_peaks = static_cast<int32_t>(s.peaks.size());
    int32_t n = s.peak_count.value_or(n_peaks);
    int32_t trailing = s.trailing.value_or(s.extras ? trailing_with_extras : 0);
    int32_t written = 0;
    bool self_described = false;  // the converter reads it by its own words
    if (s.write_packet && s.described) {
        const Described& d = *s.described;
        std::vector<uint8_t> p = described_packet(s, d);
        written = static_cast<int32_t>(p.size());
        // A packet that does not describe itself meets the triage with
        // whatever its byte 40 holds.
        n = 0;
        if (p.size() >= packet_header_size) std::memcpy(&n, &p[packet_peak_count], 4);
        self_described = d.ranges == 1 && d.uncounted <= 0 && d.centroids && !s.peaks.empty();
        append(o, p.data(), p.size());
    } else if (s.write_packet) {
        std::vector<uint8_t> p(static_cast<size_t>(packet_header_size), 0);
        put_i32(&p[packet_peak_count], n);
        size_t at = p.size();
        p.resize(at + 8 * s.peaks.size());
        for (const Peak& k : s.peaks) {
            put_f32(&p[at], k.mz);
            put_f32(&p[at + 4], k.intensity);
            at += 8;
        }
        if (s.extras) {
            p.resize(at + 8 * s.peaks.size() + 4);
            for (const Peak& k : s.peaks) {
                put16(&p[at + 2], static_cast<uint16_t>(k.charge_code));
                at += 4;
            }
            at += 4;  // spare word
            for (const Peak& k : s.peaks) {
                put_f32(&p[at], k.value);
                at += 4;
            }
        }
        p.resize(at + static_cast<size_t>(trailing > 0 ? trailing : 0), 0);
        written = static_cast<int32_t>(p.size());
        append(o, p.data(), p.size());
    }

    Meta m{};
    m.packet_offset = s.packet_offset.value_or(here - plan.lay.data_start);
    m.data_size = s.data_size.value_or(written);
    m.start_time = s.start_time;
    m.low_mass = s.low_mass;
    m.high_mass = s.high_mass;
    m.aux_00 = s.aux_00;
    m.aux_80 = s.aux_80;
    m.v64_word0 = s.v64_word0;
    m.scan_event = s.scan_event_word.value_or(s.survey ? 0 : 1);
    m.survey = s.survey;
    m.ms_level = s.ms_level.value_or(s.survey ? 1 : 2);
    m.analyzer = s.analyzer;
    m.precursor_mz = s.precursor_mz;
    event_meta(f, s, m);
    m.event_width = s.event_width.value_or(
        self_described && m.data_size == written
            ? level_width(f, m.ms_level)
            : default_event_width(f, s, m.ms_level, n, m.data_size));
    m.event_gap = s.event_gap;
    m.injection_time = s.injection_time;
    m.charge_state = s.charge_state;
    m.mono_mz = s.mono_mz;
    plan.metas.push_back(m);
    // The whole sum; settle_packet_pos() wraps it where the converter does.
    plan.lay.packet_pos.push_back(static_cast<int64_t>(
        static_cast<uint64_t>(plan.lay.data_start) + static_cast<uint64_t>(m.packet_offset)));
    // Versions 62/63 cannot store where this data stream ends.
    if (family_62(f.version) && out_pos(o) > max_position_62) o.ok = false;
}

}  // namespace fixture::detail
