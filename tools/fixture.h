// fixture.h -- writes synthetic raw files of versions 62, 63, 64 and 66.
//
// A test describes the scans it wants as data and gets back the bytes of a
// raw file laid out the way the converter navigates it: version word at
// byte 36, a UTF-16LE method file name (".meth" marker) followed by the
// family's header terminator, the run header at the anchor, the header
// blocks at data_end and P (then a trailer field table when asked for),
// the scan index, the peak packets, the scan-event stream and the trailer
// stream (last, so that the average trailer width of versions 62/63 comes
// out as the record width). Versions 64 and 66 store every position as a
// signed 64-bit value, and each of their header blocks also holds the data
// stream's base (+7416) and its own position (+7472), as instruments write
// them; write_twin() moves such a file past 2^32.
// Without marker and terminator the header stays where it was, to be
// found by the file's structure alone.
//
// Every field a test may want to break has a knob; defaults give a clean,
// realistic file.
//
// With File::counted_events the event stream is written as instruments
// write it: one record per index entry, back to back from pp_start, each
// telling its own length through its counts. Record at r (L the preamble
// length 120/128/128/136 of 62/63/64/66, R the reaction size, 32 bytes or
// 56 for v66; u32 words):
//   r+0 four zero bytes; r+4 the preamble (signature, ms_level at 6,
//   FF FF FF FF at 28, analyzer at 40); r+4+L nr, then nr reactions of R
//   bytes (precursor m/z as float64 first); nm, then nm mass ranges (low,
//   high as float64); np, then np float64 parameters; a, then a x 8 bytes;
//   v66 four more bytes.
// The last record ends 4 bytes (a u32: the trailer record count) before
// the trailer pointer T that the header stores, so that r(N) + 4 == T.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace fixture {

struct Peak {
    float mz = 0;
    float intensity = 0;
    int16_t charge_code = 0;  // label array word at byte 2 (charge x 256)
    float value = 0;          // value array element
};

// A peak packet laid out as a real instrument writes it: eight u32 words
// (ranges, profile P, list L, flags, descriptors D, values U, triplets T,
// extra X), the range's low and high m/z as f32, then the parts in that
// order. The defaults describe a centroid list of the scan's peaks with
// one descriptor and one value a peak.
struct Described {
    uint32_t ranges = 1;          // w0; only 1 describes the packet
    uint32_t profile_words = 0;   // P words of filler before the list
    bool centroids = true;        // false: no list (L = 0), profile only
    bool wide = false;            // 12-byte peaks: float64 m/z
    uint32_t other_flags = 0;     // flag bits besides the wide one
    bool labels = true;           // D = n descriptors (charge_code at byte 2)
    bool values = true;           // U = n + 1: a leading word, then values
    uint32_t triplet_words = 0;   // T words of filler
    uint32_t extra_words = 0;     // X words of filler
    int32_t uncounted = 0;        // filler bytes after the parts that no
                                  // word counts: the sizes no longer add up
};

struct Scan {
    bool survey = true;            // index scan_event word: 0 when survey, else 1
    std::vector<Peak> peaks;
    std::optional<uint16_t> scan_event_word;  // that word as given instead
                                              // (65535 as newer files have)

    // Scan-event record.
    std::optional<int8_t> ms_level;  // default: 1 for survey, 2 otherwise
    uint8_t analyzer = 4;            // 0 "ITMS", 4 "FTMS", other "?"
    double precursor_mz = 0;         // written at record offset 8 + L
    std::optional<int32_t> event_width;  // record width; default: what the
                                         // converter's cursor moves by for
                                         // this scan (by ms_level when it is
                                         // converted; 0 = no record for a
                                         // rejected scan with peaks and for
                                         // a rejected v66 survey scan with
                                         // none); 0 writes no record
    bool event_gap = false;  // put 100 bytes of zero padding before this
                             // record (v63: the resync search must find it)
    std::optional<std::array<uint8_t, 4>> signature;  // preamble bytes 0-3;
                             // default 01 00 02 01 (File::newer_signature:
                             // 01 01 02 01)

