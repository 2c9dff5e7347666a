// raw.h -- finding the way through a raw file and decoding its scans.
#pragma once

#include <cstdint>
#include <vector>

#include "context.h"
#include "raw/input.h"

// Run-header probes: fill nav and return the data-stream base (0 when no
// run header is found, nav.header_found then false).
FilePos get_data_start(Input& in, Nav& nav);   // versions 62, 63
FilePos get_data_start2(Input& in, Nav& nav);  // versions 64, 66

// Reads the run header at anchor into nav (nav.version, filesize and wide
// set). Returns whether every value it read lay wholly inside the file.
bool read_run_header(Input& in, Nav& nav, FilePos anchor);

// Whether the run header in nav may be trusted. Read by 32-bit positions:
// the data-stream base and the index lie inside the file. Read by 64-bit
// positions: every value in order, the index ending where the event stream
// begins, and the header block holding its own position and, at data_end,
// the data-stream base.
bool run_header_credible(Input& in, const Nav& nav);

// The anchor of the run header found by the file's structure, for files
// whose header search fails; -1 when none can be trusted. wide: read by
// 64-bit positions, the header block vouching for itself as well.
FilePos find_anchor_by_structure(Input& in, int32_t version, bool wide);

// Scan-event layout probes.
bool has_signature(Input& in, FilePos q);  // preamble signature window at q
int32_t check_elite(Input& in, const Nav& nav, FilePos start);
void check_velos1(Input& in, Nav& nav, FilePos start);
FilePos find_next_pp(Input& in, FilePos r);

// Scan-index loaders: fill index and return the number of entries to visit.
int32_t gen_index_table(Input& in, const Nav& nav,
                        std::vector<IndexEntry>& index);   // 62, 63
int32_t gen_index_table3(Input& in, const Nav& nav,
                         std::vector<IndexEntry>& index);  // 64
int32_t gen_index_table2(Input& in, const Nav& nav,
                         std::vector<IndexEntry>& index);  // 66

// Per-scan streams.

// Finds the trailer field table in front of the scan index and fills out
// with the record layout it gives. Returns the table's offset, or -1 when
// the file has none (the version's fixed layout then applies).
int64_t find_trailer_table(Input& in, const Nav& nav, TrailerLayout& out);
void read_trailer(Input& in, Nav& nav, ScanContext& ctx);
void read_scan_event(Input& in, Nav& nav, ScanContext& ctx);
int32_t event_preamble_len(int32_t version);
// The scan event of entry from the record at r of a described stream (see
// below): MS level, analyzer, and for levels 2 to 10 the last reaction's
// precursor, looked up in the survey list. Returns whether the record is
// read with confidence: a level of 1 to 10 and the entry's mass range.
bool read_scan_event_at(Input& in, const Nav& nav, FilePos r,
                        const IndexEntry& entry, ScanContext& ctx);

/*
 * Walks n event records from nav.pp_start through their own counts. The
 * stream is described when every record is one and the last ends 4 bytes
 * before the trailer pointer as stored (nav.pr_header); nothing at or past
 * that pointer is read. Returns true and the n record starts in starts
 * when described; false and starts empty otherwise.
 */
bool walk_event_stream(Input& in, const Nav& nav, int32_t n,
                       std::vector<FilePos>& starts);

// What a record of a described stream holds for its scan.
struct CountedEvent {
    int8_t ms_level = 0;     // preamble byte 6
    uint8_t analyzer = 0;    // preamble byte 40
    uint32_t reactions = 0;  // nr
    double precursor_mz = 0; // the last reaction's, 0 without one
    double low_mass = 0;     // low end of the first mass range
    double high_mass = 0;    // high end of the last
};
// Reads the record at r, one that walk_event_stream returned.
void read_counted_event(Input& in, int32_t version, FilePos r,
                        CountedEvent& ev);

struct PacketBuffers {
    std::vector<PacketPeak> peaks;
    std::vector<PeakLabel> labels;
    std::vector<float> values;
    int32_t n = 0;               // peaks of this scan; the arrays hold at least n
    FilePos peak_array_pos = 0;  // packet start + 44
};

// Where entry's packet starts: the data-stream base plus its offset (by
// 32-bit positions the low half, wrapping around; by 64-bit positions the
// whole offset, and the end of the file for a sum outside it).
FilePos packet_start(const Nav& nav, const IndexEntry& entry);
// Whether a packet header's peak count n may size the peak buffers: not
// negative, and its peaks could lie in the file and in one below 2 GiB.
bool peak_array_fits(const Nav& nav, int32_t n);
// Reads the 44-byte header of entry's packet into ctx.header; returns the
// packet start.
FilePos read_packet_header(Input& in, const Nav& nav, const IndexEntry& entry,
                           ScanContext& ctx);
void make_packet_buffers(PacketBuffers& buf, int32_t n);

// Where the parts of a packet that describes itself lie.
struct PacketDescription {
    int32_t n = 0;          // peaks in the centroid list
    int32_t peak_size = 8;  // 8: float32 m/z; 12: float64 m/z
    FilePos peaks_at = 0;   // first peak
    FilePos labels_at = -1; // first descriptor, -1: none
    FilePos values_at = -1; // first value, -1: none
};
enum class PacketKind {
    plain,         // no self-description: the triage decides
    described,     // a centroid list: converted from it
    profile_only,  // self-described, but without a centroid list
};
// Reads the self-description of the packet of size bytes at pos.
PacketKind describe_packet(Input& in, FilePos pos, int32_t size,
                           PacketDescription& d);
// Reads a described packet's peaks, labels and values into buf.
void read_described_packet(Input& in, const PacketDescription& d,
                           PacketBuffers& buf);
void read_peak_extras(Input& in, const Nav& nav, const IndexEntry& entry,
                      FilePos packet_start, PacketBuffers& buf);
void read_peak_array(Input& in, PacketBuffers& buf);
