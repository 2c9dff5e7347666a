// packet.cpp -- read a scan's peak packet: the 44-byte header for the
// triage, then for a converted scan its label and value arrays and, after
// the scan event, its peak array.
//
// Packet layout, n peaks: header (44), peaks (8n), labels (4n), a spare
// word (4), values (4n). The peak array is read last although it lies
// first, because the scan event is read between the two.
#include "raw/raw.h"

#include <cstring>

static const int32_t packet_header_len = 44;

int32_t read_packet_header(Input& in, const Nav& nav, const IndexEntry& entry,
                           ScanContext& ctx)
{
    int32_t start = add32(nav.locator, static_cast<int32_t>(
                                           static_cast<uint32_t>(
                                               entry.packet_offset)));
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
                      int32_t packet_start, PacketBuffers& buf)
{
    buf.peak_array_pos = int64_t{packet_start} + packet_header_len;
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
    int64_t pos = add32(static_cast<int32_t>(buf.peak_array_pos), 8 * n);
    read_or_zero(in, pos, buf.labels.data(), int64_t{4} * n);
    pos += int64_t{4} * n + 4;  // the spare word is read and dropped
    read_or_zero(in, pos, buf.values.data(), int64_t{4} * n);
}

void read_peak_array(Input& in, PacketBuffers& buf)
{
    read_or_zero(in, buf.peak_array_pos, buf.peaks.data(), int64_t{8} * buf.n);
}
