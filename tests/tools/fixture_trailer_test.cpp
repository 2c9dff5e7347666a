// fixture_trailer_test.cpp -- what the fixture writer puts into a trailer
// field of each type: the injection time and the monoisotopic m/z.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "fixture.h"

namespace {

// len bytes at b[at] as hex.
std::string hex(const std::vector<uint8_t>& b, int32_t at, size_t len)
{
    std::string s;
    char two[3];
    for (size_t i = 0; i < len; i++)
        std::snprintf(two, sizeof two, "%02x", b.at(static_cast<size_t>(at) + i)), s += two;
    return s;
}

TEST(FixtureTrailer, ValuesByFieldType)
{
    // Types: 11 float64, 10 float32, 1 and 5 one byte, 6 two, 8 and 9 four,
    // 13 text (here 8 bytes). Time 12.5 in every row; a5: the filler.
    const struct { const char* what; uint32_t time_type, mono_type; std::optional<double> mono;
                   const char* time, * mono_bytes; } rows[] = {
        {"float32 time, float64 m/z", 10, 11, 512.75, "00004841", "0000000000068040"},
        {"float64 time, float32 m/z", 11, 10, 512.75, "0000000000002940", "00300044"},
        {"int32 time, int16 m/z", 8, 6, 512.75, "0c000000", "0002"},
        {"int16 time, char m/z -1", 6, 1, -1.0, "0c00", "ff"},
        {"uchar time, uint32 m/z", 5, 9, 3e9, "0c", "005ed0b2"},
        {"int32 m/z saturates", 10, 8, 1e12, "00004841", "ffffffff"},
        {"no m/z: filler", 10, 11, std::nullopt, "00004841", "a5a5a5a5a5a5a5a5"},
        {"text m/z: filler", 10, 13, 512.75, "00004841", "a5a5a5a5a5a5a5a5"},
    };
    for (const auto& c : rows) {
        fixture::File f;
        f.trailer_table = {{c.mono_type, 4, "Monoisotopic M/Z:"}, {c.time_type, 0, "Ion Injection Time (ms):"}};
        f.scans.resize(2);
        f.scans[1].injection_time = 12.5f;
        f.scans[1].mono_mz = c.mono;
        fixture::Layout lay;
        std::vector<uint8_t> b = fixture::build(f, &lay);
        const int32_t rec = lay.trailer_pos.at(1);
        EXPECT_EQ(hex(b, rec + lay.trailer_time_at, std::strlen(c.time) / 2), c.time) << c.what;
        EXPECT_EQ(hex(b, rec, std::strlen(c.mono_bytes) / 2), c.mono_bytes) << c.what;  // the first field
    }
}

}  // namespace
