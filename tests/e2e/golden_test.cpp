// golden_test.cpp -- whole outputs of generated raw files, pinned by digest.
//
// One row per file: the run it holds (a function below), its version, a
// file-level variant, and the digests of the .ms1 and .ms2 text. The rows
// were taken from outputs checked line by line against the format rules;
// scans_test.cpp keeps hand-checked texts beside them, so that no digest
// stands alone. A failing row prints the digests this build gives: change
// a row only for an intended change of the output.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cstring>
#include <limits>

#include "e2e/check.h"

namespace {

using e2e::Bytes;
using e2e::frag;
using e2e::run_of;
using e2e::sized;
using e2e::survey;
using fixture::File;
using fixture::Scan;

// File-level variants: the layouts of versions 63 and 66, and a file
// without the method marker whose trailers are described by a field table.
// (The run header's other paths to the index are pinned by the unit tests
// of the run header, which build each one.)
enum Knob { plain, wide_events, narrow_trailers, elite_0, unmarked };
const char* const knob_names[] = {"", "_wide_events", "_narrow_trailers", "_elite_0",
                                  "_unmarked_with_table"};

Bytes build(File f, Knob k)
{
    f.v63_wide = f.v63_wide || k == wide_events;
    f.v63_trailer_wide = k != narrow_trailers;
    f.elite_layout = k != elite_0;
    if (k == unmarked) {
        f.marker = f.terminator = false;
        f.trailer_table = fixture::realistic_trailer_table(f.version == 64 ? 11 : 10,
                                                           f.version == 63 ? 8 : 6);
    }
    return fixture::build(f);
}

Bytes realistic(int32_t v, Knob k) { return build(fixture::realistic_run(v, 3, 40, 5, 15, 1), k); }

// Realistic runs as real files hold them: event records by their own
// counts, trailers with the monoisotopic m/z, survey scans that cover part
// of the range; in version 66 also opening with three equal survey scans.
Bytes styled(int32_t v, Knob k)
{
    File f = fixture::realistic_run(v, 3, 40, 5, 15, 1, {true, true, true});
    if (v == 66)
        f.scans.insert(f.scans.begin(), 2, f.scans.front());
    return build(f, k);
}

// Every awkward number the digit routines meet (negative, huge, NaN,
// infinities, denormals, fractions at the truncation edge, random bits)
// in every peak column.
Bytes odd_numbers(int32_t v, Knob k)
{
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    auto bits = [](uint32_t b) { float x; std::memcpy(&x, &b, 4); return x; };
    const std::vector<float> awkward = {
        0.0f, -0.0f, 1e-45f, 1.17549435e-38f, 0.00005f, 0.00009999f, 0.0001f, 0.05f, 0.1f,
        0.5f, 0.99999994f, 1.0f, 1.0079f, 9.99995f, 10.0f, 99.99999f, 123.4567f, 999.9999f,
        65535.99f, 123456.7f, 16777216.0f, 16777218.0f, 99999999.0f, 1e9f, 2147483520.0f,
        2147483648.0f, 4294967296.0f, 1e10f, 1e20f, 3.4028235e38f, -1.5f, -0.00001f,
        -123.4567f, -2147483520.0f, -2147483648.0f, -1e20f, -3.4028235e38f, nan, -nan, inf,
        -inf, bits(0x7fc12345u), bits(0xff800001u), bits(0x00000001u)};
    const int16_t codes[] = {0, 256, 512, 768, -256, -1, 255, -32768, 32767, 25600, 1, -257};
    uint32_t state = 0x9e3779b9u;
    auto random = [&state, &bits] { return bits(state = state * 1664525u + 1013904223u); };
    File f = fixture::realistic_run(v, 3, 120, 4, 60, 11);
    size_t i = 0;
    for (Scan& s : f.scans)
        for (fixture::Peak& p : s.peaks) {
            p.mz = i % 3 == 0 ? awkward[i % awkward.size()] : random();
            p.intensity = i % 2 == 0 ? awkward[(i * 7 + 3) % awkward.size()] : random();
            p.value = i % 2 == 1 ? awkward[(i * 5 + 1) % awkward.size()] : random();
            p.charge_code = codes[i++ % 12];
        }
    return build(f, k);
}

// Lookups in the eight-peak list (exact, within 0.2 but not 0.02, none,
// below and above the list, the refinement window's edges) with every
// analyzer code; MS levels that read no precursor; then a flat list for
// the Z lines of every pair of peak and trailer charge.
Bytes events(int32_t v, Knob k)
{
    const uint8_t analyzers[] = {0, 4, 1, 2, 3, 5, 255};
    File f = run_of(v, {survey(12.3456785)});
    f.scans[0].analyzer = analyzers[v % 7];  // the headers' InstrumentType
    f.scans[0].injection_time = 35.125f;
    int a = 0;
    for (double p : {300.0, 400.15, 350.0, 50.0, 700.01, 700.15, 699.9, 801.0})
        f.scans.push_back(frag(p, analyzers[a++ % 7]));
    f.scans[1].start_time = 0.0000004, f.scans[1].injection_time = 0.004f;
    f.scans[2].start_time = 1234.5678901, f.scans[2].injection_time = 1000.996f;
    for (int8_t level : {int8_t{0}, int8_t{3}, int8_t{-1}, int8_t{1}}) {
        f.scans.push_back(frag(456, 4, 3));
        f.scans.back().ms_level = level;
    }
    f.scans.push_back(survey(0.4, true));
    f.scans.back().ms_level = 2;
    f.scans.back().precursor_mz = 777;
    // m/z 100, 200, 300 and 600 meet peak charges 0, 2, 3 and 5.
    const std::pair<double, int16_t> charges[] = {{100, 0}, {100, 3}, {300, 3}, {200, 3},
                                                  {200, 5}, {200, 1}, {200, -1}, {600, 3}};
    for (auto [p, zt] : charges)
        f.scans.push_back(frag(p, 0, zt));
    return build(f, k);
}

// Rejected scans between converted ones (no peaks: survey, fragmentation;
// with peaks), scans whose peak count cannot size a buffer, and labels
// that versions 62/63 read only when 16 x n < data_size. Every record
// shows which one the next converted scan read.
Bytes cursor(int32_t v, Knob k)
{
    File f = run_of(v, {survey(0.1), frag(480), sized(survey(0.2), 0, 100), frag(450, 4),
                        sized(frag(612, 3), 0, 100), frag(460, 4), sized(frag(613, 3), 2, 10),
                        frag(470, 4)});
    f.scans[2].analyzer = 3;
    std::vector<std::pair<int32_t, int32_t>> impossible = {{-1, 36}};
    if (v == 64)
        impossible = {{-5, 44}, {1143054336, 44}, {INT32_MIN, 500}, {268435456, 44}};
    if (v == 66)
        impossible = {{-1, 150}, {-3, 150}};
    for (auto [n, s] : impossible)
        for (Scan x : {sized(survey(0.5), n, s), frag(455, 4), sized(frag(600, 1), n, s), frag(465)})
            f.scans.push_back(x);
    for (int32_t s : {108, 300}) {
        f.scans.push_back(survey(0.8));
        f.scans.back().data_size = s;
        for (auto& p : f.scans.back().peaks)
            p.charge_code = 3 * 256;
        f.scans.push_back(frag(500));
    }
    f.scans.push_back(survey(0.9));
    f.scans.push_back(frag(650));
    return build(f, k);
}

struct Row { const char* run; Bytes (*make)(int32_t version, Knob knob); int32_t version; Knob knob;
             uint64_t ms1, ms2; };
#define ROW(run, v, knob, ms1, ms2) {#run, run, v, knob, ms1, ms2}

const Row rows[] = {
    ROW(realistic, 62, plain, 0xba39d75fda0434a5, 0x903cc7ff1325f5c5),
    ROW(realistic, 63, plain, 0xba39d75fda0434a5, 0x3d3b9ca27477b147),
    ROW(realistic, 63, wide_events, 0xba39d75fda0434a5, 0x3d3b9ca27477b147),
    ROW(realistic, 63, narrow_trailers, 0xba39d75fda0434a5, 0x710737e61dcb4679),
    ROW(realistic, 63, unmarked, 0xba39d75fda0434a5, 0x3d3b9ca27477b147),
    ROW(realistic, 64, plain, 0x4131126d9be53caa, 0x903cc7ff1325f5c5),
    ROW(realistic, 64, unmarked, 0x4131126d9be53caa, 0x903cc7ff1325f5c5),
    ROW(realistic, 66, plain, 0x4131126d9be53caa, 0x903cc7ff1325f5c5),
    ROW(realistic, 66, unmarked, 0x4131126d9be53caa, 0x903cc7ff1325f5c5),
    ROW(styled, 62, plain, 0xff66e9ff9ad5bbbe, 0xfed28d33a8e64d50),
    ROW(styled, 63, plain, 0xff66e9ff9ad5bbbe, 0xfc060fcbaf63ee08),
    ROW(styled, 64, plain, 0x820ee69118822559, 0xfed28d33a8e64d50),
    ROW(styled, 66, plain, 0x2093491ae771fcb2, 0x16aa1c8cc0775f77),
    ROW(odd_numbers, 62, plain, 0x5b337b3de961721b, 0xd4c7902e2c122663),
    ROW(odd_numbers, 66, plain, 0xba2a705d455a80b0, 0xd4c7902e2c122663),
    ROW(events, 62, plain, 0x445025fb4c730c49, 0xe60ce14c8ee74788),
    ROW(events, 63, plain, 0x9a39d17c5566708d, 0x119340aef4650d7d),
    ROW(events, 64, plain, 0x56bdd3b510be52ed, 0xd50dbc03e87938bd),
    ROW(events, 66, plain, 0x0ae64579b04dc0a3, 0xbb615b91d190088c),
    ROW(cursor, 62, plain, 0x97ecc7593735776c, 0xe0edfbbf072f9fc0),
    ROW(cursor, 63, plain, 0x97ecc7593735776c, 0x73fc907f71645915),
    ROW(cursor, 64, plain, 0x7a752af5d88f1d7e, 0x300f6232b783acc4),
    ROW(cursor, 66, plain, 0x5f5972f58625871c, 0x0d90d0d651550669),
    ROW(cursor, 66, elite_0, 0x5f5972f58625871c, 0x0d90d0d651550669),
};

class Golden : public ::testing::TestWithParam<Row> {};

TEST_P(Golden, OutputHasTheRecordedDigests)
{
    const Row& r = GetParam();
    e2e::Converted c = e2e::convert(r.make(r.version, r.knob));
    ASSERT_EQ(c.status, 0) << c.err;
    uint64_t ms1 = e2e::digest(c.ms1), ms2 = e2e::digest(c.ms2);
    char got[64];
    std::snprintf(got, sizeof got, "0x%016" PRIx64 ", 0x%016" PRIx64, ms1, ms2);
    EXPECT_TRUE(ms1 == r.ms1 && ms2 == r.ms2) << "this build: " << got;
}

INSTANTIATE_TEST_SUITE_P(Files, Golden, ::testing::ValuesIn(rows), [](const auto& info) {
    const Row& r = info.param;
    return std::string(r.run) + "_v" + std::to_string(r.version) + knob_names[r.knob];
});

// The sample that `make run` converts: the fixture tool's default run as
// test.RAW, converted with no argument.
TEST(Sample, MakeRunConvertsTheDefaultRun)
{
    testrun::TempDir dir;
    ASSERT_EQ(testrun::run({KOLVEX_FIXTURE_BIN, "test.RAW"}, dir.path).status, 0);
    testrun::Result r = testrun::kolvex(dir.path, {});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "test.RAW: 1100 scans in the index, 100 written to test.raw.ms1, "
                     "1000 written to test.raw.ms2, 0 rejected\n");
    EXPECT_EQ(e2e::digest(testrun::read_file(dir.file("test.raw.ms1"))), 0x553afab0b3eec8fcu);
    EXPECT_EQ(e2e::digest(testrun::read_file(dir.file("test.raw.ms2"))), 0xa87f4f23ed41a026u);
}
}  // namespace
