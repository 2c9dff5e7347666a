// golden_test.cpp -- the converter's output, byte for byte, is what it was
// before the peak writer and the input layer were tuned for speed.
//
// Each case builds a small synthetic run with a fixed seed, converts it with
// the real binary and compares the length and a 64-bit FNV-1a hash of both
// outputs with values recorded from the untuned build. The "hostile" cases
// put every awkward number the digit routines meet (negative, huge, NaN,
// infinities, denormals, fractions at the truncation edge, random bit
// patterns) into the peak columns, so a faster digit routine must stay
// identical for all of them, not only for realistic peaks.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fixture.h"
#include "support/run.h"

namespace {

uint64_t fnv1a(const std::string& bytes)
{
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

std::string hex(uint64_t h)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%016llxull", static_cast<unsigned long long>(h));
    return text;
}

float from_bits(uint32_t bits)
{
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// Numbers chosen for the edges of the integer, fraction and special cases.
std::vector<float> awkward_numbers()
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    return {0.0f,          -0.0f,         1e-45f,        1.17549435e-38f,
            0.00005f,      0.00009999f,   0.0001f,       0.05f,
            0.1f,          0.5f,          0.99999994f,   1.0f,
            1.0079f,       9.99995f,      10.0f,         99.99999f,
            123.4567f,     999.9999f,     65535.99f,     123456.7f,
            16777216.0f,   16777218.0f,   99999999.0f,   1e9f,
            2147483520.0f, 2147483648.0f, 4294967296.0f, 1e10f,
            1e20f,         3.4028235e38f, -1.5f,         -0.00001f,
            -123.4567f,    -2147483520.0f, -2147483648.0f, -1e20f,
            -3.4028235e38f, nan,          -nan,          inf,
            -inf,          from_bits(0x7fc12345u), from_bits(0xff800001u),
            from_bits(0x00000001u)};
}

// Replaces every peak's numbers with awkward ones and random bit patterns;
// peak counts, and so the file's layout, stay as the run made them.
void make_hostile(fixture::File& f)
{
    const std::vector<float> fixed = awkward_numbers();
    static const int16_t charge_codes[] = {0,    256,   512,    768,   -256, -1,
                                           255,  -32768, 32767, 25600, 1,    -257};
    uint32_t state = 0x9e3779b9u;
    auto next = [&state]() {
        state = state * 1664525u + 1013904223u;
        return state;
    };
    size_t k = 0;
    for (fixture::Scan& s : f.scans) {
        for (fixture::Peak& p : s.peaks) {
            p.mz = k % 3 == 0 ? fixed[k % fixed.size()] : from_bits(next());
            p.intensity = k % 2 == 0 ? fixed[(k * 7 + 3) % fixed.size()]
                                     : from_bits(next());
            p.value = k % 2 == 1 ? fixed[(k * 5 + 1) % fixed.size()]
                                 : from_bits(next());
            p.charge_code = charge_codes[k % (sizeof charge_codes / sizeof charge_codes[0])];
            k++;
        }
    }
}

struct GoldenCase {
    const char* name;
    int32_t version;
    bool hostile;
    size_t ms1_len;
    uint64_t ms1_hash;
    size_t ms2_len;
    uint64_t ms2_hash;
};

class Golden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(Golden, OutputIsByteIdenticalToTheRecordedRun)
{
    const GoldenCase& c = GetParam();
    fixture::File f = c.hostile ? fixture::realistic_run(c.version, 3, 120, 4, 60, 11)
                                : fixture::realistic_run(c.version, 6, 800, 10, 200, 5);
    if (c.hostile)
        make_hostile(f);
    testrun::TempDir dir;
    ASSERT_TRUE(fixture::write_file(dir.file("in.RAW"), fixture::build(f)));

    testrun::Result r = testrun::kolvex(dir.path, {"in.RAW"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::string ms1 = testrun::read_file(dir.file("in.RAW.ms1"));
    std::string ms2 = testrun::read_file(dir.file("in.RAW.ms2"));
    // On a mismatch the message shows the case's row as this run made it.
    std::string row = "actual: " + std::to_string(ms1.size()) + ", " + hex(fnv1a(ms1)) +
                      ", " + std::to_string(ms2.size()) + ", " + hex(fnv1a(ms2));
    EXPECT_EQ(ms1.size(), c.ms1_len) << row;
    EXPECT_EQ(fnv1a(ms1), c.ms1_hash) << row;
    EXPECT_EQ(ms2.size(), c.ms2_len) << row;
    EXPECT_EQ(fnv1a(ms2), c.ms2_hash) << row;
}

// Recorded from the build before the speed work; change a row only for an
// intended change of the output.
const GoldenCase golden_cases[] = {
    {"v62", 62, false, 89952, 0x829cc3a25ca3178dull, 213835, 0x05c9558ec90716f5ull},
    {"v63", 63, false, 89952, 0x829cc3a25ca3178dull, 213819, 0x87a4c59eef76b949ull},
    {"v64", 64, false, 127661, 0x7d5eafd993fdff40ull, 213835, 0x05c9558ec90716f5ull},
    {"v66", 66, false, 127661, 0x7d5eafd993fdff40ull, 213835, 0x05c9558ec90716f5ull},
    {"v62_hostile", 62, true, 9740, 0x5b337b3de961721bull, 22562, 0xd4c7902e2c122663ull},
    {"v64_hostile", 64, true, 14274, 0xba2a705d455a80b0ull, 22562, 0xd4c7902e2c122663ull},
    {"v66_hostile", 66, true, 14274, 0xba2a705d455a80b0ull, 22562, 0xd4c7902e2c122663ull},
};

INSTANTIATE_TEST_SUITE_P(Runs, Golden, ::testing::ValuesIn(golden_cases),
                         [](const ::testing::TestParamInfo<GoldenCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
