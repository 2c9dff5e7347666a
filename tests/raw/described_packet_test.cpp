// described_packet_test.cpp -- peak packets read through their own header,
// and the packets that do not describe themselves.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "fixture.h"
#include "raw/raw.h"

namespace {

using Edits = std::vector<std::pair<int32_t, int32_t>>;  // packet word, addend

const std::vector<fixture::Peak> peaks = {
    {400.25f, 1000, 512, 7}, {500.5f, 2000, 768, 8}, {600.75f, 30, -256, 9}};

// A version 66 file whose only scan has the packet d, edited; the file ends
// `cut` bytes after the packet's end (-1: where the fixture ends it). Word
// 10 is the peak count when there is no profile part.
struct Packet {
    std::vector<uint8_t> bytes;
    int32_t pos = 0, size = 0;
    Input in;
    PacketDescription d;
    PacketKind kind;

    Packet(const fixture::Described& described, const Edits& edits = {}, int32_t cut = -1)
    {
        fixture::File f;
        f.scans = {fixture::Scan{}};
        f.scans[0].peaks = peaks;
        f.scans[0].described = described;
        fixture::Layout lay;
        bytes = fixture::build(f, &lay);
        pos = lay.packet_pos[0];
        std::memcpy(&size, &bytes[static_cast<size_t>(lay.index_start + 20)], 4);  // data_size
        for (auto [word, add] : edits) {
            uint32_t w;
            std::memcpy(&w, &bytes[static_cast<size_t>(pos + 4 * word)], 4);
            w += static_cast<uint32_t>(add);
            std::memcpy(&bytes[static_cast<size_t>(pos + 4 * word)], &w, 4);
        }
        if (cut >= 0)
            bytes.resize(static_cast<size_t>(pos + size - cut));
        in = borrow_input(bytes.data(), bytes.size());
        kind = describe_packet(in, pos, size, d);
    }
};

TEST(DescribedPacket, ReadThroughItsHeader)
{
    const struct {
        const char* what;
        fixture::Described d;
        bool labels, values;
    } cases[] = {
        {"8-byte peaks, descriptors, values", {}, true, true},
        {"12-byte peaks", {.wide = true}, true, true},
        {"other flag bits", {.other_flags = 0x0101}, true, true},
        {"no descriptors", {.labels = false, .extra_words = 8}, false, true},
        {"no values", {.values = false, .extra_words = 8}, true, false},
        {"a profile part first", {.profile_words = 50}, true, true},
        {"triplets and extra words", {.wide = true, .triplet_words = 6, .extra_words = 3}, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Packet p(c.d);
        ASSERT_EQ(p.kind, PacketKind::described);
        EXPECT_EQ(p.d.n, 3);
        PacketBuffers buf;
        buf.labels.assign(3, PeakLabel{0, 99});  // a previous scan's
        buf.values.assign(3, 99.0f);
        read_described_packet(p.in, p.d, buf);
        ASSERT_EQ(buf.n, 3);
        for (size_t i = 0; i < 3; i++) {
            EXPECT_EQ(buf.peaks[i].mz, peaks[i].mz);
            EXPECT_EQ(buf.peaks[i].intensity, peaks[i].intensity);
            EXPECT_EQ(buf.labels[i].charge_code, c.labels ? peaks[i].charge_code : 0);
            EXPECT_EQ(buf.values[i], c.values ? peaks[i].value : 0.0f);
        }
    }
}

// Each row breaks one rule and keeps the rest consistent (extra words X,
// word 7, make up for the words an edit takes away).
TEST(DescribedPacket, WhatIsNotDescribed)
{
    const PacketKind plain = PacketKind::plain, described = PacketKind::described;
    const struct {
        const char* what;
        fixture::Described d;
        Edits edits;
        int32_t cut;
        PacketKind want;
    } cases[] = {
        {"profile only", {.profile_words = 20, .centroids = false}, {}, -1, PacketKind::profile_only},
        {"two ranges", {.ranges = 2}, {}, -1, plain},
        {"40 bytes", {.centroids = false}, {}, -1, plain},
        {"ending with the file", {}, {}, 0, described},
        {"ending past the file", {}, {}, 1, plain},
        {"bytes no word counts", {.uncounted = 4}, {}, -1, plain},
        {"words adding past its size", {}, {{7, 1}}, -1, plain},
        {"peak count 0, a list of the count alone", {}, {{10, -3}, {2, -6}, {4, -3}, {5, -3}, {7, 12}}, -1, plain},
        {"list one word longer", {.extra_words = 1}, {{2, 1}, {7, -1}}, -1, plain},
        {"descriptors n - 1", {}, {{4, -1}, {7, 1}}, -1, plain},
        {"descriptors 0", {}, {{4, -3}, {7, 3}}, -1, described},
        {"values n", {}, {{5, -1}, {7, 1}}, -1, plain},
        {"values 0", {}, {{5, -4}, {7, 4}}, -1, described},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Packet(c.d, c.edits, c.cut).kind, c.want) << c.what;
}

TEST(DescribedPacket, WideMzNarrowedToFloat)
{
    Packet p({.wide = true});
    const double stored[] = {400.1, 1e300, -1e300};
    for (size_t i = 0; i < 3; i++)
        std::memcpy(&p.bytes[static_cast<size_t>(p.pos) + 44 + 12 * i], &stored[i], 8);
    PacketBuffers buf;
    read_described_packet(p.in, p.d, buf);
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(buf.peaks[0].mz, 400.1f);
    EXPECT_EQ(buf.peaks[1].mz, inf);
    EXPECT_EQ(buf.peaks[2].mz, -inf);
    EXPECT_EQ(buf.peaks[2].intensity, peaks[2].intensity);
}

}  // namespace
