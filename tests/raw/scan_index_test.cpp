// scan_index_test.cpp -- the three index loaders on hand-built records.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "raw/raw.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Loader = int32_t (*)(Input&, const Nav&, std::vector<IndexEntry>&);

struct Form {
    const char* name;
    Loader load;
    int32_t width;  // record size in the file
};

const Form forms[] = {
    {"62/63", gen_index_table, 72},
    {"64", gen_index_table3, 80},
    {"66", gen_index_table2, 88},
};

// Record k of a file: no byte is zero, so a byte that was not copied shows.
Bytes record(int32_t k, int32_t width)
{
    Bytes r(static_cast<size_t>(width));
    for (int32_t i = 0; i < width; i++)
        r[static_cast<size_t>(i)] =
            static_cast<uint8_t>(1 + (k * 31 + i * 7) % 255);
    return r;
}

// The entry a record becomes, from what of it the file holds: 72-byte
// records give bytes 4-71 and their first word sign-extended into the
// packet offset; 80-byte records bytes 4-79; 88-byte records all 88.
Bytes entry_of(const Bytes& rec, int32_t width)
{
    Bytes e(sizeof(IndexEntry), 0);
    int32_t from = width == 88 ? 0 : 4;
    int32_t avail = static_cast<int32_t>(rec.size());
    for (int32_t i = from; i < std::min(width, avail); i++)
        e[static_cast<size_t>(i)] = rec[static_cast<size_t>(i)];
    if (width == 72) {
        int32_t word = 0;
        std::memcpy(&word, rec.data(), static_cast<size_t>(std::min(avail, 4)));
        int64_t offset = word;
        std::memcpy(&e[72], &offset, 8);
    }
    return e;
}

Bytes bytes_of(const IndexEntry& e)
{
    Bytes b(sizeof e);
    std::memcpy(b.data(), &e, sizeof e);
    return b;
}

// A file with 16 bytes in front of whole records, then a cut record of
// tail bytes.
Bytes index_file(int32_t width, int32_t whole, int32_t tail)
{
    Bytes b(16, 0xEE);
    for (int32_t k = 0; k < whole; k++) {
        Bytes r = record(k, width);
        b.insert(b.end(), r.begin(), r.end());
    }
    Bytes r = record(whole, width);
    b.insert(b.end(), r.begin(), r.begin() + tail);
    return b;
}

TEST(ScanIndex, EveryFormBecomesTheSameEntry)
{
    struct Case {
        const char* what;
        int32_t whole, tail;  // records in the file
        int32_t index_start, index_num;
        int32_t result;       // returned and loaded
        int32_t present;      // entries that hold file bytes
    };
    const std::vector<Case> cases = {
        {"count 3 loads exactly three", 5, 0, 16, 3, 3, 3},
        {"count 0 reads nothing", 5, 0, 16, 0, 0, 0},
        {"negative count reads nothing", 5, 0, 16, -5, -5, 0},
        {"records past the end stay zero", 1, 10, 16, 3, 3, 2},
        {"index past the end", 2, 0, 100000, 2, 2, 0},
        {"negative index start", 2, 0, -100, 2, 2, 0},
        {"count above capacity: 99,999", 2, 0, 16, 200000, 99999, 2},
    };
    for (const Form& f : forms) {
        for (const Case& c : cases) {
            Bytes file = index_file(f.width, c.whole, c.tail);
            Input in = borrow_input(file.data(), file.size());
            Nav nav;
            nav.filesize = static_cast<int32_t>(file.size());
            nav.index_start = c.index_start;
            nav.index_num = c.index_num;
            std::vector<IndexEntry> index;
            int32_t n = f.load(in, nav, index);
            EXPECT_EQ(n, c.result) << f.name << ": " << c.what;
            ASSERT_EQ(index.size(), static_cast<size_t>(std::max(c.result, 0)))
                << f.name << ": " << c.what;
            for (int32_t k = 0; k < n; k++) {
                // Whole records, then the cut one, then zeros.
                Bytes want(sizeof(IndexEntry), 0);
                if (k < c.present) {
                    Bytes rec = record(k, f.width);
                    if (k == c.whole)
                        rec.resize(static_cast<size_t>(c.tail));
                    want = entry_of(rec, f.width);
                }
                if (bytes_of(index[static_cast<size_t>(k)]) != want) {
                    ADD_FAILURE() << f.name << ": " << c.what << ", entry " << k;
                    break;
                }
            }
        }
    }
}

