// input_test.cpp -- the search over a sparse file: windows wholly inside a
// hole are skipped, and a window that reaches from a hole into data, or
// from data into a hole, is still found.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "e2e/check.h"
#include "raw/bytes.h"

namespace {

TEST(FindBytes, AcrossTheHolesOfASparseFile)
{
    const int64_t data_at = int64_t{96} << 20, data_len = 4096, size = int64_t{200} << 20;
    const Bytes marker = {0x00, 0x2E, 0x00, 0x6D, 0x00, 0x65, 0x00, 0x74, 0x00, 0x68};
    const Bytes tail_zeros = {0xAB, 0x00, 0x00, 0x00};
    // Written at data_at + at (the only data of the file); found where.
    const struct { const char* what; int64_t at; Bytes bytes, pattern; int64_t found; } rows[] = {
        {"begins with the hole's last zero", 0, Bytes(marker.begin() + 1, marker.end()), marker, data_at - 1},
        {"inside the data", 100, marker, marker, data_at + 100},
        {"ends in the next hole", data_len - 1, {0xAB}, tail_zeros, data_at + data_len - 1},
        {"not there", 100, marker, tail_zeros, -1},
    };
    for (const auto& r : rows) {
        testrun::TempDir dir;
        std::string path = dir.file("sparse.raw");
        Bytes data(data_len, 0x11);
        put(data, r.at, r.bytes);
        {
            std::ofstream f(path, std::ios::binary);
            f.seekp(data_at);
            f.write(reinterpret_cast<const char*>(data.data()), data_len);
        }
        ASSERT_EQ(truncate(path.c_str(), size), 0);
        struct stat st {};
        stat(path.c_str(), &st);
        if (int64_t{st.st_blocks} * 512 > (int64_t{8} << 20))
            GTEST_SKIP() << "this filesystem keeps no holes";
        Input in;
        ASSERT_EQ(open_input(in, path), 0);
        EXPECT_EQ(find_bytes(in, 0, size, r.pattern.data(), int32_t(r.pattern.size())), r.found) << r.what;
        close_input(in);
    }
}

}  // namespace