    // Counted records only (File::counted_events).
    std::optional<std::vector<double>> reactions;  // precursor m/z of each
                             // reaction; default {precursor_mz} for levels
                             // 2..10, else none (MS3: two, the last one's
                             // precursor is the scan's)
    std::optional<std::vector<std::pair<double, double>>> mass_ranges;
                             // low, high m/z; default {{low_mass, high_mass}}
    uint32_t params = 4;     // float64 parameters
    uint32_t tail = 2;       // 8-byte tail entries
    std::optional<uint32_t> reaction_count_word;  // nr as written, when it
    std::optional<uint32_t> range_count_word;     // (nm) must lie about the
                                                  // data behind it

    // Index entry.
    double start_time = 0;
    double low_mass = 100, high_mass = 2000;
    std::optional<int32_t> data_size;      // default: bytes actually written
    std::optional<int64_t> packet_offset;  // default: where it was written
    uint32_t aux_00 = 0;                   // v66 only: entry bytes 0-3
    uint64_t aux_80 = 0;                   // v66 only: entry bytes 80-87
    uint32_t v64_word0 = 0;                // v64 only: record bytes 0-3

    // Trailer record.
    float injection_time = 0;
    int16_t charge_state = 0;
    std::optional<double> mono_mz;  // by a field table only: the first
                                    // "Monoisotopic M/Z" field gets it; unset
                                    // leaves the field's filler

    // Peak packet.
    std::optional<int32_t> peak_count;  // header word at byte 40; default
                                        // peaks.size()
    bool extras = false;       // write label array, spare word, value array
    std::optional<int32_t> trailing;  // bytes after the value array (or
                                      // after the peaks); default 0, or 100
                                      // with extras (passes triage rule 3)
    bool write_packet = true;  // false: no packet bytes at all (only header
                               // offset in index); use with packet_offset
    std::optional<Described> described;  // write the packet self-described
                                         // instead (peak_count, extras and
                                         // trailing then do not apply)
};

// One field of a trailer field table: type (0-13), length (of text types
// 12 and 13), label.
struct TrailerField {
    uint32_t type = 0;
    uint32_t length = 0;
    std::string label;
};

enum class HeaderPath {
    p_zero,        // P = 0: everything from the data_end block
    p_nonzero,     // P != 0: count/index from P block (streams: see below)
    p_count_zero,  // v64/66: P != 0 but count 0 at P+12 -> data_end+7376
};

struct File {
    int32_t version = 66;
    std::vector<Scan> scans;

    HeaderPath path = HeaderPath::p_nonzero;
    // v62/63: stream offsets at data_end+7368/7372 are 0, taken from
    // P+7368/7372 instead (P+7368 absolute 7368 when path is p_zero).
    bool streams_at_p = false;

    std::optional<int32_t> index_num;   // header count; default scans.size()
    bool marker = true;                 // write the ".meth" marker
    bool terminator = true;             // write the header terminator
    int32_t elite_layout = 1;           // v66: 1 -> 232/288, 0 -> 232/232
    int32_t v63_wide = 0;               // v63: 1 -> survey events 220 wide
                                        // (pp_w > 196), 0 -> 164 (<= 196)
    int32_t v63_trailer_wide = 1;       // v63: 1 -> 305-byte trailers
                                        // (pr_w > 300), 0 -> 31-byte
    int32_t v64_ms1_w = 240;            // v64 event widths
    int32_t v64_ms2_w = 280;
    int32_t data_start_pad = 0;         // extra bytes before the data stream
    std::optional<int32_t> truncate_at; // cut the finished file here

