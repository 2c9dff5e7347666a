// fixture_internal.h -- what the fixture writer's parts share: the output
// buffer, the plan of a file, little-endian put helpers.
//
// build() writes a file front to back: fixture.cpp holds the order, each
// fixture_<part>.cpp one layout (header, index, packet, events, trailer),
// fixture_run.cpp the realistic runs.
#pragma once

#include <cstdio>
#include <cstring>

#include "fixture.h"

namespace fixture::detail {

// The header area ends past absolute 7368/7372, where versions 62/63 look
// for the stream offsets when P is 0 and the data_end block holds zeros.
constexpr int32_t header_area_size = 8192;
constexpr int32_t block_size = 7680;  // a header block reaches H+7480
// Where versions 64/66 keep their 64-bit positions: from the anchor in
// the run header, from the block start in a header block. Written by the
// header writer, moved by the twin step.
constexpr int32_t run_64_data_start = 826;
constexpr int32_t run_64_data_end = 842;
constexpr int32_t run_64_p = 858;
constexpr int32_t block_64_index = 7408;
constexpr int32_t block_64_data_start = 7416;  // the data-stream base
constexpr int32_t block_64_events = 7448;
constexpr int32_t block_64_trailers = 7456;
constexpr int32_t block_64_self = 7472;        // the block's own position

// Index entry fields that the twin step rewrites as well.
constexpr int32_t entry_data_size = 20;
constexpr int32_t entry_packet_offset = 72;

// A self-described packet: eight words and the range's low and high m/z
// (described_head_size bytes), the profile part's size in word 1.
constexpr int32_t described_head_size = 40;
constexpr int32_t described_profile_word = 4;
// The header's trailer pointer lies this far before the first record.
constexpr int32_t trailer_adjust_62 = 3;
constexpr int32_t trailer_adjust_64 = 24;
constexpr int32_t packet_header_size = 44;
constexpr int32_t trailing_with_extras = 100;  // inside the 92..152 window
                                               // that converts such a packet

// What a scan leaves for the streams behind the data stream.
struct Meta {
    int64_t packet_offset;
    int32_t data_size;
    double start_time, low_mass, high_mass;
    uint32_t aux_00;
    uint64_t aux_80;
    uint32_t v64_word0;
    uint16_t scan_event;  // the index word
    bool survey;
    int8_t ms_level;
    uint8_t analyzer;
    double precursor_mz;
    int32_t event_width;  // resolved; 0 writes no record
    bool event_gap;
    std::array<uint8_t, 4> signature;
    // Counted records: the data, and the count words as written.
    std::vector<double> reactions;
    std::vector<std::pair<double, double>> ranges;
    uint32_t params, tail;
    uint32_t reaction_word, range_word;
    float injection_time;
    int16_t charge_state;
    std::optional<double> mono_mz;
};

// Bytes on their way out. With a file, full chunks are written as they
// fill, so a large run never sits in memory whole.
struct Out {
    std::vector<uint8_t> buf;
    std::FILE* fp = nullptr;
    int64_t base = 0;  // bytes already written to fp
    bool ok = true;    // false: a write failed or the file was refused;
                       // nothing more goes to fp
};

constexpr size_t chunk_size = size_t{64} << 20;

// Where a field table puts a value in its records (at -1: nowhere), and
// how: a float of 4 or 8 bytes, or an integer of 1, 2 or 4.
struct Slot {
    int32_t at = -1, size = 0;
    bool real = false;
};

struct TableShape {
    int32_t width = 0;
    Slot time, charge, mono;
};

struct Plan {
    Layout lay;
    std::vector<Meta> metas;
    std::vector<uint8_t> table;  // field table bytes, empty when none
    std::optional<TableShape> shape;  // records by the table
};

inline bool family_62(int32_t version) { return version == 62 || version == 63; }

inline void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void put64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; i++) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

inline void put_i32(uint8_t* p, int32_t v) { put32(p, static_cast<uint32_t>(v)); }

inline void put_i64(uint8_t* p, int64_t v) { put64(p, static_cast<uint64_t>(v)); }

inline void put_f32(uint8_t* p, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    put32(p, bits);
}

inline void put_f64(uint8_t* p, double v) {
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    put64(p, bits);
}

// Signed 32-bit arithmetic that wraps, as the converter's triage does it.
inline int32_t wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

// The largest position versions 62 and 63 can store.
constexpr int64_t max_position_62 = INT32_MAX;

// fixture.cpp: the output buffer and the file's order.
int64_t out_pos(const Out& o);
void flush(Out& o);
void append(Out& o, const uint8_t* p, size_t n);
void append_zeros(Out& o, int64_t n);
void begin(Out& o, const File& f, Plan& plan);
void finish(Out& o, const File& f, Plan& plan);
void settle_packet_pos(const File& f, Layout& lay);

// fixture_header.cpp: header area, run header, header blocks.
void put_header_area(uint8_t* h, const File& f, Layout& lay);
void put_blocks(Out& o, const File& f, const Layout& lay);

// fixture_index.cpp: the scan index.
int32_t entry_size(int32_t version);
void put_index(Out& o, const File& f, const Plan& plan);

// fixture_packet.cpp: the peak packets of the data stream.
bool converts(int32_t version, int32_t n, int32_t s);
void add_scan(Out& o, const File& f, Plan& plan, const Scan& s);

// fixture_events.cpp: the scan-event stream.
void event_meta(const File& f, const Scan& s, Meta& m);
int32_t level_width(const File& f, int8_t level);
int32_t default_event_width(const File& f, const Scan& s, int8_t level, int32_t n,
                            int32_t size);
int64_t place_events(const File& f, Plan& plan);
int64_t event_bytes(const File& f, int8_t level);
void put_events(Out& o, const File& f, const Plan& plan);

// fixture_trailer.cpp: the trailer field table and the trailer stream.
int32_t trailer_size(const File& f);
void plan_table(const File& f, Plan& plan);
void place_trailers(const File& f, Plan& plan, int64_t pos);
int32_t trailer_bytes(const File& f);
void put_trailers(Out& o, const File& f, const Plan& plan);

}  // namespace fixture::detail
