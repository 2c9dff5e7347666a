// snakemake_test.cpp -- the batch workflow converts every raw file of a
// folder, one kolvex job per file; a file that fails fails only its job.
#include <unistd.h>

#include <gtest/gtest.h>

#include "e2e/consumer.h"
#include "fixture.h"

namespace {

TEST(SnakemakeWorkflow, ConvertsTheFolderAndAFailingFileFailsOnlyItsJob)
{
    KOLVEX_REQUIRE_TOOL(snakemake, "snakemake", "snakemake");
    testrun::TempDir dir;
    const std::string runs = dir.file("runs/");
    std::filesystem::create_directory(runs);
    // Both extensions, a blank in a name; 2 cycles of 1 survey and 4
    // fragmentation scans each.
    const std::pair<const char*, int> files[] = {{"a.raw", 66}, {"b.RAW", 64}, {"c d.raw", 63}};
    for (auto [name, version] : files)
        ASSERT_TRUE(fixture::write_file(
            runs + name, fixture::build(fixture::realistic_run(version, 2, 40, 4, 20, 3))));
    testrun::write_bytes(runs + "notes.txt", {'n', '\n'});
    // A sparse input of 2 GiB: kolvex refuses it with exit status 1.
    testrun::write_bytes(runs + "big.raw", {});
    ASSERT_EQ(truncate((runs + "big.raw").c_str(), int64_t{1} << 31), 0);

    auto workflow = [&] {
        return testrun::run({snakemake, "-s", KOLVEX_SOURCE_DIR "/workflow/Snakefile", "--cores",
                             "2", "--directory", dir.path, "--keep-going", "--config",
                             "input=" + runs, std::string("kolvex=") + KOLVEX_BIN},
                            dir.path);
    };
    testrun::Result r = workflow();
    EXPECT_NE(r.status, 0) << r.out << r.err;
    for (auto [name, version] : files) {
        std::string in = runs + name;
        std::string log = testrun::read_file(runs + "kolvex-logs/" + name + ".log");
        EXPECT_NE(log.find(in + ": 10 scans in the index, 2 written to " + in + ".ms1, " +
                           "8 written to " + in + ".ms2, 0 rejected\n"),
                  std::string::npos)
            << log;
        EXPECT_EQ(consumer::scans_of(testrun::read_file(in + ".ms1")).size(), 2u) << name;
        EXPECT_EQ(consumer::scans_of(testrun::read_file(in + ".ms2")).size(), 8u) << name;
    }
    EXPECT_FALSE(testrun::file_exists(runs + "notes.txt.ms1"));
    // Snakemake removes a failed job's outputs, so that a rerun tries again.
    EXPECT_FALSE(testrun::file_exists(runs + "big.raw.ms1"));
    EXPECT_FALSE(testrun::file_exists(runs + "big.raw.ms2"));
    std::string log = testrun::read_file(runs + "kolvex-logs/big.raw.log");
    EXPECT_NE(log.find(runs + "big.raw: files of 2 GiB or more are not supported\n"),
              std::string::npos)
        << log;

    // Without the failing file the rest is up to date.
    ASSERT_EQ(unlink((runs + "big.raw").c_str()), 0);
    testrun::Result again = workflow();
    EXPECT_EQ(again.status, 0) << again.out << again.err;
    EXPECT_NE((again.out + again.err).find("Nothing to be done"), std::string::npos)
        << again.out << again.err;
}

}  // namespace
