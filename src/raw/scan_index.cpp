// scan_index.cpp -- load the scan index of every version into one table of
// 88-byte entries.
//
// Versions 62/63 store 72-byte records (a 32-bit packet offset in front),
// version 64 80-byte records (a word the converter does not use in front),
// version 66 the 88-byte entries themselves.
#include "raw/raw.h"

// The table holds at least this many entries, and more when the file holds
// more whole records: a count beyond both is clamped, so a damaged count
// can neither overrun the table nor make it huge.
static const int32_t index_min_capacity = 99999;

static int32_t index_capacity(const Input& in, const Nav& nav, int32_t width)
{
    int64_t whole = 0;
    if (nav.index_start >= 0 && nav.index_start < in.size)
        whole = (in.size - nav.index_start) / width;
    if (whole > INT32_MAX)  // a count is 32-bit, however large the file
        whole = INT32_MAX;
    return whole > index_min_capacity ? static_cast<int32_t>(whole)
                                      : index_min_capacity;
}

/*
 * Reads count records of width bytes from index_start into index. Each
 * record is copied from byte skip on into the same bytes of its entry;
 * what lies past the end of the file stays zero. Returns the count.
 */
static int32_t load_records(Input& in, const Nav& nav,
                            std::vector<IndexEntry>& index, int32_t width,
                            int32_t skip)
{
    if (nav.index_num <= 0) {
        index.clear();
        return nav.index_num;
    }
    int32_t count = nav.index_num;
    int32_t cap = index_capacity(in, nav, width);
    if (count > cap)
        count = cap;
    index.assign(static_cast<size_t>(count), IndexEntry{});
    uint8_t rec[index_record_66];
    for (int32_t k = 0; k < count; k++) {
        std::memset(rec, 0, sizeof rec);
        read_at(in, nav.index_start + int64_t{k} * width, rec, width);
        std::memcpy(reinterpret_cast<uint8_t*>(&index[static_cast<size_t>(k)]) +
                        skip,
                    rec + skip, static_cast<size_t>(width - skip));
        if (width == index_record_62) {
            // The 32-bit packet offset, sign-extended.
            index[static_cast<size_t>(k)].packet_offset = get32le(rec);
        }
    }
    return count;
}

int32_t gen_index_table(Input& in, const Nav& nav,
                        std::vector<IndexEntry>& index)
{
    return load_records(in, nav, index, index_record_62, 4);
}

int32_t gen_index_table3(Input& in, const Nav& nav,
                         std::vector<IndexEntry>& index)
{
    return load_records(in, nav, index, index_record_64, 4);
}

int32_t gen_index_table2(Input& in, const Nav& nav,
                         std::vector<IndexEntry>& index)
{
    return load_records(in, nav, index, index_record_66, 0);
}
