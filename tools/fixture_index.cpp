// fixture_index.cpp -- the scan index: one 72-, 80- or 88-byte entry a scan.
#include <cstring>

#include "fixture_internal.h"

namespace fixture::detail {
namespace {

// Scan index entry (the 88-byte form; shorter forms are prefixes of it).
constexpr int32_t entry_aux_00 = 0;
constexpr int32_t entry_scan_event = 8;
constexpr int32_t entry_start_time = 24;
constexpr int32_t entry_low_mass = 56;
constexpr int32_t entry_high_mass = 64;
constexpr int32_t entry_aux_80 = 80;
constexpr int32_t entry_size_62 = 72;
constexpr int32_t entry_size_64 = 80;
constexpr int32_t entry_size_66 = 88;

}  // namespace

int32_t entry_size(int32_t version) {
    if (family_62(version)) return entry_size_62;
    return version == 64 ? entry_size_64 : entry_size_66;
}

void put_index(Out& o, const File& f, const Plan& plan) {
    size_t size = static_cast<size_t>(entry_size(f.version));
    uint8_t e[entry_size_66];
    for (const Meta& m : plan.metas) {
        std::memset(e, 0, sizeof e);
        put16(e + entry_scan_event, m.scan_event);
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

}  // namespace fixture::detail
