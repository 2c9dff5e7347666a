// trailer_test.cpp -- ion injection time and charge state from the
// trailer stream: the fixed layout of each version, and the records a
// file describes with its own field table.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <limits>

#include "fixture.h"
#include "raw/bytes.h"

namespace {

// Records 0 and 1 from 1000, 0x7F at the places of the other layouts;
// the file ends two bytes into record 2's time, and record 3 lies past it:
// a field keeps what the file does not supply (little-endian: its low
// bytes come first).
TEST(ReadTrailer, FixedLayoutPerVersion)
{
    const struct { const char* what; int32_t version, pr_w, stride, time_at, charge_at; } cases[] = {
        {"62", 62, 0, 279, 0, 18},
        {"63, pr_w 301: wide", 63, 301, 305, 26, 44},
        {"63, pr_w 300: narrow, no charge", 63, 300, 31, 0, -1},
        {"64", 64, 0, 300, 0, 18},
        {"66", 66, 0, 300, 0, 18},
    };
    const float times[2] = {12.5f, 7.25f};
    const int16_t charges[2] = {3, -2};
    for (const auto& c : cases) {
        Bytes b = image(4000, {});
        for (int32_t i = 0; i < 2; i++) {
            put(b, 1000 + i * c.stride, Bytes(48, 0x7F));
            put(b, 1000 + i * c.stride + c.time_at, times[i]);
            if (c.charge_at >= 0)
                put(b, 1000 + i * c.stride + c.charge_at, charges[i]);
        }
        put(b, 1000 + 2 * c.stride + c.time_at, Bytes{0xAA, 0xBB});
        b.resize(size_t(1000 + 2 * c.stride + c.time_at + 2));
        Input in = input_of(b);
        Nav nav{.version = c.version, .filesize = FilePos(b.size()), .pr_start = 1000, .pr_w = c.pr_w};
        ScanContext ctx;
        for (int32_t i = 0; i < 4; i++) {
            read_trailer(in, nav, ctx);
            uint32_t time = i < 2 ? std::bit_cast<uint32_t>(times[i])
                                  : (std::bit_cast<uint32_t>(times[1]) & 0xFFFF0000u) | 0xBBAA;
            EXPECT_EQ(std::bit_cast<uint32_t>(ctx.ion_injection_time), time) << c.what << " #" << i;
            EXPECT_EQ(ctx.charge_state, c.charge_at < 0 ? 0 : charges[std::min(i, 1)]) << c.what << " #" << i;
            EXPECT_EQ(nav.pr_start, 1000 + (i + 1) * c.stride) << c.what << " #" << i;
        }
    }
}

const float times[3] = {12.5f, 0.75f, 300.125f};

// Three scans with the times above and charges 2, 3, 4, read as the driver
// reads them: run header, then the field table (r0: records from 0).
struct TableFile {
    Bytes bytes;
    fixture::Layout lay;
    Input in;
    Nav nav;
    int64_t table;  // what find_trailer_table returned

