// fixture.cpp -- lays out synthetic raw files the way the converter walks them.
//
// File order: version word and method name, header terminator and run header
// (all in a fixed 8192-byte header area), the data stream of peak packets,
// the header block at data_end (and the P block behind it), the trailer
// field table when there is one, the scan index, the scan-event stream, v63
// padding, and the trailer stream last.
#include "fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace fixture {
namespace {

// Header area. It ends past absolute 7368/7372, where versions 62/63 look
// for the stream offsets when P is 0 and the data_end block holds zeros.
constexpr int32_t version_pos = 36;
constexpr int32_t method_name_pos = 64;
constexpr char method_name[] = "C:\\Data\\dda_top10.meth";
constexpr char method_name_unmarked[] = "C:\\Data\\dda_top10.mxth";
constexpr int32_t header_area_size = 8192;
constexpr uint8_t terminator_62[10] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                       0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr uint8_t terminator_64[10] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                       0xFF, 0xFF, 0xFF, 0x01, 0x00};

// Run header, offsets from the anchor.
constexpr int32_t run_62_data_start = 42;
constexpr int32_t run_62_data_end = 62;
constexpr int32_t run_62_p = 74;
constexpr int32_t run_64_data_start = 826;
constexpr int32_t run_64_data_end = 842;
constexpr int32_t run_64_p = 858;

// Header blocks, offsets from the block start. A block reaches H+7460.
constexpr int32_t block_size = 7680;
constexpr int32_t block_62_count = 12;
constexpr int32_t block_62_index = 28;
constexpr int32_t block_62_events = 7368;
constexpr int32_t block_62_trailers = 7372;
constexpr int32_t block_64_count_p = 12;
constexpr int32_t block_64_count_d = 7376;
constexpr int32_t block_64_index = 7408;
constexpr int32_t block_64_events = 7448;
constexpr int32_t block_64_trailers = 7456;
// The header's trailer pointer lies this far before the first record.
constexpr int32_t trailer_adjust_62 = 3;
constexpr int32_t trailer_adjust_64 = 24;

// Scan index entry (the 88-byte form; shorter forms are prefixes of it).
constexpr int32_t entry_aux_00 = 0;
constexpr int32_t entry_scan_event = 8;
constexpr int32_t entry_data_size = 20;
constexpr int32_t entry_start_time = 24;
constexpr int32_t entry_low_mass = 56;
constexpr int32_t entry_high_mass = 64;
constexpr int32_t entry_packet_offset = 72;
constexpr int32_t entry_aux_80 = 80;
constexpr int32_t entry_size_62 = 72;
constexpr int32_t entry_size_64 = 80;
constexpr int32_t entry_size_66 = 88;

// Peak packet.
constexpr int32_t packet_header_size = 44;
constexpr int32_t packet_peak_count = 40;
constexpr int32_t trailing_with_extras = 100;  // inside the 92..152 window
                                               // that converts such a packet

// Self-described packet: eight words, then the range's low and high m/z.
constexpr int32_t described_head_size = 40;
constexpr uint32_t described_wide_mz = 0x10000;  // flags: float64 m/z
constexpr uint8_t packet_filler = 0xA5;  // parts the converter must not read

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

// Trailer record.
constexpr int32_t trailer_62 = 279;
constexpr int32_t trailer_63_wide = 305;
constexpr int32_t trailer_63_narrow = 31;
constexpr int32_t trailer_64 = 300;
constexpr int32_t trailer_injection = 0;
constexpr int32_t trailer_charge = 18;
constexpr int32_t trailer_63_wide_injection = 26;
constexpr int32_t trailer_63_wide_charge = 44;
constexpr uint8_t trailer_filler = 0xA5;  // table fields nobody reads
constexpr char time_label[] = "Ion Injection Time";
constexpr char charge_label[] = "Charge State";

