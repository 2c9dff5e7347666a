// packet_test.cpp -- a converted scan's peak, label and value arrays: in
// the fixed packet layout, and read through a packet's own header.
#include <gtest/gtest.h>

#include <limits>

#include "fixture.h"
#include "raw/bytes.h"

namespace {

template <typename T>
Bytes bytes_of(const std::vector<T>& v, size_t n)
{
    const uint8_t* p = reinterpret_cast<const uint8_t*>(v.data());
    return Bytes(p, p + n * sizeof(T));
}

// n = 4 in a packet at 0: peaks at 44..75, labels 76..91, the spare word
// 92..95, values 96..111. The file holds 0xAB up to its end; the buffers
// still hold 0xEE from a larger scan before.
TEST(PacketArrays, ElementsTheFileDoesNotSupplyAreZero)
{
    const struct { const char* what; int32_t version, data_size, file_bytes; size_t peaks, labels, values; } cases[] = {
        {"whole packet", 66, 200, 112, 32, 16, 16},
        {"ends in the values", 66, 200, 100, 32, 16, 4},
        {"ends in the labels, 64 reads them whatever the size", 64, 0, 82, 32, 6, 0},
        {"ends in the peaks", 66, 200, 50, 6, 0, 0},
        {"62, 16 n = data_size: no extras", 62, 64, 112, 32, 0, 0},
        {"63, 16 n < data_size: extras past the packet", 63, 65, 112, 32, 16, 16},
    };
    for (const auto& c : cases) {
        Bytes file(size_t(c.file_bytes), 0xAB);
        Input in = input_of(file);
        IndexEntry entry{};
        entry.data_size = c.data_size;
        PacketBuffers buf;
        make_packet_buffers(buf, 7);
        std::memset(buf.peaks.data(), 0xEE, 7 * 8);
        std::memset(buf.labels.data(), 0xEE, 7 * 4);
        std::memset(buf.values.data(), 0xEE, 7 * 4);
        make_packet_buffers(buf, 4);
        read_peak_extras(in, nav_of(file, c.version), entry, 0, buf);
        read_peak_array(in, buf);
        // The first bytes the file supplies, the rest zero.
        auto want = [](size_t supplied, size_t total) { return Bytes(supplied, 0xAB) + Bytes(total - supplied, 0); };
        EXPECT_EQ(bytes_of(buf.peaks, 4), want(c.peaks, 32)) << c.what;
        EXPECT_EQ(bytes_of(buf.labels, 4), want(c.labels, 16)) << c.what;
        EXPECT_EQ(bytes_of(buf.values, 4), want(c.values, 16)) << c.what;
    }
}

using Edits = std::vector<std::pair<int32_t, int32_t>>;  // packet word, addend

const std::vector<fixture::Peak> peaks = {
    {400.25f, 1000, 512, 7}, {500.5f, 2000, 768, 8}, {600.75f, 30, -256, 9}};

// Rows that are not described break one rule each and keep the rest
// consistent (extra words X, word 7, make up for the words an edit takes
// away). The arrays of a described packet read without edits are the
// fixture's, its labels and values zero where it has none. Each row's file
// is of version 66, its only scan of the packet d, edited, the file ending
// `cut` bytes after the packet's end (-1: where the fixture ends it); word
// 10 is the peak count when there is no profile part.
TEST(DescribedPacket, ReadThroughItsHeader)
{
    const float inf = std::numeric_limits<float>::infinity();
    const PacketKind plain = PacketKind::plain, described = PacketKind::described;
    // huge: m/z 1e300 and -1e300 stored in peaks 1 and 2
    const struct { const char* what; fixture::Described d; Edits edits; int32_t cut; PacketKind want;
                   bool huge = false; } cases[] = {
        {"8-byte peaks and the rest", {}, {}, -1, described},  {"12-byte peaks", {.wide = true}, {}, -1, described},
        {"12-byte peaks beyond the float range", {.wide = true}, {}, -1, described, true},
        {"other flag bits", {.other_flags = 0x0101}, {}, -1, described},
        {"no descriptors", {.labels = false, .extra_words = 8}, {}, -1, described},
        {"no values", {.values = false, .extra_words = 8}, {}, -1, described},
        {"a profile part first", {.profile_words = 50}, {}, -1, described},
        {"triplets and extra words", {.wide = true, .triplet_words = 6, .extra_words = 3}, {}, -1, described},
        {"ending with the file", {}, {}, 0, described},  {"ending past the file", {}, {}, 1, plain},
        {"labels 0", {}, {{4, -3}, {7, 3}}, -1, described},  {"labels n - 1", {}, {{4, -1}, {7, 1}}, -1, plain},
        {"values 0", {}, {{5, -4}, {7, 4}}, -1, described},  {"values n", {}, {{5, -1}, {7, 1}}, -1, plain},
        {"profile only", {.profile_words = 20, .centroids = false}, {}, -1, PacketKind::profile_only},
        {"two ranges", {.ranges = 2}, {}, -1, plain},  {"40 bytes", {.centroids = false}, {}, -1, plain},
        {"bytes no word counts", {.uncounted = 4}, {}, -1, plain},  {"words past its size", {}, {{7, 1}}, -1, plain},
        {"peak count 0, a list of the count alone", {}, {{10, -3}, {2, -6}, {4, -3}, {5, -3}, {7, 12}}, -1, plain},
        {"list one word longer", {.extra_words = 1}, {{2, 1}, {7, -1}}, -1, plain},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fixture::File f;
        f.scans.resize(1);
        f.scans[0].peaks = peaks;
        f.scans[0].described = c.d;
        fixture::Layout lay;
        Bytes bytes = fixture::build(f, &lay);
        const int32_t pos = int32_t(lay.packet_pos[0]), size = get(bytes, lay.index_start + 20);  // data_size
        for (auto [word, add] : c.edits)
            put(bytes, pos + 4 * word, get<uint32_t>(bytes, pos + 4 * word) + uint32_t(add));
        if (c.cut >= 0)
            bytes.resize(static_cast<size_t>(pos + size - c.cut));
        Input in = input_of(bytes);
        PacketDescription d;
        ASSERT_EQ(describe_packet(in, pos, size, d), c.want);
        if (c.want != described || !c.edits.empty())
            continue;
        for (int64_t i = 1; c.huge && i <= 2; i++)
            put(bytes, d.peaks_at + 12 * i, i == 1 ? 1e300 : -1e300);
        PacketBuffers buf;
        buf.labels.assign(3, PeakLabel{0, 99});  // a previous scan's
        buf.values.assign(3, 99.0f);
        read_described_packet(in, d, buf);
        ASSERT_EQ(buf.n, 3);
        for (size_t i = 0; i < 3; i++) {
            EXPECT_EQ(buf.peaks[i].mz, !c.huge || i == 0 ? peaks[i].mz : i == 1 ? inf : -inf);
            EXPECT_EQ(buf.peaks[i].intensity, peaks[i].intensity);
            EXPECT_EQ(buf.labels[i].charge_code, c.d.labels ? peaks[i].charge_code : 0);
            EXPECT_EQ(buf.values[i], c.d.values ? peaks[i].value : 0.0f);
        }
    }
}

}  // namespace