    // A trailer field table between the header blocks and the index. The
    // trailer records then follow the table: record k at the stored
    // trailer pointer + k x width, filler but for the first fields labelled
    // "Ion Injection Time", "Charge State" and "Monoisotopic M/Z". By the
    // field's type: 11 float64, 10 float32, 1 and 5-9 an integer of its
    // size (truncated, saturating). Besides, the time goes as a float into
    // any other 4- or 8-byte field and the charge as an integer into any
    // 1-, 2- or 4-byte one: the converter must read only the types it knows.
    std::optional<std::vector<TrailerField>> trailer_table;
    // Bytes written in the table's place instead; the records keep the
    // version's fixed layout (for tables the converter must not take).
    std::optional<std::vector<uint8_t>> trailer_table_raw;

    // The event stream in the counted grammar (see the top of this file):
    // one record per index entry, rejected scans included; event_width,
    // event_gap and the v63 padding do not apply then.
    bool counted_events = false;
    int32_t counted_slack = 0;     // zero bytes between the last record and
                                   // the word before T: the stream then
                                   // closes that many bytes off (>= 0)
    bool newer_signature = false;  // every record signed 01 01 02 01
};

// Offsets of what was written, so tests can assert the converter's view.
// Positions are 64-bit: versions 64 and 66 store them so, and a run of
// those versions may pass 2 GiB.
struct Layout {
    int64_t anchor = 0;       // byte after the terminator
    int64_t data_start = 0;   // data-stream base (locator)
    int64_t data_end = 0;     // first header block
    int64_t p = 0;            // second header block (0 when none)
    int64_t index_start = 0;
    int32_t index_num = 0;
    int64_t pp_start = 0;     // scan-event stream start
    int64_t pr_start = 0;     // trailer stream start as the converter sees
                              // it after its adjustment (+3 or +24; none
                              // with a field table)
    int64_t pr_header = 0;    // value stored in the header
    std::vector<int64_t> packet_pos;   // absolute packet start per scan, as
                                       // the converter finds it (below 2 GiB
                                       // and in 62/63: the offset's low 32
                                       // bits added with wrap-around)
    std::vector<int64_t> event_pos;    // absolute event record start per scan
    std::vector<int64_t> trailer_pos;  // absolute trailer record per scan
    int64_t trailer_table = -1;  // offset of the table (or raw bytes), -1 none
    int32_t trailer_width = 0;   // bytes per trailer record
    int32_t trailer_time_at = -1;    // by a table: where each record holds
    int32_t trailer_charge_at = -1;  // the time, charge and monoisotopic
    int32_t trailer_mono_at = -1;    // m/z (-1: nowhere)
    int64_t filesize = 0;
};

// The file's bytes. Versions 62 and 63 hold 32-bit positions only: a file
// of theirs whose positions would reach 2 GiB is refused, and build()
// returns no bytes at all (every file it writes has a header area).
std::vector<uint8_t> build(const File& f, Layout* layout = nullptr);

// A field table as instruments write it: a few fields around the
// injection time (float32, or float64 with time_type 11) and the charge
// state (int16 by default; any of types 1, 5-9), one of them text, and a
// float64 monoisotopic m/z.
std::vector<TrailerField> realistic_trailer_table(uint32_t time_type = 10,
                                                  uint32_t charge_type = 6);

// The bytes of a field table: u32 count, then per field u32 type, u32
// length, u32 label length in characters and the UTF-16LE label.
std::vector<uint8_t> trailer_table_bytes(const std::vector<TrailerField>& fields);

// Writes bytes to path; returns false on failure.
bool write_file(const std::string& path, const std::vector<uint8_t>& bytes);

// How a realistic run looks beyond its peaks. The default writes the files
// the fixed places read; each flag makes it more like a real instrument's.
// A seed gives the same scans in every style, but for what partial_surveys
// moves.
struct RunStyle {
    bool counted_events = false;   // the event stream in the counted grammar
    bool real_trailers = false;    // realistic_trailer_table(), with each
                                   // fragmentation scan's monoisotopic m/z:
                                   // mostly its precursor, some one or three
                                   // isotope steps (1.00335 / z) below, a
                                   // few 0 and -1.0; survey scans 0
    bool partial_surveys = false;  // survey peaks only over m/z 600-1000, a
                                   // quarter of the precursors above 1050,
                                   // where their lookups miss
    bool described_packets = false;  // every packet self-described (the
                                     // Described defaults)
};

