// trailer_table_test.cpp -- trailer records read by the file's own field
// table, and the tables that must not be taken.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "fixture.h"
#include "raw/raw.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Fields = std::vector<fixture::TrailerField>;

const float times[3] = {12.5f, 0.75f, 300.125f};

// Three scans with the times above and charges 2, 3, 4.
fixture::File three_scans(int32_t version)
{
    fixture::File f;
    f.version = version;
    for (int32_t k = 0; k < 3; k++) {
        fixture::Scan s;
        s.survey = k == 0;
        s.injection_time = times[k];
        s.charge_state = static_cast<int16_t>(k + 2);
        f.scans.push_back(s);
    }
    return f;
}

struct Read {
    Bytes bytes;
    fixture::Layout lay;
    Input in;
    Nav nav;
    int64_t table;  // what find_trailer_table returned

    // Builds f and reads its run header and field table as the driver
    // does; r0: with the records' start R taken as 0.
    explicit Read(const fixture::File& f, bool r0 = false)
    {
        bytes = fixture::build(f, &lay);
        in = borrow_input(bytes.data(), bytes.size());
        nav.version = f.version;
        nav.filesize = static_cast<int32_t>(bytes.size());
        read_run_header(in, nav, lay.anchor);
        if (r0)
            nav.pr_header = 0;
        table = find_trailer_table(in, nav, nav.trailer);
        nav.pr_start = nav.pr_header;
    }
    // Writes v over the field at `at` of every record.
    void patch(int32_t at, const void* v, size_t size)
    {
        for (int32_t pos : lay.trailer_pos)
            std::memcpy(bytes.data() + pos + at, v, size);
    }
};

TEST(TrailerTable, RecordsByTheTable)
{
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        const char* what;
        int32_t version;
        uint32_t time_type, charge_type;
        uint32_t stored;  // charge field and the filler behind it (0: the
                          // fixture's charges)
        int16_t charge;   // every record's charge as read
        double stored_time = 0;  // float64 time field (0: the fixture's)
        float time = 0;          // every record's time as read
    } cases[] = {
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
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fixture::File f = three_scans(c.version);
        f.trailer_table = fixture::realistic_trailer_table(c.time_type, c.charge_type);
        Read r(f);
        ASSERT_EQ(r.table, r.lay.trailer_table);
        if (c.stored != 0)
            r.patch(r.lay.trailer_charge_at, &c.stored, 4);
        if (c.stored_time != 0)
            r.patch(r.lay.trailer_time_at, &c.stored_time, 8);
        ScanContext ctx;
        for (int32_t k = 0; k < 3; k++) {
            read_trailer(r.in, r.nav, ctx);
            EXPECT_EQ(ctx.ion_injection_time, c.stored_time != 0 ? c.time : times[k]);
            EXPECT_EQ(ctx.charge_state, c.stored != 0 ? c.charge : k + 2);
        }
        EXPECT_EQ(r.nav.pr_start, r.lay.trailer_pos[0] + 3 * r.lay.trailer_width);
    }
}

// The first field of each label decides; one of another type is never
// read, and the values stay as they began.
TEST(TrailerTable, FieldsOfOtherTypesAreNotRead)
{
    fixture::File f = three_scans(66);
    f.trailer_table = fixture::realistic_trailer_table(8, 10);  // int32 time, float charge
    f.trailer_table->push_back({10, 0, "Ion Injection Time (later):"});
    f.trailer_table->push_back({6, 0, "Charge State (later):"});
    Read r(f);
    ASSERT_EQ(r.table, r.lay.trailer_table);
    ScanContext ctx;
    for (int32_t k = 0; k < 3; k++) {
        read_trailer(r.in, r.nav, ctx);
        EXPECT_EQ(ctx.ion_injection_time, 0.0f);
        EXPECT_EQ(ctx.charge_state, 0);
    }
}

Bytes table(const Fields& fields) { return fixture::trailer_table_bytes(fields); }

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Raw table bytes (records in the version's fixed layout): where the
// search lands, as an offset from the bytes' start (-1: no table).
TEST(TrailerTable, WhichTablesAreTaken)
{
    const Fields good = fixture::realistic_trailer_table();
    const Bytes unnamed = table({{8, 0, "Scan Segment:"}, {10, 0, "AGC Target:"}});
    const std::string time_256 = "Ion Injection Time" + std::string(256 - 18, 'x');
    Bytes count_0 = table(good), cut = table(good);
    count_0[0] = 0;  // the low byte of the count, 9
    cut.resize(cut.size() - 2);
    auto text = [](uint32_t length) {
        return table({{10, 0, "Ion Injection Time:"}, {12, length, "Notes:"}});
    };
    auto many = [](uint32_t n) {  // the time field, then empty fields
        Fields t(n);
        t[0] = {10, 0, "Ion Injection Time (ms):"};
        return table(t);
    };
    const struct {
        const char* what;
        Bytes bytes;
        int64_t at;
        bool r0 = false;  // records from 0 in a large file: only the
                          // limits on the table itself apply
    } cases[] = {
        {"a table", table(good), 0},
        {"charge only", table({{6, 0, "Charge State:"}}), 0},
        {"no time or charge field", unnamed, -1},
        {"skipped, the next one taken", unnamed + table(good),
         static_cast<int64_t>(unnamed.size())},
        {"type 14", table({{10, 0, "Ion Injection Time:"}, {14, 0, "Future:"}}), -1},
        {"label of 256 characters", table({{10, 0, time_256}}), 0},
        {"label of 257 characters", table({{10, 0, time_256 + "x"}}), -1},
        {"text of 65,535 characters", text(65535), 0, true},
        {"text of 65,536 characters", text(65536), -1, true},
        {"count 0", count_0, -1},
        {"1,024 fields", many(1024), 0},
        {"1,025 fields", many(1025), -1},
        {"a label running into the index", cut, -1},
        // Three fixed records of 300 bytes end the file, 24 bytes after R.
        {"records ending at the end of the file", text(304), 0},
        {"records past the end", text(305), -1},
    };
    for (const auto& c : cases) {
        fixture::File f = three_scans(66);
        f.trailer_table_raw = c.bytes;
        f.data_start_pad = c.r0 ? 200000 : 0;
        Read r(f, c.r0);
        EXPECT_EQ(r.table, c.at < 0 ? -1 : r.lay.trailer_table + c.at) << c.what;
    }
}

}  // namespace
