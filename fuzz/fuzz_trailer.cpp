// fuzz_trailer.cpp -- the trailer stream as the converter reads it, from
// the run header's values (TrailerWords): the search for the field table
// in front of the scan index, then record after record from the stored
// trailer pointer (or the version's fixed layout when there is no table).
//
// Properties: the search reads nothing outside its window (and nothing at
// all when the header rules a table out); a table found parses again here
// to the same layout, its width the sum of its field sizes; its records
// fit in the file.
#include <algorithm>

#include "harness.h"
#include "raw/raw.h"

namespace {

// Records read per input.
const int32_t records_read = 4096;
const int64_t table_window = 8 << 20;

int64_t field_bytes(uint32_t type, uint32_t length)
{
    static const int8_t by_type[12] = {0, 1, 1, 1, 1, 1, 2, 2, 4, 4, 4, 8};
    if (type < 12)
        return by_type[type];
    return type == 12 ? int64_t{length} : int64_t{2} * length;
}

bool label_is(const uint8_t* p, uint32_t chars, const char* prefix)
{
    uint32_t n = static_cast<uint32_t>(std::strlen(prefix));
    if (chars < n)
        return false;
    for (uint32_t i = 0; i < n; i++)
        if (p[2 * i] != static_cast<uint8_t>(prefix[i]) || p[2 * i + 1] != 0)
            return false;
    return true;
}

uint32_t get_u32(const uint8_t* p)
{
    return static_cast<uint32_t>(get32le(p));
}

// Parses the table at c that must end by end, as the file format
// describes it; false when it is no table.
bool parse_again(const uint8_t* data, int64_t c, int64_t end, TrailerLayout& t)
{
    if (c < 0 || c + 4 > end)
        return false;
    uint32_t count = get_u32(data + c);
    if (count < 1 || count > 1024)
        return false;
    t = TrailerLayout{true, 0, -1, 0, -1, 0};
    bool time_seen = false, charge_seen = false;
    int64_t pos = c + 4, width = 0;
    for (uint32_t f = 0; f < count; f++) {
        if (pos + 12 > end)
            return false;
        uint32_t type = get_u32(data + pos), length = get_u32(data + pos + 4);
        uint32_t chars = get_u32(data + pos + 8);
        pos += 12;
        if (type > 13 || chars > 256 || ((type == 12 || type == 13) && length > 65535) ||
            pos + 2 * int64_t{chars} > end)
            return false;
        if (!time_seen && label_is(data + pos, chars, "Ion Injection Time")) {
            time_seen = true;
            if (type == 10 || type == 11) {
                t.time_at = static_cast<int32_t>(width);
                t.time_type = type;
            }
        }
        if (!charge_seen && label_is(data + pos, chars, "Charge State")) {
            charge_seen = true;
            if (type == 1 || (type >= 5 && type <= 9)) {
                t.charge_at = static_cast<int32_t>(width);
                t.charge_type = type;
            }
        }
        pos += 2 * int64_t{chars};
        width += field_bytes(type, length);
    }
    if (!(time_seen || charge_seen) || width < 1 || width > INT32_MAX)
        return false;
    t.width = static_cast<int32_t>(width);
    return true;
}

}  // namespace

int fuzz_trailer(const uint8_t* data, size_t size)
{
    TrailerWords w;
    if (!read_words(data, size, w))
        return 0;
    if (w.version < 62 || w.version > 66 || w.version == 65)
        return 0;
    Nav nav;
    nav.version = w.version;
    nav.filesize = static_cast<FilePos>(size);
    nav.data_end = w.data_end;
    nav.index_start = w.index_start;
    nav.index_num = w.index_num;
    nav.pr_header = w.pr_header;
    // As the run header is read: the trailer cursor, and for 62/63 the
    // average record width.
    bool family_62 = w.version == 62 || w.version == 63;
    nav.pr_start = family_62 ? w.pr_header : add32(w.pr_header, 24);
    if (family_62 && nav.index_num != 0)
        nav.pr_w = div32(sub32(static_cast<int32_t>(size), w.pr_header), nav.index_num);

    // The window searched: from data_end (at most 8 MiB) up to the index.
    int64_t lo = 0, hi = 0;
    int64_t end = w.index_start;
    if (w.data_end >= 0 && w.data_end < end && end <= int64_t(size) &&
        w.pr_header >= 0 && w.index_num > 0) {
        lo = std::max<int64_t>(w.data_end, end - table_window);
        hi = end;
    }
    Fence fence(data, size);
    Input in = fence.only(lo, hi);
    int64_t c = find_trailer_table(in, nav, nav.trailer);
    in = fence.all();

    if (c >= 0) {
        TrailerLayout t;
        FUZZ_CHECK(c >= lo && parse_again(data, c, hi, t));
        FUZZ_CHECK(t.width == nav.trailer.width && t.time_at == nav.trailer.time_at &&
                   t.charge_at == nav.trailer.charge_at);
        FUZZ_CHECK(t.time_at < 0 || t.time_type == nav.trailer.time_type);
        FUZZ_CHECK(t.charge_at < 0 || t.charge_type == nav.trailer.charge_type);
        FUZZ_CHECK(int64_t{w.pr_header} + int64_t{t.width} * w.index_num <=
                   int64_t(size));
        nav.pr_start = nav.pr_header;
    } else {
        FUZZ_CHECK(!nav.trailer.by_table);
        if (family_62)
            nav.pr_start = pos_add(false, nav.pr_start, 3);
    }
    ScanContext ctx;
    for (int32_t k = 0; k < std::min(nav.index_num, records_read); k++)
        read_trailer(in, nav, ctx);
    return 0;
}

FUZZ_ENTRY(fuzz_trailer)