// What a scan leaves for the streams behind the data stream.
struct Meta {
    int64_t packet_offset;
    int32_t data_size;
    double start_time, low_mass, high_mass;
    uint32_t aux_00;
    uint64_t aux_80;
    uint32_t v64_word0;
    bool survey;
    int8_t ms_level;
    uint8_t analyzer;
    double precursor_mz;
    int32_t event_width;  // resolved; 0 writes no record
    bool event_gap;
    float injection_time;
    int16_t charge_state;
};

// Bytes on their way out. With a file, full chunks are written as they
// fill, so a large run never sits in memory whole.
struct Out {
    std::vector<uint8_t> buf;
    std::FILE* fp = nullptr;
    int64_t base = 0;  // bytes already written to fp
    bool ok = true;
};

constexpr size_t chunk_size = size_t{64} << 20;

// Where a field table puts the two values in its records.
struct TableShape {
    int32_t width = 0;
    int32_t time_at = -1, time_size = 0;      // 4 float32, 8 float64
    int32_t charge_at = -1, charge_size = 0;  // 1, 2 or 4 bytes
};

struct Plan {
    Layout lay;
    std::vector<Meta> metas;
    std::vector<uint8_t> table;  // field table bytes, empty when none
    std::optional<TableShape> shape;  // records by the table
};

bool family_62(int32_t version) { return version == 62 || version == 63; }

void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void put64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void put_i32(uint8_t* p, int32_t v) { put32(p, static_cast<uint32_t>(v)); }

void put_f32(uint8_t* p, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    put32(p, bits);
}

void put_f64(uint8_t* p, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    put64(p, bits);
}

// Signed 32-bit arithmetic that wraps, as the converter's triage does it.
int32_t wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

int64_t out_pos(const Out& o) { return o.base + static_cast<int64_t>(o.buf.size()); }

void flush(Out& o) {
    if (o.fp == nullptr || o.buf.empty()) return;
    if (std::fwrite(o.buf.data(), 1, o.buf.size(), o.fp) != o.buf.size()) o.ok = false;
    o.base += static_cast<int64_t>(o.buf.size());
    o.buf.clear();
}

void append(Out& o, const uint8_t* p, size_t n) {
    o.buf.insert(o.buf.end(), p, p + n);
    if (o.buf.size() >= chunk_size) flush(o);
}

void append_zeros(Out& o, int64_t n) {
    if (n > 0) o.buf.resize(o.buf.size() + static_cast<size_t>(n), 0);
    if (o.buf.size() >= chunk_size) flush(o);
}

