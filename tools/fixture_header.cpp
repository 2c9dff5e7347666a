// fixture_header.cpp -- the header area, the run header and the header blocks.
#include <cstring>

#include "fixture_internal.h"

namespace fixture::detail {
namespace {

// Header area: the version word and the method file name.
constexpr int32_t version_pos = 36;
constexpr int32_t method_name_pos = 64;
constexpr char method_name[] = "C:\\Data\\dda_top10.meth";
constexpr char method_name_unmarked[] = "C:\\Data\\dda_top10.mxth";
constexpr uint8_t terminator_62[10] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                       0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr uint8_t terminator_64[10] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                       0xFF, 0xFF, 0xFF, 0x01, 0x00};

// Run header, offsets from the anchor (64/66: fixture_internal.h).
constexpr int32_t run_62_data_start = 42;
constexpr int32_t run_62_data_end = 62;
constexpr int32_t run_62_p = 74;

// Header blocks, offsets from the block start (block_size long; the
// 64/66 positions in fixture_internal.h).
constexpr int32_t block_62_count = 12;
constexpr int32_t block_62_index = 28;
constexpr int32_t block_62_events = 7368;
constexpr int32_t block_62_trailers = 7372;
constexpr int32_t block_64_count_p = 12;
constexpr int32_t block_64_count_d = 7376;

// Versions 62/63 store positions in 32 bits (checked to fit before), 64/66
// in 64 bits, little-endian and signed.
void put_pos_62(uint8_t* at, int64_t v) { put_i32(at, static_cast<int32_t>(v)); }

}  // namespace

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
        put_pos_62(a + run_62_data_start, lay.data_start);
        put_pos_62(a + run_62_data_end, lay.data_end);
        put_pos_62(a + run_62_p, lay.p);
    } else {
        put_i64(a + run_64_data_start, lay.data_start);
        put_i64(a + run_64_data_end, lay.data_end);
        put_i64(a + run_64_p, lay.p);
    }
    // Stream offsets at absolute 7368/7372: the 62/63 place when P is 0.
    if (family_62(f.version) && f.streams_at_p && lay.p == 0) {
        put_pos_62(h + block_62_events, lay.pp_start);
        put_pos_62(h + block_62_trailers, lay.pr_header);
    }
}

// The data_end block, then the P block when there is one. Only the values
// the converter reads on the chosen path are written; the others stay 0,
// but for what every 64/66 block holds as instruments write it: the data
// stream's base and the block's own position.
void put_blocks(Out& o, const File& f, const Layout& lay) {
    std::vector<uint8_t> b(static_cast<size_t>((lay.p != 0 ? 2 : 1) * block_size), 0);
    uint8_t* d = b.data();
    uint8_t* p = lay.p != 0 ? d + block_size : nullptr;
    bool count_at_p = f.path == HeaderPath::p_nonzero;
    if (family_62(f.version)) {
        uint8_t* h = p != nullptr ? p : d;
        put_i32(h + block_62_count, count_at_p || p == nullptr ? lay.index_num : 0);
        put_pos_62(h + block_62_index, lay.index_start);
        uint8_t* s = f.streams_at_p ? p : d;  // p_zero: absolute, in the header area
        if (s != nullptr) {
            put_pos_62(s + block_62_events, lay.pp_start);
            put_pos_62(s + block_62_trailers, lay.pr_header);
        }
    } else {
        uint8_t* h = count_at_p ? p : d;
        if (count_at_p)
            put_i32(p + block_64_count_p, lay.index_num);
        else
            put_i32(d + block_64_count_d, lay.index_num);
        put_i64(h + block_64_index, lay.index_start);
        put_i64(h + block_64_events, lay.pp_start);
        put_i64(h + block_64_trailers, lay.pr_header);
        put_i64(d + block_64_data_start, lay.data_start);
        put_i64(d + block_64_self, lay.data_end);
        if (p != nullptr) {
            put_i64(p + block_64_data_start, lay.data_start);
            put_i64(p + block_64_self, lay.p);
        }
    }
    append(o, b.data(), b.size());
}

}  // namespace fixture::detail