TEST(ScanIndex, WholeRecordsBeyond99999RaiseTheCapacity)
{
    struct Case {
        int32_t index_num;
        int32_t result;
    };
    const int32_t whole = 100005;
    const std::vector<Case> cases = {
        {INT32_MAX, whole},  // clamped to the whole records in the file
        {100010, whole},
        {100003, 100003},
    };
    for (const Form& f : forms) {
        Bytes file = index_file(f.width, whole, f.width / 2);
        Input in = borrow_input(file.data(), file.size());
        for (const Case& c : cases) {
            Nav nav;
            nav.filesize = static_cast<int32_t>(file.size());
            nav.index_start = 16;
            nav.index_num = c.index_num;
            std::vector<IndexEntry> index;
            EXPECT_EQ(f.load(in, nav, index), c.result) << f.name;
            ASSERT_EQ(index.size(), static_cast<size_t>(c.result)) << f.name;
            EXPECT_EQ(bytes_of(index.back()),
                      entry_of(record(c.result - 1, f.width), f.width))
                << f.name;
        }
    }
}

TEST(ScanIndex, PacketOffsetOf72ByteRecordsIsSignExtended)
{
    struct Case {
        Bytes first_word;
        int64_t packet_offset;
    };
    const std::vector<Case> cases = {
        {{0xFF, 0xFF, 0xFF, 0xFF}, -1},
        {{0x00, 0x00, 0x00, 0x80}, INT32_MIN},
        {{0xFF, 0xFF, 0xFF, 0x7F}, INT32_MAX},
        {{0x78, 0x56, 0x34, 0x12}, 0x12345678},
        {{0x00, 0x00, 0x00, 0x00}, 0},
    };
    for (const Case& c : cases) {
        Bytes file(16 + 72, 0x55);
        std::memcpy(&file[16], c.first_word.data(), 4);
        Input in = borrow_input(file.data(), file.size());
        Nav nav;
        nav.filesize = static_cast<int32_t>(file.size());
        nav.index_start = 16;
        nav.index_num = 1;
        std::vector<IndexEntry> index;
        ASSERT_EQ(gen_index_table(in, nav, index), 1);
        EXPECT_EQ(index[0].packet_offset, c.packet_offset);
        EXPECT_EQ(index[0].aux_00, 0u);
        EXPECT_EQ(index[0].aux_80, 0u);
        EXPECT_EQ(index[0].aux_04, 0x55555555);
    }
}

TEST(ScanIndex, AuxWordsOnlyFrom88ByteRecords)
{
    struct Case {
        const Form* form;
        uint32_t aux_00;
        uint64_t aux_80;
    };
    const std::vector<Case> cases = {
        {&forms[0], 0, 0},
        {&forms[1], 0, 0},
        {&forms[2], 0xA5A5A5A5u, 0xA5A5A5A5A5A5A5A5u},
    };
    for (const Case& c : cases) {
        Bytes file(16 + static_cast<size_t>(c.form->width), 0xA5);
        Input in = borrow_input(file.data(), file.size());
        Nav nav;
        nav.filesize = static_cast<int32_t>(file.size());
        nav.index_start = 16;
        nav.index_num = 1;
        std::vector<IndexEntry> index;
        ASSERT_EQ(c.form->load(in, nav, index), 1);
        EXPECT_EQ(index[0].aux_00, c.aux_00) << c.form->name;
        EXPECT_EQ(index[0].aux_80, c.aux_80) << c.form->name;
    }
}

}  // namespace