// The converter's triage: does it convert a packet of n peaks whose
// index entry says s bytes?
bool converts(int32_t version, int32_t n, int32_t s) {
    if (n != 0 && wrap32(int64_t{8} * n) == wrap32(int64_t{s} - 44)) return true;
    if (version == 64) return true;
    int32_t m = wrap32(int64_t{16} * n);
    return m < wrap32(int64_t{s} - 139) && m >= wrap32(int64_t{s} - 200);
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

int32_t entry_size(int32_t version) {
    if (family_62(version)) return entry_size_62;
    return version == 64 ? entry_size_64 : entry_size_66;
}

int32_t trailer_size(const File& f) {
    if (f.version == 62) return trailer_62;
    if (f.version == 63) return f.v63_trailer_wide ? trailer_63_wide : trailer_63_narrow;
    return trailer_64;
}

// Bytes a field of this type takes in a trailer record.
int64_t field_bytes(const TrailerField& t) {
    if (t.type == 0) return 0;
    if (t.type <= 5) return 1;
    if (t.type <= 7) return 2;
    if (t.type <= 10) return 4;
    if (t.type == 11) return 8;
    return (t.type == 12 ? 1 : 2) * int64_t{t.length};
}

bool begins(const std::string& label, const char* prefix) { return label.rfind(prefix, 0) == 0; }

// The first time and charge fields get the scan's values whatever their
// type, when their size can hold one: the converter must read only the
// types it knows.
TableShape shape_of(const std::vector<TrailerField>& fields) {
    TableShape t;
    int64_t at = 0;
    bool time_seen = false, charge_seen = false;
    for (const TrailerField& f : fields) {
        int64_t size = field_bytes(f);
        if (!time_seen && begins(f.label, time_label)) {
            time_seen = true;
            if (size == 4 || size == 8) {
                t.time_at = static_cast<int32_t>(at);
                t.time_size = static_cast<int32_t>(size);
            }
        }
        if (!charge_seen && begins(f.label, charge_label)) {
            charge_seen = true;
            if (size == 1 || size == 2 || size == 4) {
                t.charge_at = static_cast<int32_t>(at);
                t.charge_size = static_cast<int32_t>(size);
            }
        }
        at += size;
    }
    t.width = static_cast<int32_t>(at);
    return t;
}

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

// Writes the header area: bytes 0 up to data_start.
void begin(Out& o, const File& f, Plan& plan) {
    plan.lay.data_start = header_area_size + f.data_start_pad;
    append_zeros(o, plan.lay.data_start);
}

// Appends one scan's packet to the data stream and keeps what the later
// streams need.
void add_scan(Out& o, const File& f, Plan& plan, const Scan& s) {
    int32_t here = static_cast<int32_t>(out_pos(o));
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
    m.survey = s.survey;
    m.ms_level = s.ms_level.value_or(s.survey ? 1 : 2);
    m.analyzer = s.analyzer;
    m.precursor_mz = s.precursor_mz;
    m.event_width = s.event_width.value_or(
        self_described && m.data_size == written
            ? level_width(f, m.ms_level)
            : default_event_width(f, s, m.ms_level, n, m.data_size));
    m.event_gap = s.event_gap;
    m.injection_time = s.injection_time;
    m.charge_state = s.charge_state;
    plan.metas.push_back(m);
    // The converter adds the low 32 bits with wrap-around; so does the map.
    plan.lay.packet_pos.push_back(static_cast<int32_t>(
        static_cast<uint32_t>(plan.lay.data_start) +
        static_cast<uint32_t>(m.packet_offset)));
}

// Places the blocks, index and streams behind the data stream.
void place_streams(const File& f, Plan& plan, int32_t data_end) {
    Layout& lay = plan.lay;
    int32_t scans = static_cast<int32_t>(plan.metas.size());
    lay.data_end = data_end;
    lay.p = f.path == HeaderPath::p_zero ? 0 : data_end + block_size;
    lay.index_num = f.index_num.value_or(scans);
    lay.index_start = data_end + (lay.p != 0 ? 2 : 1) * block_size;
    if (f.trailer_table_raw) {
        plan.table = *f.trailer_table_raw;
    } else if (f.trailer_table) {
        plan.table = trailer_table_bytes(*f.trailer_table);
        plan.shape = shape_of(*f.trailer_table);
    }
    if (f.trailer_table_raw || f.trailer_table) {
        lay.trailer_table = lay.index_start;
        lay.index_start += static_cast<int32_t>(plan.table.size());
    }
    lay.pp_start = lay.index_start + scans * entry_size(f.version);

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
    lay.pr_start = pos;
    // Records by a table start at the stored pointer itself.
    int32_t adjust = family_62(f.version) ? trailer_adjust_62 : trailer_adjust_64;
    lay.pr_header = plan.shape ? pos : pos - adjust;
    lay.trailer_width = plan.shape ? plan.shape->width : trailer_size(f);
    if (plan.shape) {
        lay.trailer_time_at = plan.shape->time_at;
        lay.trailer_charge_at = plan.shape->charge_at;
    }
    for (int32_t k = 0; k < scans; k++) lay.trailer_pos.push_back(pos + k * lay.trailer_width);
    lay.filesize = pos + scans * lay.trailer_width;
}

void put_header_area(uint8_t* h, const File& f, Layout& lay) {
    put_i32(h + version_pos, f.version);
    const char* name = f.marker ? method_name : method_name_unmarked;
    int32_t at = method_name_pos;
    for (size_t i = 0; name[i] != 0; i++, at += 2) put16(h + at, static_cast<uint16_t>(name[i]));
    const uint8_t* term = family_62(f.version) ? terminator_62 : terminator_64;
    if (f.terminator) std::memcpy(h + at, term, 10);
    lay.anchor = at + 10;
    uint8_t* a = h + lay.anchor;
    if (family_62(f.version)) {
        put_i32(a + run_62_data_start, lay.data_start);
        put_i32(a + run_62_data_end, lay.data_end);
        put_i32(a + run_62_p, lay.p);
    } else {
        put_i32(a + run_64_data_start, lay.data_start);
        put_i32(a + run_64_data_end, lay.data_end);
        put_i32(a + run_64_p, lay.p);
    }
    // Stream offsets at absolute 7368/7372: the 62/63 place when P is 0.
    if (family_62(f.version) && f.streams_at_p && lay.p == 0) {
        put_i32(h + block_62_events, lay.pp_start);
        put_i32(h + block_62_trailers, lay.pr_header);
    }
}

// The data_end block, then the P block when there is one. Only the values
// the converter reads on the chosen path are written; the others stay 0.
void put_blocks(Out& o, const File& f, const Layout& lay) {
    std::vector<uint8_t> b(static_cast<size_t>((lay.p != 0 ? 2 : 1) * block_size), 0);
    uint8_t* d = b.data();
    uint8_t* p = lay.p != 0 ? d + block_size : nullptr;
    bool count_at_p = f.path == HeaderPath::p_nonzero;
    if (family_62(f.version)) {
        uint8_t* h = p != nullptr ? p : d;
        put_i32(h + block_62_count, count_at_p || p == nullptr ? lay.index_num : 0);
        put_i32(h + block_62_index, lay.index_start);
        uint8_t* s = f.streams_at_p ? p : d;  // p_zero: absolute, in the header area
        if (s != nullptr) {
            put_i32(s + block_62_events, lay.pp_start);
            put_i32(s + block_62_trailers, lay.pr_header);
        }
    } else {
        uint8_t* h = count_at_p ? p : d;
        if (count_at_p)
            put_i32(p + block_64_count_p, lay.index_num);
        else
            put_i32(d + block_64_count_d, lay.index_num);
        put_i32(h + block_64_index, lay.index_start);
        put_i32(h + block_64_events, lay.pp_start);
        put_i32(h + block_64_trailers, lay.pr_header);
    }
    append(o, b.data(), b.size());
}

void put_index(Out& o, const File& f, const Plan& plan) {
    size_t size = static_cast<size_t>(entry_size(f.version));
    uint8_t e[entry_size_66];
    for (const Meta& m : plan.metas) {
        std::memset(e, 0, sizeof e);
        put16(e + entry_scan_event, m.survey ? 0 : 1);
        put_i32(e + entry_data_size, m.data_size);
        put_f64(e + entry_start_time, m.start_time);
        put_f64(e + entry_low_mass, m.low_mass);
        put_f64(e + entry_high_mass, m.high_mass);
        put64(e + entry_packet_offset, static_cast<uint64_t>(m.packet_offset));
        if (family_62(f.version)) {
            put_i32(e, static_cast<int32_t>(m.packet_offset));
        } else if (f.version == 64) {
            put32(e, m.v64_word0);
        } else {
            put32(e + entry_aux_00, m.aux_00);
            put64(e + entry_aux_80, m.aux_80);
        }
        append(o, e, size);
    }
}

int32_t preamble_size(int32_t version) {
    if (version == 62) return 120;
    return family_62(version) || version == 64 ? 128 : 136;
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

// Records in a table's layout: filler, with the scan's time and charge in
// the first fields so labelled.
void put_table_trailers(Out& o, const TableShape& t, const Plan& plan) {
    std::vector<uint8_t> r(static_cast<size_t>(t.width));
    for (const Meta& m : plan.metas) {
        std::fill(r.begin(), r.end(), trailer_filler);
        if (t.time_size == 8) put_f64(&r[static_cast<size_t>(t.time_at)], m.injection_time);
        if (t.time_size == 4) put_f32(&r[static_cast<size_t>(t.time_at)], m.injection_time);
        if (t.charge_at >= 0) {
            uint32_t z = static_cast<uint32_t>(int32_t{m.charge_state});
            for (int32_t i = 0; i < t.charge_size; i++)
                r[static_cast<size_t>(t.charge_at + i)] = static_cast<uint8_t>(z >> (8 * i));
        }
        append(o, r.data(), r.size());
    }
}

void put_trailers(Out& o, const File& f, const Plan& plan) {
    if (plan.shape) {
        put_table_trailers(o, *plan.shape, plan);
        return;
    }
    int32_t size = trailer_size(f);
    bool wide_63 = f.version == 63 && f.v63_trailer_wide;
    int32_t at_time = wide_63 ? trailer_63_wide_injection : trailer_injection;
    int32_t at_charge = wide_63 ? trailer_63_wide_charge : trailer_charge;
    bool has_charge = f.version != 63 || f.v63_trailer_wide;
    std::vector<uint8_t> t(static_cast<size_t>(size));
    for (const Meta& m : plan.metas) {
        std::fill(t.begin(), t.end(), 0);
        put_f32(&t[static_cast<size_t>(at_time)], m.injection_time);
        if (has_charge) put16(&t[static_cast<size_t>(at_charge)], static_cast<uint16_t>(m.charge_state));
        append(o, t.data(), t.size());
    }
}

// Writes everything behind the data stream and fills in the header area.
void finish(Out& o, const File& f, Plan& plan) {
    place_streams(f, plan, static_cast<int32_t>(out_pos(o)));
    const Layout& lay = plan.lay;
    put_blocks(o, f, lay);
    append(o, plan.table.data(), plan.table.size());
    put_index(o, f, plan);
    put_events(o, f, plan);
    append_zeros(o, lay.pr_start - out_pos(o));
    put_trailers(o, f, plan);

    std::vector<uint8_t> head(static_cast<size_t>(lay.data_start), 0);
    put_header_area(head.data(), f, plan.lay);
    if (o.fp == nullptr) {
        std::memcpy(o.buf.data(), head.data(), head.size());
        return;
    }
    flush(o);
    if (std::fseek(o.fp, 0, SEEK_SET) != 0 ||
        std::fwrite(head.data(), 1, head.size(), o.fp) != head.size())
        o.ok = false;
}

// A small generator of our own, so that a seed gives the same file on
// every platform.
struct Rng {
    uint32_t s;
};

uint32_t next(Rng& r) {
    r.s ^= r.s << 13;
    r.s ^= r.s >> 17;
    r.s ^= r.s << 5;
    return r.s;
}

uint32_t below(Rng& r, uint32_t n) { return n == 0 ? 0 : next(r) % n; }

Rng seeded(uint32_t seed) {
    Rng r{seed ^ 0x9E3779B9u};
    if (r.s == 0) r.s = 1;
    for (int i = 0; i < 8; i++) next(r);
    return r;
}

struct RunShape {
    int32_t survey_peaks, frags, frag_peaks;
};

// m/z from units of 0.0001.
float mz_of(int64_t units) { return static_cast<float>(static_cast<double>(units) / 10000.0); }

// Intensity spread over several decades: 10^e x (1.000 .. 9.999).
float intensity(Rng& r, int32_t lowest_decade) {
    double v = 1.0 + static_cast<double>(below(r, 9000)) / 1000.0;
    for (uint32_t e = below(r, 5) + static_cast<uint32_t>(lowest_decade); e > 0; e--) v *= 10.0;
    return static_cast<float>(v);
}

// n ascending peaks spread over [lo, hi) m/z units.
void spread_peaks(Rng& r, std::vector<Peak>& peaks, int32_t n, int64_t lo, int64_t hi) {
    int64_t step = n > 0 ? (hi - lo) / n : 0;
    if (step < 1) step = 1;
    for (int32_t i = 0; i < n; i++) {
        Peak p;
        int64_t jitter = below(r, static_cast<uint32_t>(step * 9 / 10 + 1));
        p.mz = mz_of(lo + i * step + jitter);
        peaks.push_back(p);
    }
}

Scan survey_scan(Rng& r, const RunShape& shape, double t) {
    Scan s;
    s.survey = true;
    s.analyzer = 4;
    s.extras = true;
    s.start_time = t;
    s.low_mass = 300;
    s.high_mass = 2000;
    s.injection_time = static_cast<float>(50 + below(r, 950)) / 100.0f;
    spread_peaks(r, s.peaks, shape.survey_peaks, 3000000, 20000000);
    static const int16_t charge_codes[4] = {0, 0, 2 * 256, 3 * 256};
    for (Peak& p : s.peaks) {
        p.intensity = intensity(r, 3);
        p.charge_code = charge_codes[below(r, 4)];
        p.value = static_cast<float>(below(r, 8000000)) / 100.0f;
    }
    return s;
}

Scan frag_scan(Rng& r, const RunShape& shape, const Scan& survey, double t) {
    Scan s;
    s.survey = false;
    s.analyzer = 0;
    s.start_time = t;
    s.charge_state = static_cast<int16_t>(2 + below(r, 2));
    s.injection_time = static_cast<float>(1000 + below(r, 9000)) / 100.0f;
    if (survey.peaks.empty())
        s.precursor_mz = static_cast<double>(mz_of(4000000 + below(r, 10000000)));
    else
        s.precursor_mz = static_cast<double>(survey.peaks[below(r, static_cast<uint32_t>(survey.peaks.size()))].mz);
    // Sometimes off by a few 1/1024 (within every version's tolerance);
    // such offsets keep the double's low bytes zero.
    if (below(r, 4) == 0) s.precursor_mz += (static_cast<int32_t>(below(r, 21)) - 10) / 1024.0;
    s.low_mass = std::floor(s.precursor_mz * 0.27);
    s.high_mass = std::fmin(2000.0, std::floor(s.precursor_mz * s.charge_state) + 20.0);
    int64_t hi = static_cast<int64_t>(s.high_mass) * 10000;
    spread_peaks(r, s.peaks, shape.frag_peaks, 1000000, hi > 1100000 ? hi : 1100000);
    for (Peak& p : s.peaks) p.intensity = intensity(r, 1);
    return s;
}

// One cycle: a survey scan and its fragmentation scans. t moves on.
void realistic_cycle(Rng& r, const RunShape& shape, double& t, std::vector<Scan>& out) {
    out.clear();
    out.push_back(survey_scan(r, shape, t));
    for (int32_t k = 0; k < shape.frags; k++) {
        t += static_cast<double>(20 + below(r, 80)) / 10000.0;
        out.push_back(frag_scan(r, shape, out.front(), t));
    }
    t += static_cast<double>(20 + below(r, 80)) / 10000.0;
}

}  // namespace

std::vector<uint8_t> build(const File& f, Layout* layout) {
    Out o;
    Plan plan;
    begin(o, f, plan);
    for (const Scan& s : f.scans) add_scan(o, f, plan, s);
    finish(o, f, plan);
    plan.lay.filesize = static_cast<int32_t>(o.buf.size());
    if (f.truncate_at && *f.truncate_at >= 0 && *f.truncate_at < plan.lay.filesize) {
        o.buf.resize(static_cast<size_t>(*f.truncate_at));
        plan.lay.filesize = *f.truncate_at;
    }
    if (layout != nullptr) *layout = plan.lay;
    return std::move(o.buf);
}

std::vector<TrailerField> realistic_trailer_table(uint32_t time_type, uint32_t charge_type) {
    return {{8, 0, "Scan Segment:"},
            {8, 0, "Scan Event:"},
            {3, 0, "Multiple Injection:"},
            {time_type, 0, "Ion Injection Time (ms):"},
            {11, 0, "Elapsed Scan Time (sec):"},
            {charge_type, 0, "Charge State:"},
            {11, 0, "Monoisotopic M/Z:"},
            {13, 20, "Scan Description:"},
            {10, 0, "AGC Target:"}};
}

std::vector<uint8_t> trailer_table_bytes(const std::vector<TrailerField>& fields) {
    std::vector<uint8_t> b(4);
    put32(b.data(), static_cast<uint32_t>(fields.size()));
    for (const TrailerField& t : fields) {
        size_t at = b.size();
        b.resize(at + 12 + 2 * t.label.size());
        put32(&b[at], t.type);
        put32(&b[at + 4], t.length);
        put32(&b[at + 8], static_cast<uint32_t>(t.label.size()));
        for (size_t i = 0; i < t.label.size(); i++)
            put16(&b[at + 12 + 2 * i], static_cast<uint8_t>(t.label[i]));
    }
    return b;
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* fp = std::fopen(path.c_str(), "wb");
    if (fp == nullptr) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), fp) == bytes.size();
    return std::fclose(fp) == 0 && ok;
}

