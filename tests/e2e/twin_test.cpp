// twin_test.cpp -- files of 2 GiB or more. A twin holds a small file's
// packets, index and streams at other places: its data stream starts below
// 2^31, holes inside self-described packets carry the later packets past
// 2^31 and 2^32, and the header blocks, index and streams lie beyond. Only
// the positions differ, so a twin converts to exactly the small file's
// bytes; a twin whose header block does not vouch for itself is no file
// kolvex can trust.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "e2e/check.h"
#include "raw/bytes.h"

namespace {

using e2e::Bytes;

// Where the small file keeps what the twin moves, as its conversion finds it.
fixture::TwinSource source_of(const std::string& path)
{
    Input in;
    EXPECT_EQ(open_input(in, path), 0);
    Nav nav = navigation_of(in);
    close_input(in);
    return {nav.version, nav.anchor, nav.data_start, nav.data_end, nav.p, nav.index_start, nav.index_num};
}

// Disk the twin takes: a filesystem without holes writes gigabytes.
int64_t bytes_on_disk(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? int64_t{st.st_blocks} * 512 : -1;
}

TEST(Twins, ConvertAsTheirSmallFiles)
{
    const fixture::RunStyle real_style{true, true, false, true};  // counted, trailers, described
    const fixture::TwinPlan plan;
    fixture::TwinPlan self_off = plan, copy_off = plan;
    self_off.self_pointer_skew = 8;
    copy_off.data_copy_skew = 8;
    // A packet that does not describe itself and counts more peaks than a
    // file below 2 GiB could hold (8 x 500 million bytes, less than the
    // twin's size): no peaks in either file, and no 4 GB buffer.
    auto huge_count = [](fixture::File& f) {
        f.scans[3].described.reset();
        f.scans[3].peak_count = 500000000;
    };
    // real: a file of the shared data, else a generated run of this version,
    // edited by edit when one is given.
    const struct { const char* what; std::string real; int32_t version; fixture::TwinPlan plan; bool same;
                   void (*edit)(fixture::File&) = nullptr; } rows[] = {
        {"v66-newer-2019", "v66-newer-2019.raw", 66, plan, true},
        {"v64-iontrap-2009", "v64-iontrap-2009.raw", 64, plan, true},
        {"generated v64", "", 64, plan, true},
        {"generated v66", "", 66, plan, true},
        {"generated v64, a packet counting 500 million peaks", "", 64, plan, true, huge_count},
        {"v66-newer-2019, self-pointer off by 8", "v66-newer-2019.raw", 66, self_off, false},
        {"v66-newer-2019, data-stream copy off by 8", "v66-newer-2019.raw", 66, copy_off, false},
        {"generated v66, self-pointer off by 8", "", 66, self_off, false},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        testrun::TempDir dir;
        const std::string small = dir.file("small.raw"), twin = dir.file("twin.raw");
        Bytes bytes;
        if (r.real.empty()) {
            fixture::File f = fixture::realistic_run(r.version, 4, 60, 5, 20, 7, real_style);
            if (r.edit)
                r.edit(f);
            bytes = fixture::build(f);
            ASSERT_TRUE(fixture::write_file(small, bytes));
        } else {
            std::filesystem::copy_file(testrun::shared_data() + "/real/" + r.real, small);
            std::string text = testrun::read_file(small);
            bytes.assign(text.begin(), text.end());
        }
        fixture::TwinLayout lay;
        ASSERT_EQ(fixture::write_twin(bytes, source_of(small), r.plan, twin, &lay), "");
        if (bytes_on_disk(twin) > (int64_t{64} << 20))
            GTEST_SKIP() << "this filesystem keeps no holes: a twin would take "
                         << lay.filesize / (1 << 20) << " MiB of disk";
        // Positions on both sides of 2^31 and past 2^32.
        EXPECT_LT(lay.data_start, int64_t{1} << 31);
        EXPECT_GT(lay.packet_pos.back(), int64_t{1} << 32);
        EXPECT_GT(lay.index_start, int64_t{1} << 32);

        e2e::Converted want = e2e::convert_in(dir, "small.raw");
        e2e::Converted got = e2e::convert_in(dir, "twin.raw");
        EXPECT_EQ(got.status, r.same ? 0 : 1);
        if (r.same) {
            EXPECT_EQ(want.status, 0);
            std::string err = want.err;  // the same summary, of other names
            for (size_t at; (at = err.find("small.raw")) != std::string::npos;)
                err.replace(at, 5, "twin");
            EXPECT_EQ(got.err, err);
            EXPECT_TRUE(got.ms1 == want.ms1 && got.ms2 == want.ms2);
            EXPECT_GT(want.ms2.size(), 0u);
        } else {
            EXPECT_EQ(got.err, "twin.raw: no run header found\n");
            EXPECT_EQ(got.ms1 + got.ms2, "");
        }
    }
}

}  // namespace
