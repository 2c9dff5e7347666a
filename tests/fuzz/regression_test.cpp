// regression_test.cpp -- replays every input a fuzzer once failed on
// (fuzz/regression/<harness>/) through that harness, and every seed kind
// through the whole conversion. Run in the sanitizer build, any overflow,
// leak, undefined behaviour or failed property fails the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "../../fuzz/harness.h"
#include "corpus.h"

namespace {

namespace fs = std::filesystem;

using Entry = int (*)(const uint8_t*, size_t);
const std::pair<const char*, Entry> harnesses[] = {
    {"convert", fuzz_convert},   {"run_header", fuzz_run_header},
    {"event_layout", fuzz_event_layout}, {"index", fuzz_index},
    {"trailer", fuzz_trailer},   {"packet", fuzz_packet},
    {"numtext", fuzz_numtext},
};

std::vector<uint8_t> read_bytes(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// "<harness>/<file>" for every file kept in fuzz/regression.
std::vector<std::string> regression_files()
{
    std::vector<std::string> names;
    fs::path dir = fs::path(KOLVEX_SOURCE_DIR) / "fuzz" / "regression";
    for (const auto& h : harnesses)
        if (fs::is_directory(dir / h.first))
            for (const auto& e : fs::directory_iterator(dir / h.first))
                names.push_back(std::string(h.first) + "/" +
                                e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class FuzzRegression : public ::testing::TestWithParam<std::string> {};

TEST_P(FuzzRegression, ReplaysWithoutFault)
{
    std::string harness = GetParam().substr(0, GetParam().find('/'));
    auto h = std::find_if(std::begin(harnesses), std::end(harnesses),
                          [&](const auto& e) { return harness == e.first; });
    ASSERT_NE(h, std::end(harnesses));
    std::vector<uint8_t> bytes =
        read_bytes(fs::path(KOLVEX_SOURCE_DIR) / "fuzz" / "regression" / GetParam());
    EXPECT_EQ(h->second(bytes.data(), bytes.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(Inputs, FuzzRegression,
                         ::testing::ValuesIn(regression_files()),
                         [](const ::testing::TestParamInfo<std::string>& info) {
                             std::string n = info.param;
                             for (char& c : n)
                                 if (!isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return n;
                         });

TEST(FuzzSeeds, EverySeedKindConverts)
{
    std::vector<corpus::Seed> seeds = corpus::seeds();
    ASSERT_GE(seeds.size(), 100u);
    for (const corpus::Seed& s : seeds) {
        SCOPED_TRACE(s.name);
        EXPECT_EQ(fuzz_convert(s.bytes.data(), s.bytes.size()), 0);
        EXPECT_EQ(fuzz_run_header(s.bytes.data(), s.bytes.size()), 0);
    }
}

// Seeds cut short at every 4 KB and every byte near the version word.
TEST(FuzzSeeds, TruncatedSeedsConvert)
{
    std::vector<corpus::Seed> seeds = corpus::seeds();
    for (const corpus::Seed& s : seeds) {
        if (s.name.find("-clean.") == std::string::npos)
            continue;
        SCOPED_TRACE(s.name);
        for (size_t cut = 0; cut < s.bytes.size(); cut += cut < 48 ? 1 : 4096) {
            // A buffer of exactly the cut length, so that a read past
            // the end is one the sanitizer sees.
            std::vector<uint8_t> part(s.bytes.begin(),
                                      s.bytes.begin() + static_cast<ptrdiff_t>(cut));
            EXPECT_EQ(fuzz_convert(part.data(), part.size()), 0) << cut;
        }
    }
}

}  // namespace
