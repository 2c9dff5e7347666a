// expect.h -- the text kolvex should write for a synthetic raw file,
// composed from the fixture's own scan list and the output format rules.
//
// Nothing here calls the converter: numbers are truncated by exact
// decimal arithmetic of our own, and the run is replayed from the
// fixture's description (which record each scan reads, which survey
// peak each precursor meets) rather than from the file's bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fixture.h"

namespace expect {

// A float32 written with `places` truncated decimals: integer digits
// without leading zeros (none for 0), a point, exactly `places` digits.
// For non-negative values below 2^31.
std::string fixed(float v, int places);
inline std::string mz(float v) { return fixed(v, 4); }
inline std::string intensity(float v) { return fixed(v, 1); }

// The fourth column of a version 64/66 survey peak: the value truncated
// to an integer, empty for 0.
std::string value_column(float v);

// The 13 header lines of each file.
std::string head_ms1(const std::string& instrument, int32_t index_num);
std::string head_ms2(const std::string& instrument, int32_t index_num);

std::string s_ms1(int32_t scan);
std::string s_ms2(int32_t scan, double precursor_mz);

// Survey scan record lines (S and three I lines).
std::string scan_ms1(int32_t scan, double rt, float injection,
                     const std::string& instrument);
// Fragmentation scan record lines up to PrecursorInt (no Z lines).
std::string scan_ms2(int32_t scan, double precursor_mz, double rt, float injection,
                     const std::string& instrument, double low, double high,
                     int32_t precursor_scan, float precursor_int);
// The Z lines for peak charge zp and trailer charge zt.
std::string z_lines(double p, int32_t zp, int32_t zt);

// One peak line; survey lines of versions 64/66 carry charge and value.
std::string peak_line(float mz, float intensity);
std::string peak_line4(float mz, float intensity, int32_t charge, float value);

// What a replay of a fixture file says about each index entry.
struct ScanResult {
    bool converted = false;
    int8_t ms_level = 0;       // of the record the scan read
    std::string instrument;
    double precursor_mz = 0;
    int32_t precursor_index = 0;
};

struct Outputs {
    std::string ms1, ms2;
    std::vector<ScanResult> scans;
    int32_t converted_ms1 = 0, converted_ms2 = 0;
    bool modelled = true;  // false: the run left what the replay models
    std::string why;       // ... and where
};

// Replays a run over the file that fixture::build(f, &lay) wrote. It
// models the triage, the three streams (trailers by position, events by
// the version's widths with the signature check, the measured layout of
// versions 64/66), the precursor lookup and the text of every line.
// It needs packets that hold at least their peak count of peaks (or a
// count that turns into no peaks), event records of 36 bytes or more, a
// cursor that never has to read where no record starts, and survey scans
// of versions 64/66 whose label/value reads find zeros where the fixture
// wrote no extras (at most 10 peaks then). Anything else sets modelled
// to false.
Outputs replay(const fixture::File& f, const fixture::Layout& lay);

// The bytes fixture::build writes into a scan's packet.
int32_t packet_bytes(const fixture::Scan& s);

// Triage of a packet of n peaks and data_size s.
bool converts(int32_t version, int32_t n, int32_t s);

}  // namespace expect
