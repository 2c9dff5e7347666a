// The sample that `make run` converts: the fixture tool's default run,
// converted with no argument.
#include <gtest/gtest.h>

#include <sstream>

#include "support/run.h"

namespace {

TEST(Sample, DefaultRunConvertsEveryScanWithItsRecordLines)
{
    testrun::TempDir dir;
    auto gen = testrun::run({KOLVEX_FIXTURE_BIN, "test.RAW"}, dir.path);
    ASSERT_EQ(gen.status, 0) << gen.err;
    auto r = testrun::kolvex(dir.path, {});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(testrun::is_completion(r.out, "test.RAW")) << r.out;

    for (const char* name : {"test.raw.ms1", "test.raw.ms2"}) {
        auto lines = testrun::lines_of(testrun::read_file(dir.file(name)));
        bool ms2 = std::string(name).back() == '2';
        ASSERT_GT(lines.size(), 13u) << name;
        for (size_t i = 0; i < 13; i++)
            EXPECT_EQ(lines[i].rfind("H\t", 0), 0u) << name << " line " << i;
        EXPECT_EQ(lines[12], "H\tLastScan\t1100") << name;

        // Every scan: S, then I lines, then (MS2) Z lines, then peaks.
        int scans = 0;
        size_t i = 13;
        while (i < lines.size()) {
            ASSERT_EQ(lines[i].rfind("S\t", 0), 0u) << name << " line " << i;
            scans++;
            i++;
            int ilines = 0, zlines = 0, peaks = 0;
            for (; i < lines.size() && lines[i].rfind("I\t", 0) == 0; i++)
                ilines++;
            for (; i < lines.size() && lines[i].rfind("Z\t", 0) == 0; i++)
                zlines++;
            for (; i < lines.size() && lines[i].rfind("S\t", 0) != 0; i++)
                peaks++;
            EXPECT_EQ(ilines, ms2 ? 8 : 3) << name << " scan " << scans;
            EXPECT_GE(zlines, ms2 ? 1 : 0) << name << " scan " << scans;
            EXPECT_LE(zlines, ms2 ? 4 : 0) << name << " scan " << scans;
            EXPECT_GT(peaks, 0) << name << " scan " << scans;
        }
        EXPECT_EQ(scans, ms2 ? 1000 : 100) << name;
    }
}

}  // namespace