// A realistic data-dependent run: repeated cycles of one survey scan of
// `survey_peaks` ascending peaks (label and value arrays written) followed
// by `frags_per_cycle` fragmentation scans whose precursors are peaks of
// that survey scan. Deterministic for a given seed and style.
File realistic_run(int32_t version, int32_t cycles, int32_t survey_peaks,
                   int32_t frags_per_cycle, int32_t frag_peaks, uint32_t seed,
                   const RunStyle& style = {});

// Writes build(realistic_run(...)) to path, byte for byte the same, in
// chunks: neither the run nor the file is held in memory whole. Returns
// false, and leaves no file, when the file cannot be written or build()
// would refuse it.
bool write_realistic_run(const std::string& path, int32_t version, int32_t cycles,
                         int32_t survey_peaks, int32_t frags_per_cycle,
                         int32_t frag_peaks, uint32_t seed, Layout* layout = nullptr,
                         const RunStyle& style = {});

// Where a small version 64 or 66 file keeps what its twin moves.
struct TwinSource {
    int32_t version = 66;
    int64_t anchor = 0, data_start = 0, data_end = 0, p = 0;
    int64_t index_start = 0;
    int32_t index_num = 0;
};

// The source of a generated file.
TwinSource twin_source(const File& f, const Layout& lay);

// How a twin moves its source. The defaults give a twin of about 6.5 GiB
// that takes a few MB of disk: its data stream starts below 2^31, packets
// lie past 2^31 and 2^32, header blocks, index and streams past 2^32.
struct TwinPlan {
    int64_t data_base = (int64_t{1} << 31) - 4096;  // the twin's data_start
    int64_t hole = int64_t{3} << 29;  // 1.5 GiB of hole in each chosen packet
    int32_t holes = 3;                // packets that get one
    int64_t self_pointer_skew = 0;    // added to every block's self-pointer
    int64_t data_copy_skew = 0;       // added to every block's data copy
};

// Where the twin holds what the converter navigates by.
struct TwinLayout {
    int64_t data_start, data_end, p, index_start, pp_start, trailer_pointer, filesize;
    std::vector<int64_t> packet_pos;
    int32_t holes;  // packets that got one (fewer when fewer describe themselves)
};

// Writes to path a sparse twin of the small file src: the same packets,
// index, events and trailers at other positions, so that it converts to
// exactly the bytes of src's outputs. Bytes [0, data_start) stay where
// they are but for the run header's positions; the packets, back to back
// in index order in src (else refused), go back to back from
// plan.data_base, and in the first plan.holes packets that describe
// themselves (one range, parts that account for every byte) a hole of
// plan.hole bytes follows the profile part, which grows by it. Everything
// behind the data stream moves as one, but for the index entries' offsets
// and sizes and the header blocks' pointers, which follow (a pointer that
// does not hold what it should is left alone). Holes are never written:
// the file is sparse, and only src is held in memory. Returns "" or why
// not (no file is left then).
std::string write_twin(const std::vector<uint8_t>& src, const TwinSource& s,
                       const TwinPlan& plan, const std::string& path,
                       TwinLayout* out = nullptr);

// Approximate file size of a realistic run: fixed_bytes() plus
// realistic_cycle_bytes(...) per cycle (peak counts as given).
int64_t realistic_cycle_bytes(int32_t version, int32_t survey_peaks,
                              int32_t frags_per_cycle, int32_t frag_peaks,
                              const RunStyle& style = {});
int64_t fixed_bytes();

}  // namespace fixture
