// trailer_test.cpp -- ion injection time and charge state from the
// trailer stream, per version layout.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "raw/raw.h"

namespace {

using Bytes = std::vector<uint8_t>;

void put_float(Bytes& b, int32_t at, float v)
{
    std::memcpy(b.data() + at, &v, 4);
}

void put16(Bytes& b, int32_t at, int16_t v)
{
    std::memcpy(b.data() + at, &v, 2);
}

// Every case reads two records from pr_start; each record's time and
// charge sit where the layout puts them, and decoys sit at the places of
// the other layouts.
TEST(ReadTrailer, LayoutPerVersion)
{
    struct Case {
        const char* what;
        int32_t version, pr_w;
        int32_t stride, time_at, charge_at;  // charge_at -1: not read
    };
    const std::vector<Case> cases = {
        {"62", 62, 0, 279, 0, 18},
        {"63 wide, pr_w 301", 63, 301, 305, 26, 44},
        {"63 wide, large pr_w", 63, 5000, 305, 26, 44},
        {"63 narrow, pr_w 300", 63, 300, 31, 0, -1},
        {"63 narrow, pr_w 0", 63, 0, 31, 0, -1},
        {"64", 64, 0, 300, 0, 18},
        {"66", 66, 0, 300, 0, 18},
    };
    const int32_t start = 1000;
    const float times[2] = {12.5f, 7.25f};
    const int16_t charges[2] = {3, -2};
    for (const Case& c : cases) {
        Bytes b(4000, 0);
        for (int32_t i = 0; i < 2; i++) {
            int32_t r = start + i * c.stride;
            for (int32_t decoy : {0, 18, 26, 44})
                std::memset(b.data() + r + decoy, 0x7F, 4);
            put_float(b, r + c.time_at, times[i]);
            if (c.charge_at >= 0)
                put16(b, r + c.charge_at, charges[i]);
        }
        Input in = borrow_input(b.data(), b.size());
        Nav nav;
        nav.version = c.version;
        nav.filesize = static_cast<int32_t>(b.size());
        nav.pr_w = c.pr_w;
        nav.pr_start = start;
        ScanContext ctx;
        for (int32_t i = 0; i < 2; i++) {
            read_trailer(in, nav, ctx);
            EXPECT_EQ(ctx.ion_injection_time, times[i]) << c.what << " #" << i;
            EXPECT_EQ(ctx.charge_state, c.charge_at >= 0 ? charges[i] : 0)
                << c.what << " #" << i;
            EXPECT_EQ(nav.pr_start, start + (i + 1) * c.stride)
                << c.what << " #" << i;
        }
    }
}

// A record at or past the end keeps the previous values; a field cut by
// the end takes only the bytes that exist (little-endian: the low ones).
TEST(ReadTrailer, EndOfFileKeepsWhatWasThere)
{
    const float before_time = 10.0f;  // bits 41 20 00 00
    const int16_t before_charge = 0x0102;
    struct Case {
        const char* what;
        int32_t version;
        int32_t size;      // file size; the record is at 1000
        uint32_t time_bits;
        int16_t charge;
    };
    const std::vector<Case> cases = {
        {"record past the end", 66, 800, 0x41200000u, before_charge},
        {"record at the end", 62, 1000, 0x41200000u, before_charge},
        {"time cut after two bytes", 66, 1002, 0x4120BBAAu, before_charge},
        {"charge cut after one byte", 64, 1019, 0x3F800000u, 0x0107},
        {"charge whole at the end", 62, 1020, 0x3F800000u, 0x0507},
    };
    for (const Case& c : cases) {
        Bytes b(static_cast<size_t>(c.size), 0);
        const uint8_t tail[] = {0xAA, 0xBB};
        for (size_t i = 0; i < 2; i++)
            if (1000 + i < b.size())
                b[1000 + i] = tail[i];
        if (c.size >= 1004)
            put_float(b, 1000, 1.0f);
        if (c.size > 1018)
            b[1018] = 0x07;
        if (c.size > 1019)
            b[1019] = 0x05;
        Input in = borrow_input(b.data(), b.size());
        Nav nav;
        nav.version = c.version;
        nav.filesize = c.size;
        nav.pr_start = 1000;
        ScanContext ctx;
        ctx.ion_injection_time = before_time;
        ctx.charge_state = before_charge;
        read_trailer(in, nav, ctx);
        EXPECT_EQ(std::bit_cast<uint32_t>(ctx.ion_injection_time), c.time_bits)
            << c.what;
        EXPECT_EQ(ctx.charge_state, c.charge) << c.what;
        EXPECT_EQ(nav.pr_start, c.version == 62 ? 1279 : 1300) << c.what;
    }
}

}  // namespace
