// format.h -- record layouts of the raw file and the helpers that read them.
//
// Every structure below is a byte image of what the file holds; the
// comment of each field gives its byte offset. All values are
// little-endian, and so is every host kolvex builds on.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

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
    int64_t packet_offset;   // 72: from locator, low 32 bits used
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
