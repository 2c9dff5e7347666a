// regression_test.cpp -- replays every input the fuzzer once failed on
// (fuzz/regression) and every seed kind through the fuzzer's own entry:
// the whole conversion into counting outputs. Run in the sanitizer build,
// any overflow, leak or undefined behaviour fails the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "corpus.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> read_bytes(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

std::vector<std::string> regression_files()
{
    std::vector<std::string> names;
    fs::path dir = fs::path(KOLVEX_SOURCE_DIR) / "fuzz" / "regression";
    for (const auto& e : fs::directory_iterator(dir))
        if (e.is_regular_file() && e.path().filename() != "README")
            names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class FuzzRegression : public ::testing::TestWithParam<std::string> {};

TEST_P(FuzzRegression, ConvertsWithoutFault)
{
    fs::path p = fs::path(KOLVEX_SOURCE_DIR) / "fuzz" / "regression" / GetParam();
    std::vector<uint8_t> bytes = read_bytes(p);
    EXPECT_EQ(LLVMFuzzerTestOneInput(bytes.data(), bytes.size()), 0);
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
        EXPECT_EQ(LLVMFuzzerTestOneInput(s.bytes.data(), s.bytes.size()), 0);
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
            EXPECT_EQ(LLVMFuzzerTestOneInput(part.data(), part.size()), 0) << cut;
        }
    }
}

}  // namespace
