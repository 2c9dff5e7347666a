// regression_test.cpp -- replays every input a fuzzer once failed on
// (fuzz/regression/<harness>/) through that harness, and every seed kind,
// whole and cut short, through the whole conversion. Run in the sanitizer
// build, any overflow, leak, undefined behaviour or failed property fails.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "../../fuzz/harness.h"
#include "corpus.h"

namespace {

namespace fs = std::filesystem;

TEST(FuzzRegression, EveryKeptInputReplaysWithoutFault)
{
    using Entry = int (*)(const uint8_t*, size_t);
    const std::pair<const char*, Entry> harnesses[] = {
        {"convert", fuzz_convert}, {"run_header", fuzz_run_header}, {"event_layout", fuzz_event_layout},
        {"event_stream", fuzz_event_stream}, {"index", fuzz_index}, {"trailer", fuzz_trailer},
        {"packet", fuzz_packet}, {"numtext", fuzz_numtext}};
    fs::path dir = fs::path(KOLVEX_SOURCE_DIR) / "fuzz" / "regression";
    int replayed = 0;
    for (const auto& [name, entry] : harnesses) {
        if (!fs::is_directory(dir / name))
            continue;
        for (const auto& e : fs::directory_iterator(dir / name)) {
            SCOPED_TRACE(e.path().string());
            std::ifstream f(e.path(), std::ios::binary);
            std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(f), {}};
            EXPECT_EQ(entry(bytes.data(), bytes.size()), 0);
            replayed++;
        }
    }
    EXPECT_GE(replayed, 2);
}

// Every seed kind whole; the clean ones also cut short at every byte near
// the version word and every 4 KB, each in a buffer of exactly the cut
// length, so that a read past the end is one the sanitizer sees.
TEST(FuzzSeeds, EverySeedKindConvertsWholeAndCut)
{
    std::vector<corpus::Seed> seeds = corpus::seeds();
    ASSERT_GE(seeds.size(), 100u);
    for (const corpus::Seed& s : seeds) {
        SCOPED_TRACE(s.name);
        EXPECT_EQ(fuzz_convert(s.bytes.data(), s.bytes.size()), 0);
        EXPECT_EQ(fuzz_run_header(s.bytes.data(), s.bytes.size()), 0);
        if (s.name.find("-clean.") == std::string::npos)
            continue;
        for (size_t cut = 0; cut < s.bytes.size(); cut += cut < 48 ? 1 : 4096) {
            std::vector<uint8_t> part(s.bytes.begin(), s.bytes.begin() + static_cast<ptrdiff_t>(cut));
            EXPECT_EQ(fuzz_convert(part.data(), part.size()), 0) << cut;
        }
    }
}

}  // namespace