    TableFile(fixture::File f, bool r0 = false)
    {
        f.scans.resize(3);
        for (size_t k = 0; k < 3; k++) {
            f.scans[k].survey = k == 0;
            f.scans[k].injection_time = times[k];
            f.scans[k].charge_state = int16_t(k + 2);
        }
        bytes = fixture::build(f, &lay);
        in = input_of(bytes);
        nav = nav_of(bytes, f.version);
        read_run_header(in, nav, int32_t(lay.anchor));
        nav.pr_header = r0 ? 0 : nav.pr_header;
        table = find_trailer_table(in, nav, nav.trailer);
        nav.pr_start = nav.pr_header;
    }
};

// Later fields of the same names are never read: the first one decides.
TEST(TrailerTable, RecordsByTheTable)
{
    const float inf = std::numeric_limits<float>::infinity();
    // stored: the charge field and the bytes behind it, stored_time the
    // float64 time field (0: the fixture's values); charge and time: every
    // record's as read; unread: neither field is of a type that is read.
    const struct { const char* what; int32_t version; uint32_t time_type, charge_type, stored; int16_t charge;
                   double stored_time = 0; float time = 0; bool unread = false; } cases[] = {
        {"62, float32 time, int16 charge", 62, 10, 6, 0, 0},
        {"63, float64 time", 63, 11, 6, 0, 0},
        {"64, char -3", 64, 10, 1, 0xA5A5A5FD, -3},
        {"66, unsigned char 253", 66, 10, 5, 0xA5A5A5FD, 253},
        {"66, int16 -2", 66, 10, 6, 0xA5A5FFFE, -2},
        {"66, uint16 65535", 66, 10, 7, 0xA5A5FFFF, -1},
        {"66, int32 0x00010002", 66, 10, 8, 0x00010002, 2},
        {"66, uint32 4", 66, 11, 9, 4, 4},
        {"66, float64 0.1 rounded", 66, 11, 6, 0, 0, 0.1, 0.1f},
        {"66, float64 1e300", 66, 11, 6, 0, 0, 1e300, inf},
        {"66, float64 -1e300", 66, 11, 6, 0, 0, -1e300, -inf},
        {"66, int32 time, float32 charge", 66, 8, 10, 0, 0, 0, 0, true},
    };
    for (const auto& c : cases) {
        fixture::File f;
        f.version = c.version;
        f.trailer_table = fixture::realistic_trailer_table(c.time_type, c.charge_type);
        f.trailer_table->push_back({10, 0, "Ion Injection Time (later):"});
        f.trailer_table->push_back({6, 0, "Charge State (later):"});
        TableFile r(f);
        ASSERT_EQ(r.table, r.lay.trailer_table) << c.what;
        for (int64_t pos : r.lay.trailer_pos) {
            if (c.stored != 0)
                put(r.bytes, pos + r.lay.trailer_charge_at, c.stored);
            if (c.stored_time != 0)
                put(r.bytes, pos + r.lay.trailer_time_at, c.stored_time);
        }
        ScanContext ctx;
        for (int32_t k = 0; k < 3; k++) {
            read_trailer(r.in, r.nav, ctx);
            EXPECT_EQ(ctx.ion_injection_time, c.unread ? 0 : c.stored_time != 0 ? c.time : times[k]) << c.what;
            EXPECT_EQ(ctx.charge_state, c.unread ? 0 : c.stored != 0 ? c.charge : k + 2) << c.what;
        }
        EXPECT_EQ(r.nav.pr_start, r.lay.trailer_pos[0] + 3 * r.lay.trailer_width) << c.what;
    }
}

// Raw table bytes, records in the version's fixed layout: where the search
// lands, as an offset from the bytes' start (-1: no table).
TEST(TrailerTable, WhichTablesAreTaken)
{
    auto table = fixture::trailer_table_bytes;
    const Bytes good = table(fixture::realistic_trailer_table());
    const Bytes unnamed = table({{8, 0, "Scan Segment:"}, {10, 0, "AGC Target:"}});
    const std::string time_256 = "Ion Injection Time" + std::string(256 - 18, 'x');
    Bytes count_0 = good, cut = good;
    count_0[0] = 0;  // the low byte of the count, 9
    cut.resize(cut.size() - 2);
    auto text = [&](uint32_t length) { return table({{10, 0, "Ion Injection Time:"}, {12, length, "Notes:"}}); };
    auto many = [&](size_t n) {  // the time field, then empty fields
        std::vector<fixture::TrailerField> t(n);
        t[0] = {10, 0, "Ion Injection Time (ms):"};
        return table(t);
    };
    // r0: records from 0 in a large file, so that only the limits on the
    // table itself apply.
    const struct { const char* what; Bytes bytes; int64_t at; bool r0 = false; } cases[] = {
        {"a table", good, 0},  {"charge only", table({{6, 0, "Charge State:"}}), 0},
        {"no time or charge field", unnamed, -1},  {"the next one taken", unnamed + good, int64_t(unnamed.size())},
        {"type 14", table({{10, 0, "Ion Injection Time:"}, {14, 0, "Future:"}}), -1},  {"count 0", count_0, -1},
        {"label of 256 characters", table({{10, 0, time_256}}), 0},
        {"label of 257 characters", table({{10, 0, time_256 + "x"}}), -1},
        {"text of 65,535 characters", text(65535), 0, true},  {"text of 65,536 characters", text(65536), -1, true},
        {"1,024 fields", many(1024), 0},  {"1,025 fields", many(1025), -1},
        {"a label running into the index", cut, -1},
        // Three fixed records of 300 bytes end the file, 24 bytes after R.
        {"records ending at the end of the file", text(304), 0},  {"records past the end", text(305), -1},
    };
    for (const auto& c : cases) {
        fixture::File f;
        f.trailer_table_raw = c.bytes;
        f.data_start_pad = c.r0 ? 200000 : 0;
        TableFile r(f, c.r0);
        EXPECT_EQ(r.table, c.at < 0 ? -1 : r.lay.trailer_table + c.at) << c.what;
    }
}

}  // namespace
