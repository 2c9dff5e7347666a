// snakemake_test.cpp -- the batch workflow converts every raw file of a
// folder, one kolvex job per file.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "e2e/consumer.h"
#include "fixture.h"
#include "support/run.h"

namespace {

struct RunFile {
    const char* name;  // both extensions, and a blank in a name
    int version;
};

const RunFile files[] = {
    {"a.raw", 66},
    {"b.RAW", 64},
    {"c d.raw", 63},
};

// Each fixture run: 2 cycles of one survey scan and 4 fragmentation scans.
constexpr int cycles = 2;
constexpr int frags = 4;

size_t count_lines_starting(const std::string& text, const std::string& head)
{
    size_t n = 0;
    for (size_t at = 0; at < text.size();) {
        if (text.compare(at, head.size(), head) == 0)
            n++;
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            break;
        at = end + 1;
    }
    return n;
}

std::vector<std::string> snakemake_args(const std::string& snakemake,
                                        const testrun::TempDir& dir,
                                        const std::string& extra = "")
{
    std::vector<std::string> args = {
        snakemake, "-s", std::string(KOLVEX_SOURCE_DIR) + "/workflow/Snakefile",
        "--cores", "2", "--directory", dir.path};
    if (!extra.empty())
        args.push_back(extra);
    args.insert(args.end(), {"--config", "input=" + dir.file("runs"),
                             std::string("kolvex=") + KOLVEX_BIN});
    return args;
}

void write_runs(const testrun::TempDir& dir)
{
    ASSERT_EQ(mkdir(dir.file("runs").c_str(), 0755), 0);
    for (const RunFile& f : files)
        ASSERT_TRUE(fixture::write_file(
            dir.file("runs/") + f.name,
            fixture::build(fixture::realistic_run(f.version, cycles, 40, frags, 20, 3))));
    // Not a raw file: left alone.
    testrun::write_bytes(dir.file("runs/notes.txt"), {'n', '\n'});
}

TEST(SnakemakeWorkflow, ConvertsEveryRawFileOfTheFolder)
{
    KOLVEX_REQUIRE_TOOL(snakemake, "snakemake", "snakemake");
    testrun::TempDir dir;
    write_runs(dir);

    testrun::Result r = testrun::run(snakemake_args(snakemake, dir), dir.path);
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    for (const RunFile& f : files) {
        std::string base = dir.file("runs/") + f.name;
        std::string ms1 = testrun::read_file(base + ".ms1");
        std::string ms2 = testrun::read_file(base + ".ms2");
        EXPECT_EQ(count_lines_starting(ms1, "H\tScanType\tMS1\n"), 1u) << f.name;
        EXPECT_EQ(count_lines_starting(ms2, "H\tScanType\tMS2\n"), 1u) << f.name;
        EXPECT_EQ(count_lines_starting(ms1, "S\t"), size_t{cycles}) << f.name;
        EXPECT_EQ(count_lines_starting(ms2, "S\t"), size_t{cycles * frags}) << f.name;
        std::string log = testrun::read_file(dir.file("runs/kolvex-logs/") + f.name + ".log");
        std::string summary = base + ": " + std::to_string(cycles * (1 + frags)) +
                              " scans in the index, " + std::to_string(cycles) +
                              " written to " + base + ".ms1, " +
                              std::to_string(cycles * frags) + " written to " + base +
                              ".ms2, 0 rejected\n";
        EXPECT_NE(log.find(summary), std::string::npos) << log;
    }
    EXPECT_FALSE(testrun::file_exists(dir.file("runs/notes.txt.ms1")));

    // Up to date: a second run converts nothing again.
    testrun::Result again = testrun::run(snakemake_args(snakemake, dir), dir.path);
    ASSERT_EQ(again.status, 0) << again.out << again.err;
    EXPECT_NE((again.out + again.err).find("Nothing to be done"), std::string::npos)
        << again.out << again.err;
}

TEST(SnakemakeWorkflow, AFailedConversionFailsItsJobAndKeepGoingConvertsTheRest)
{
    KOLVEX_REQUIRE_TOOL(snakemake, "snakemake", "snakemake");
    testrun::TempDir dir;
    write_runs(dir);
    // An input of 2 GiB (sparse): kolvex refuses it with exit status 1.
    std::string big = dir.file("runs/big.raw");
    testrun::write_bytes(big, {});
    ASSERT_EQ(truncate(big.c_str(), int64_t{1} << 31), 0);

    testrun::Result r =
        testrun::run(snakemake_args(snakemake, dir, "--keep-going"), dir.path);
    EXPECT_NE(r.status, 0) << r.out << r.err;
    // Snakemake removes the outputs of a failed job, so a rerun tries again.
    EXPECT_FALSE(testrun::file_exists(big + ".ms1"));
    EXPECT_FALSE(testrun::file_exists(big + ".ms2"));
    std::string log = testrun::read_file(dir.file("runs/kolvex-logs/big.raw.log"));
    EXPECT_NE(log.find(big + ": files of 2 GiB or more are not supported\n"),
              std::string::npos)
        << log;
    for (const RunFile& f : files) {
        std::string ms2 = testrun::read_file(dir.file("runs/") + f.name + ".ms2");
        EXPECT_EQ(count_lines_starting(ms2, "S\t"), size_t{cycles * frags}) << f.name;
    }
}

}  // namespace
