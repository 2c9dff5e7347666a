// fuzz_packet.cpp -- one peak packet (PacketWords) as the scan loop reads
// it: its self-description and, for a described packet, its peaks,
// descriptors and values; for any other packet the 44-byte header and the
// fixed-layout reads of labels, values and peaks.
//
// The fixed-layout reads run whatever the triage would decide, so every
// peak count reaches them. Property: a described packet is read only
// inside its data_size, every part it names lying there too.
#include "harness.h"
#include "raw/raw.h"

int fuzz_packet(const uint8_t* data, size_t size)
{
    PacketWords w;
    if (!read_words(data, size, w))
        return 0;
    Nav nav;
    nav.version = w.version;
    nav.filesize = static_cast<FilePos>(size);
    Fence fence(data, size);
    PacketBuffers buf;

    int64_t end = int64_t{w.pos} + w.size;
    Input in = fence.only(w.pos, end);
    PacketDescription d;
    PacketKind kind = describe_packet(in, w.pos, w.size, d);
    if (kind == PacketKind::described) {
        FUZZ_CHECK(d.n >= 1 && (d.peak_size == 8 || d.peak_size == 12));
        FUZZ_CHECK(d.peaks_at >= int64_t{w.pos} + 44 &&
                   d.peaks_at + int64_t{d.peak_size} * d.n <= end);
        FUZZ_CHECK(d.labels_at < 0 || (d.labels_at >= d.peaks_at &&
                                       d.labels_at + int64_t{4} * d.n <= end));
        FUZZ_CHECK(d.values_at < 0 || (d.values_at >= d.peaks_at &&
                                       d.values_at + int64_t{4} * d.n <= end));
        read_described_packet(in, d, buf);
        FUZZ_CHECK(buf.n == d.n && buf.peaks.size() >= static_cast<size_t>(d.n));
        return 0;
    }

    in = fence.all();
    ScanContext ctx;
    IndexEntry entry{};
    entry.packet_offset = w.pos;
    entry.data_size = w.size;
    FilePos start = read_packet_header(in, nav, entry, ctx);
    int32_t n = ctx.header.peak_count;
    // As the scan loop does: a count the file could not hold has no peaks.
    if (!peak_array_fits(nav, n))
        n = 0;
    make_packet_buffers(buf, n);
    read_peak_extras(in, nav, entry, start, buf);
    read_peak_array(in, buf);
    return 0;
}

FUZZ_ENTRY(fuzz_packet)
