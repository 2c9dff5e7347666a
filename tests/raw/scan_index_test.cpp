// scan_index_test.cpp -- the three index loaders on hand-built records.
#include <gtest/gtest.h>

#include <algorithm>

#include "raw/bytes.h"

namespace {

using Loader = int32_t (*)(Input&, const Nav&, std::vector<IndexEntry>&);
const struct Form { const char* name; Loader load; int32_t width; } forms[] = {
    {"62/63", gen_index_table, 72}, {"64", gen_index_table3, 80}, {"66", gen_index_table2, 88}};

// Byte i of record k: never zero, so a byte that was not copied shows; a
// leading word of 72 bytes is negative and must be sign-extended.
uint8_t record_byte(int32_t k, int32_t i) { return static_cast<uint8_t>(0x80 | (k * 31 + i * 7)); }

// The entry record k becomes when the file holds its first `avail` bytes:
// 72-byte records give bytes 4-71 and their first word, sign-extended, as
// the packet offset; 80-byte records bytes 4-79; 88-byte records all.
Bytes entry_of(int32_t k, int32_t width, int32_t avail)
{
    Bytes e(sizeof(IndexEntry), 0), first(4, 0);
    for (int32_t i = 0; i < std::min(width, avail); i++)
        (i < 4 ? first : e)[size_t(i)] = record_byte(k, i);
    if (width == 88)
        std::copy(first.begin(), first.end(), e.begin());
    if (width == 72)
        put(e, 72, int64_t{get(first, 0)});
    return e;
}

TEST(ScanIndex, EveryFormBecomesTheSameEntry)
{
    const struct { const char* what; int32_t whole, tail, index_start, index_num, result; } cases[] = {
        // whole records in the file and the first tail bytes of one more
        {"count 3 loads exactly three", 5, 0, 16, 3, 3},
        {"count 0 reads nothing", 5, 0, 16, 0, 0},
        {"negative count reads nothing", 5, 0, 16, -5, -5},
        {"records past the end stay zero", 1, 10, 16, 3, 3},
        {"index past the end", 2, 0, 100000, 2, 2},
        {"negative index start", 2, 0, -100, 2, 2},
        {"count above 99,999 and the file: 99,999", 2, 0, 16, 200000, 99999},
        {"whole records beyond 99,999 raise it", 100005, 10, 16, INT32_MAX, 100005},
        {"a count below them is kept", 100005, 10, 16, 100003, 100003},
    };
    for (const Form& f : forms)
        for (const auto& c : cases) {
            Bytes file(16, 0xEE);
            for (int32_t k = 0; k <= c.whole; k++)
                for (int32_t i = 0; i < (k < c.whole ? f.width : c.tail); i++)
                    file.push_back(record_byte(k, i));
            Input in = input_of(file);
            Nav nav{.filesize = int32_t(file.size()), .index_num = c.index_num, .index_start = c.index_start};
            std::vector<IndexEntry> index;
            EXPECT_EQ(f.load(in, nav, index), c.result) << f.name << ": " << c.what;
            ASSERT_EQ(index.size(), size_t(std::max(c.result, 0))) << f.name << ": " << c.what;
            for (int32_t k = 0; k < c.result; k++) {
                int32_t avail = k < c.whole ? f.width : k == c.whole ? c.tail : 0;
                Bytes want = c.index_start == 16 ? entry_of(k, f.width, avail) : Bytes(88, 0);
                if (std::memcmp(&index[size_t(k)], want.data(), 88) != 0) {
                    ADD_FAILURE() << f.name << ": " << c.what << ", entry " << k;
                    break;
                }
            }
        }
}

}  // namespace
