// raw.h -- finding the way through a raw file and decoding its scans.
#pragma once

#include <cstdint>
#include <vector>

#include "context.h"
#include "raw/input.h"

// Run-header probes: fill nav and return the data-stream base (0 when no
// run header is found, nav.header_found then false).
int32_t get_data_start(Input& in, Nav& nav);   // versions 62, 63
int32_t get_data_start2(Input& in, Nav& nav);  // versions 64, 66

// Reads the run header at anchor into nav (nav.version and filesize set).
// Returns whether every value it read lay wholly inside the file.
bool read_run_header(Input& in, Nav& nav, int32_t anchor);

// The anchor of the run header found by the file's structure, for files
// whose header search fails; -1 when none can be trusted.
int64_t find_anchor_by_structure(Input& in, int32_t version);

// Scan-event layout probes.
bool has_signature(Input& in, int32_t q);  // preamble signature window at q
int32_t check_elite(Input& in, const Nav& nav, int32_t start);
void check_velos1(Input& in, Nav& nav, int32_t start);
int32_t find_next_pp(Input& in, int32_t r);

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
bool read_scan_event_at(Input& in, const Nav& nav, int64_t r,
                        const IndexEntry& entry, ScanContext& ctx);

/*
 * Walks n event records from nav.pp_start through their own counts. The
 * stream is described when every record is one and the last ends 4 bytes
 * before the trailer pointer as stored (nav.pr_header); nothing at or past
 * that pointer is read. Returns true and the n record starts in starts
 * when described; false and starts empty otherwise.
 */
bool walk_event_stream(Input& in, const Nav& nav, int32_t n,
                       std::vector<int64_t>& starts);

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
void read_counted_event(Input& in, int32_t version, int64_t r,
                        CountedEvent& ev);

struct PacketBuffers {
    std::vector<PacketPeak> peaks;
    std::vector<PeakLabel> labels;
    std::vector<float> values;
    int32_t n = 0;               // peaks of this scan; the arrays hold at least n
    int64_t peak_array_pos = 0;  // packet start + 44
};

// Reads the 44-byte header of entry's packet into ctx.header; returns the
// packet start.
int32_t read_packet_header(Input& in, const Nav& nav, const IndexEntry& entry,
                           ScanContext& ctx);
void make_packet_buffers(PacketBuffers& buf, int32_t n);

// Where the parts of a packet that describes itself lie.
struct PacketDescription {
    int32_t n = 0;          // peaks in the centroid list
    int32_t peak_size = 8;  // 8: float32 m/z; 12: float64 m/z
    int64_t peaks_at = 0;   // first peak
    int64_t labels_at = -1; // first descriptor, -1: none
    int64_t values_at = -1; // first value, -1: none
};
enum class PacketKind {
    plain,         // no self-description: the triage decides
    described,     // a centroid list: converted from it
    profile_only,  // self-described, but without a centroid list
};
// Reads the self-description of the packet of size bytes at pos.
PacketKind describe_packet(Input& in, int32_t pos, int32_t size,
                           PacketDescription& d);
// Reads a described packet's peaks, labels and values into buf.
void read_described_packet(Input& in, const PacketDescription& d,
                           PacketBuffers& buf);
void read_peak_extras(Input& in, const Nav& nav, const IndexEntry& entry,
                      int32_t packet_start, PacketBuffers& buf);
void read_peak_array(Input& in, PacketBuffers& buf);
