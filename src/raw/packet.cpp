// packet.cpp -- read a scan's peak packet: the 44-byte header for the
// triage, then for a converted scan its label and value arrays and, after
// the scan event, its peak array.
//
// Packet layout, n peaks: header (44), peaks (8n), labels (4n), a spare
// word (4), values (4n). The peak array is read last although it lies
// first, because the scan event is read between the two.
#include "raw/raw.h"

#include <algorithm>
#include <cstring>

static const int32_t packet_header_len = 44;

FilePos packet_start(const Nav& nav, const IndexEntry& entry)
{
    FilePos start = pos_add(nav.wide, nav.locator, entry.packet_offset);
    if (!nav.wide)
        return start;
    // An offset from a damaged index may lead anywhere; from the end of
    // the file every read reads nothing, and no later sum can overflow.
    return start >= 0 && start <= nav.filesize ? start : nav.filesize;
}

bool peak_array_fits(const Nav& nav, int32_t n)
{
    // Bounded below 2 GiB whatever the file's size: real packets that are
    // no centroid list read counts of a billion.
    return n >= 0 && int64_t{8} * n <= std::min<FilePos>(nav.filesize, INT32_MAX);
}

FilePos read_packet_header(Input& in, const Nav& nav, const IndexEntry& entry,
                           ScanContext& ctx)
{
    FilePos start = packet_start(nav, entry);
    // Bytes a short read misses keep the previous scan's header.
    read_at(in, start, &ctx.header, packet_header_len);
    return start;
}

// Makes room for n peaks; the arrays only grow, so survey and
// fragmentation scans taking turns reuse the same memory. buf.n, not the
// arrays' size, counts the scan's peaks. Nothing is cleared here: each
// reader below fills its array and zeroes whatever the file does not
// supply, so no array is written twice for every peak.
void make_packet_buffers(PacketBuffers& buf, int32_t n)
{
    size_t count = n > 0 ? static_cast<size_t>(n) : 0;
    buf.n = n > 0 ? n : 0;
    if (buf.peaks.size() < count) {
        buf.peaks.resize(count);
        buf.labels.resize(count);
        buf.values.resize(count);
    }
}

// Reads up to n bytes at pos into dst and zeroes the rest of the n bytes.
static void read_or_zero(Input& in, int64_t pos, void* dst, int64_t n)
{
    int32_t got = read_at(in, pos, dst, n);
    if (got < n)
        std::memset(static_cast<char*>(dst) + got, 0, static_cast<size_t>(n - got));
}

/*
 * Reads labels, spare word and values where the version has them: always
 * for versions 64 and 66, for 62 and 63 only when 16 x n is below the
 * entry's data_size. Elements the file does not supply stay zero.
 */
void read_peak_extras(Input& in, const Nav& nav, const IndexEntry& entry,
                      FilePos packet_start, PacketBuffers& buf)
{
    buf.peak_array_pos = packet_start + packet_header_len;
    int32_t n = buf.n;
    bool extras = nav.version == 64 || nav.version == 66 ||
                  mul32(16, n) < entry.data_size;
    if (!extras) {
        if (n > 0) {
            std::memset(buf.labels.data(), 0, sizeof(PeakLabel) * static_cast<size_t>(n));
            std::memset(buf.values.data(), 0, sizeof(float) * static_cast<size_t>(n));
        }
        return;
    }
    FilePos pos = pos_add(nav.wide, buf.peak_array_pos, int64_t{8} * n);
    read_or_zero(in, pos, buf.labels.data(), int64_t{4} * n);
    pos += int64_t{4} * n + 4;  // the spare word is read and dropped
    read_or_zero(in, pos, buf.values.data(), int64_t{4} * n);
}

void read_peak_array(Input& in, PacketBuffers& buf)
{
    read_or_zero(in, buf.peak_array_pos, buf.peaks.data(), int64_t{8} * buf.n);
}

/*
 * A real instrument's packet describes itself (PacketParts): the sizes of
 * its profile part, centroid list, descriptors, value stream, triplets and
 * extra words, which together with the 40-byte head must make up exactly
 * the packet's data_size. The centroid list is a count n and n peaks of 8
 * bytes (float32 m/z) or 12 (float64 m/z); descriptors and values, when
 * present, hold one element a peak (the value stream a leading word more).
 *
 * Returns described when all of that holds and the list has peaks,
 * profile_only when the parts add up but there is no list, plain when the
 * packet does not describe itself (it then goes through the triage).
 */
PacketKind describe_packet(Input& in, FilePos pos, int32_t size,
                           PacketDescription& d)
{
    PacketParts h;
    if (pos < 0 || size < packet_header_len ||
        pos + size > in.size ||
        read_at(in, pos, &h, sizeof h) != sizeof h || h.ranges != 1)
        return PacketKind::plain;
    uint64_t words = uint64_t{h.profile_words} + h.list_words + h.label_words +
                     h.value_words + h.triplet_words + h.extra_words;
    if (sizeof h + 4 * words != static_cast<uint64_t>(size))
        return PacketKind::plain;
    if (h.list_words == 0)
        return PacketKind::profile_only;

    FilePos c = pos + int64_t{sizeof h} + 4 * int64_t{h.profile_words};
    uint32_t n = 0;
    read_at(in, c, &n, 4);
    int32_t peak_size = h.flags & packet_wide_mz ? 12 : 8;
    uint64_t list_bytes = 4 + uint64_t{n} * static_cast<uint64_t>(peak_size);
    if (n < 1 || uint64_t{4} * h.list_words != list_bytes ||
        (h.label_words != 0 && h.label_words != n) ||
        (h.value_words != 0 && h.value_words != uint64_t{n} + 1))
        return PacketKind::plain;

    FilePos after_list = c + 4 * int64_t{h.list_words};
    d.n = static_cast<int32_t>(n);  // < 2^28: the list lies inside data_size
    d.peak_size = peak_size;
    d.peaks_at = c + 4;
    d.labels_at = h.label_words != 0 ? after_list : -1;
    d.values_at = h.value_words != 0
                      ? after_list + 4 * int64_t{h.label_words} + 4
                      : -1;
    return PacketKind::described;
}

void read_described_packet(Input& in, const PacketDescription& d,
                           PacketBuffers& buf)
{
    make_packet_buffers(buf, d.n);
    size_t n = static_cast<size_t>(d.n);
    if (d.peak_size == 8) {
        read_or_zero(in, d.peaks_at, buf.peaks.data(), int64_t{8} * d.n);
    } else {
        for (size_t i = 0; i < n; i++) {
            uint8_t p[12] = {};
            read_at(in, d.peaks_at + 12 * static_cast<int64_t>(i), p, 12);
            double mz;
            std::memcpy(&mz, p, 8);
            buf.peaks[i].mz = narrow_to_float(mz);
            std::memcpy(&buf.peaks[i].intensity, p + 8, 4);
        }
    }
    if (d.labels_at >= 0)
        read_or_zero(in, d.labels_at, buf.labels.data(), int64_t{4} * d.n);
    else
        std::memset(buf.labels.data(), 0, sizeof(PeakLabel) * n);
    if (d.values_at >= 0)
        read_or_zero(in, d.values_at, buf.values.data(), int64_t{4} * d.n);
    else
        std::memset(buf.values.data(), 0, sizeof(float) * n);
}