// Hands every scan of a realistic run, in order, to take.
template <typename Take>
void realistic_scans(int32_t cycles, int32_t survey_peaks, int32_t frags_per_cycle,
                     int32_t frag_peaks, uint32_t seed, Take take) {
    Rng r = seeded(seed);
    RunShape shape{survey_peaks, frags_per_cycle, frag_peaks};
    double t = 0.05;
    std::vector<Scan> cycle;
    for (int32_t c = 0; c < cycles; c++) {
        realistic_cycle(r, shape, t, cycle);
        for (Scan& s : cycle) take(s);
    }
}

File realistic_run(int32_t version, int32_t cycles, int32_t survey_peaks,
                   int32_t frags_per_cycle, int32_t frag_peaks, uint32_t seed) {
    File f;
    f.version = version;
    realistic_scans(cycles, survey_peaks, frags_per_cycle, frag_peaks, seed,
                    [&](Scan& s) { f.scans.push_back(std::move(s)); });
    return f;
}

bool write_realistic_run(const std::string& path, int32_t version, int32_t cycles,
                         int32_t survey_peaks, int32_t frags_per_cycle,
                         int32_t frag_peaks, uint32_t seed, Layout* layout) {
    File f;  // the knobs realistic_run leaves at their defaults
    f.version = version;
    Out o;
    o.fp = std::fopen(path.c_str(), "wb");
    if (o.fp == nullptr) return false;
    Plan plan;
    begin(o, f, plan);
    realistic_scans(cycles, survey_peaks, frags_per_cycle, frag_peaks, seed,
                    [&](Scan& s) { add_scan(o, f, plan, s); });
    finish(o, f, plan);
    bool ok = o.ok && std::fclose(o.fp) == 0;
    if (layout != nullptr) *layout = plan.lay;
    return ok;
}

int64_t realistic_cycle_bytes(int32_t version, int32_t survey_peaks,
                              int32_t frags_per_cycle, int32_t frag_peaks) {
    File f;
    f.version = version;
    int64_t survey = packet_header_size + int64_t{16} * survey_peaks + 4 + trailing_with_extras +
                     level_width(f, 1);
    int64_t frag = packet_header_size + int64_t{8} * frag_peaks + level_width(f, 2);
    int64_t per_scan = entry_size(version) + trailer_size(f);
    return survey + frags_per_cycle * frag + (1 + frags_per_cycle) * per_scan;
}

int64_t fixed_bytes() { return header_area_size + 2 * block_size; }

}  // namespace fixture
