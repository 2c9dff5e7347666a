// fuzz_index.cpp -- the scan-index loader of the version (IndexWords), as
// the converter calls it with the run header's index_start and count.
//
// Properties: the count returned is the one the loader promises (the
// count as read, clamped to the table's capacity, itself the larger of
// 99,999 and the whole records in the file), and each entry holds its
// record's bytes, zero where the file ends.
#include <algorithm>

#include "harness.h"
#include "raw/raw.h"

// Entries compared with the file per input; the rest are only counted.
static const int64_t compared_entries = 4096;

int fuzz_index(const uint8_t* data, size_t size)
{
    IndexWords w;
    if (!read_words(data, size, w))
        return 0;
    int32_t width = w.version == 66 ? index_record_66
                    : w.version == 64 ? index_record_64
                    : w.version == 62 || w.version == 63 ? index_record_62
                                                         : 0;
    if (width == 0)
        return 0;
    Input in = borrow_input(data, size);
    Nav nav;
    nav.version = w.version;
    nav.filesize = static_cast<FilePos>(size);
    nav.index_start = w.index_start;
    nav.index_num = w.index_num;
    std::vector<IndexEntry> index;
    int32_t count = w.version == 66   ? gen_index_table2(in, nav, index)
                    : w.version == 64 ? gen_index_table3(in, nav, index)
                                      : gen_index_table(in, nav, index);

    if (w.index_num <= 0) {
        FUZZ_CHECK(count == w.index_num && index.empty());
        return 0;
    }
    int64_t whole = 0;
    if (w.index_start >= 0 && w.index_start < in.size)
        whole = (in.size - w.index_start) / width;
    int64_t capacity = std::max<int64_t>(99999, whole);
    FUZZ_CHECK(count == std::min<int64_t>(w.index_num, capacity));
    FUZZ_CHECK(index.size() == static_cast<size_t>(count));

    // Record bytes from 4 on (62/63/64) or 0 on (66) land at the same
    // place of the entry; 62/63 keep a 32-bit packet offset in front.
    int32_t skip = width == index_record_66 ? 0 : 4;
    for (int64_t k = 0; k < std::min<int64_t>(count, compared_entries); k++) {
        uint8_t rec[index_record_66] = {};
        int64_t at = int64_t{w.index_start} + k * width;
        if (at >= 0)  // a read at a negative place reads nothing
            for (int32_t b = 0; b < width && at + b < in.size; b++)
                rec[b] = data[at + b];
        IndexEntry expect{};
        std::memcpy(reinterpret_cast<uint8_t*>(&expect) + skip, rec + skip,
                    static_cast<size_t>(width - skip));
        if (width == index_record_62)
            expect.packet_offset = get32le(rec);
        FUZZ_CHECK(std::memcmp(&expect, &index[static_cast<size_t>(k)],
                               sizeof expect) == 0);
    }
    return 0;
}

FUZZ_ENTRY(fuzz_index)
