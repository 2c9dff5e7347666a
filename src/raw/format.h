// format.h -- record layouts of the raw file and the helpers that read them.
//
// Every structure below is a byte image of what the file holds; the
// comment of each field gives its byte offset. All values are
// little-endian, and so is every host kolvex builds on.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <limits>

static_assert(std::endian::native == std::endian::little,
              "raw files are little-endian; kolvex reads them in place");

// One normalised scan-index entry (the 88-byte form of version 66).
struct IndexEntry {
    uint32_t aux_00;         //  0: v66 only, as stored
    int32_t aux_04;          //  4
    uint16_t scan_event;     //  8: 0 survey scan (MS1), else fragmentation
    uint16_t aux_10;         // 10
    int32_t aux_12;          // 12
    int32_t aux_16;          // 16
    int32_t data_size;       // 20: packet size in bytes
    double start_time;       // 24: RetTime
    double aux_32;           // 32
    double aux_40;           // 40
    double aux_48;           // 48
    double low_mass;         // 56: Filter line range
    double high_mass;        // 64
    int64_t packet_offset;   // 72: from locator; files read by 32-bit
                             //     positions use its low 32 bits
    uint64_t aux_80;         // 80: v66 only, as stored
};
static_assert(sizeof(IndexEntry) == 88);

constexpr int32_t index_record_62 = 72;  // versions 62, 63
constexpr int32_t index_record_64 = 80;
constexpr int32_t index_record_66 = 88;

// The 44-byte header in front of every peak packet.
struct PacketHeader {
    uint8_t opaque[40];      //  0: not interpreted
    int32_t peak_count;      // 40: n
};
static_assert(sizeof(PacketHeader) == 44);

struct PacketPeak {
    float mz;                // 0
    float intensity;         // 4
};
static_assert(sizeof(PacketPeak) == 8);

struct PeakLabel {
    uint16_t opaque;         // 0: not interpreted
    int16_t charge_code;     // 2: charge x 256
};
static_assert(sizeof(PeakLabel) == 4);

// The self-description at the start of a real instrument's packet: the
// size of each part in 32-bit words, then the m/z range of its one
// segment; the parts follow in this order from byte 40.
struct PacketParts {
    uint32_t ranges;          //  0: mass ranges (segments); 1 is read
    uint32_t profile_words;   //  4: P, the profile part
    uint32_t list_words;      //  8: L, the centroid list: count, peaks
    uint32_t flags;           // 12: packet_wide_mz set: 12-byte peaks
    uint32_t label_words;     // 16: D, one descriptor per peak (or 0)
    uint32_t value_words;     // 20: U, a leading word, one value a peak
    uint32_t triplet_words;   // 24: T, not read
    uint32_t extra_words;     // 28: X, not read
    float range_low;          // 32
    float range_high;         // 36
};
static_assert(sizeof(PacketParts) == 40);
constexpr uint32_t packet_wide_mz = 0x10000;  // float64 m/z, float32 intensity

// Trailer fields of a file that describes its trailer records with a
// field table. A field at_ of -1 is not read.
struct TrailerLayout {
    bool by_table;            // the layout below came from the file's table
    int32_t width;            // bytes per record
    int32_t time_at;          // ion injection time: offset in the record
    uint32_t time_type;       // 10 float32, 11 float64
    int32_t charge_at;        // charge state: offset in the record
    uint32_t charge_type;     // 1, 5, 6, 7, 8, 9: (u)int8/16/32
    int32_t mono_at = -1;     // monoisotopic m/z: offset in the record
    uint32_t mono_type = 0;   // 10 float32, 11 float64
};

// Leading block of a scan-event record; it starts 4 bytes into the record.
// Versions read 120 (62), 128 (63, 64) or 136 (66) bytes of it.
struct EventPreamble {
    uint8_t signature[4];    //   0: 01 00 02 01
    uint8_t pad_4[2];        //   4
    int8_t ms_level;         //   6: 1 survey, 2 fragmentation
    uint8_t pad_7[21];       //   7
    uint8_t end_mark[4];     //  28: FF FF FF FF
    uint8_t pad_32[8];       //  32
    uint8_t analyzer;        //  40: 0 ITMS, 4 FTMS
    uint8_t pad_41[95];      //  41
};
static_assert(sizeof(EventPreamble) == 136);

constexpr int32_t preamble_len_62 = 120;
constexpr int32_t preamble_len_63 = 128;  // and 64
constexpr int32_t preamble_len_66 = 136;
constexpr int32_t event_level_at = 6;      // preamble offsets
constexpr int32_t event_analyzer_at = 40;

// An event record read through its own counts: the preamble, then
//   u32 nr, nr reactions (each opens with its precursor m/z, float64),
//   u32 nm, nm mass ranges (low, high: float64),
//   u32 np, np float64 parameters,
//   u32 a, a float64 words, and in version 66 one more u32.
constexpr int64_t reaction_size_62 = 32;  // and 63, 64
constexpr int64_t reaction_size_66 = 56;

// A place in the input file, or a place plus a size or an offset. One type
// for all of them: files of 2 GiB or more need every bit, and with
// -Wconversion the compiler refuses to narrow one to 32 bits unnoticed.
using FilePos = int64_t;

// From this size on, versions 64 and 66 are read by the 64-bit positions
// they store (their low halves no longer lead anywhere); versions 62 and
// 63 store 32-bit positions only and are not read at all.
constexpr FilePos wide_file_size = FilePos{1} << 31;

inline bool wide_positions(int32_t version, FilePos filesize)
{
    return (version == 64 || version == 66) && filesize >= wide_file_size;
}

// Signed 32-bit arithmetic with the wrap-around the file format assumes,
// made explicit so that no expression has undefined behaviour.
inline int32_t add32(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) +
                                static_cast<uint32_t>(b));
}
inline int32_t sub32(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) -
                                static_cast<uint32_t>(b));
}
inline int32_t mul32(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(a) *
                                static_cast<uint32_t>(b));
}
// Division truncating toward zero; INT32_MIN / -1 wraps instead of trapping.
inline int32_t div32(int32_t a, int32_t b)
{
    return static_cast<int32_t>(static_cast<uint32_t>(
        static_cast<int64_t>(a) / static_cast<int64_t>(b)));
}

inline int32_t get32le(const uint8_t* p)
{
    int32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline int64_t get64le(const uint8_t* p)
{
    int64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

/*
 * pos + by as the reader takes it. Read by 32-bit positions (wide false):
 * the signed 32-bit sum of their low halves, wrapping around as the format
 * assumes. Read by 64-bit positions: the exact sum, or -1, a place that
 * reads nothing, where the sum would overflow.
 */
inline FilePos pos_add(bool wide, FilePos pos, int64_t by)
{
    if (!wide)
        return add32(static_cast<int32_t>(pos), static_cast<int32_t>(by));
    FilePos sum;
    return __builtin_add_overflow(pos, by, &sum) ? -1 : sum;
}

// A float64 the file stores where a float32 is printed: rounded to the
// nearest float32, beyond its range an infinity of its sign (a plain
// conversion would be undefined there).
inline float narrow_to_float(double v)
{
    const double max = std::numeric_limits<float>::max();
    if (v > max)
        return std::numeric_limits<float>::infinity();
    if (v < -max)
        return -std::numeric_limits<float>::infinity();
    return static_cast<float>(v);
}
