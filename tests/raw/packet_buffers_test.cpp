// packet_buffers_test.cpp -- the peak arrays reuse their memory from scan to
// scan, yet every element the file does not supply reads as zero, never
// as a value left from the scan before.
#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "context.h"
#include "raw/input.h"
#include "raw/raw.h"

namespace {

const int32_t header_len = 44;

// A previous scan left every byte of the arrays at 0xEE.
void leave_old_values(PacketBuffers& buf, int32_t n)
{
    make_packet_buffers(buf, n);
    std::memset(buf.peaks.data(), 0xEE, sizeof(PacketPeak) * buf.peaks.size());
    std::memset(buf.labels.data(), 0xEE, sizeof(PeakLabel) * buf.labels.size());
    std::memset(buf.values.data(), 0xEE, sizeof(float) * buf.values.size());
}

std::vector<uint8_t> bytes_of(const void* p, size_t n)
{
    const uint8_t* b = static_cast<const uint8_t*>(p);
    return std::vector<uint8_t>(b, b + n);
}

struct Case {
    const char* name;
    int32_t version;
    int32_t n;
    int32_t data_size;
    size_t file_bytes;      // the file ends here (0xAB up to it)
    size_t peak_bytes;      // bytes of the peak array the file supplies
    size_t label_bytes;     // of the label array
    size_t value_bytes;     // of the value array
};

class PacketBuffersZero : public ::testing::TestWithParam<Case> {};

TEST_P(PacketBuffersZero, UnsuppliedElementsAreZero)
{
    const Case& c = GetParam();
    std::vector<uint8_t> file(c.file_bytes, 0xAB);
    Input in = borrow_input(file.data(), file.size());
    Nav nav;
    nav.version = c.version;
    IndexEntry entry{};
    entry.data_size = c.data_size;

    PacketBuffers buf;
    leave_old_values(buf, c.n + 3);  // a larger scan before: capacity is reused
    make_packet_buffers(buf, c.n);
    read_peak_extras(in, nav, entry, 0, buf);
    read_peak_array(in, buf);

    size_t n = static_cast<size_t>(c.n);
    auto expect = [](size_t supplied, size_t total) {
        std::vector<uint8_t> v(total, 0);
        std::fill(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(supplied), 0xAB);
        return v;
    };
    EXPECT_EQ(bytes_of(buf.peaks.data(), 8 * n), expect(c.peak_bytes, 8 * n));
    EXPECT_EQ(bytes_of(buf.labels.data(), 4 * n), expect(c.label_bytes, 4 * n));
    EXPECT_EQ(bytes_of(buf.values.data(), 4 * n), expect(c.value_bytes, 4 * n));
}

// n = 4: peaks at 44..75, labels 76..91, spare word 92..95, values 96..111.
const Case cases[] = {
    {"whole_packet", 66, 4, 200, 112, 32, 16, 16},
    {"ends_in_values", 66, 4, 200, 100, 32, 16, 4},
    {"ends_in_labels", 64, 4, 200, 82, 32, 6, 0},
    {"ends_in_peaks", 66, 4, 200, 50, 6, 0, 0},
    {"ends_before_peaks", 66, 4, 200, 30, 0, 0, 0},
    // Versions 62 and 63 read the extras only when 16 x n < data_size.
    {"v62_without_extras", 62, 4, 64, 112, 32, 0, 0},
    {"v63_with_extras", 63, 4, 65, 112, 32, 16, 16},
};

INSTANTIATE_TEST_SUITE_P(Packets, PacketBuffersZero, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
