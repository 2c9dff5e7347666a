// context.h -- the state one conversion carries: where the file's streams
// are, and what the scan loop keeps from entry to entry.
//
// Nothing here is global: a conversion owns one Nav and one ScanContext,
// so a process can run any number of conversions one after another.
#pragma once

#include <cstdint>
#include <vector>

#include "raw/format.h"

// Navigation values found by the probes. Positions are FilePos whatever
// the file: 32-bit values sign-extended, or the 64-bit values of versions
// 64/66 of 2 GiB or more (wide).
struct Nav {
    int32_t version = 0;      // FileVersion, the word at byte 36
    FilePos filesize = 0;
    bool wide = false;        // read by 64-bit positions
    FilePos locator = 0;      // data-stream base, added to packet offsets
    int32_t index_num = 0;    // scan count as the run header gives it
    FilePos index_start = 0;
    FilePos data_start = 0;
    FilePos data_end = 0;     // first header pointer
    FilePos p = 0;            // second header pointer, 0 when none
    FilePos header_block = 0; // H: the block the count and index came from
    int32_t unkn[3] = {0, 0, 0};
    FilePos pp_start = 0;     // scan-event stream cursor
    FilePos pr_start = 0;     // trailer stream cursor
    FilePos pr_header = 0;    // trailer pointer as the header stores it
    int32_t pp_w = 0;         // v62/63: average event record width
    int32_t pr_w = 0;         // v62/63: average trailer record width
    int32_t ms1_w = 0;        // v64: survey event record width
    int32_t ms2_w = 0;        // v64: fragmentation event record width
    FilePos anchor = 0;       // byte after the header terminator
    bool header_found = false;  // a run header was read at anchor
    TrailerLayout trailer{};  // trailer fields by the file's own table,
                              // when trailer.by_table
};

struct Ms1Peak {
    float mz;
    float intensity;
    int32_t charge;
};

// What the scan loop carries from entry to entry.
struct ScanContext {
    int32_t scan_number = 1;
    int32_t scan_count = 0;
    bool header_written = false;
    int32_t last_ms1_index = 0;
    int32_t ms1_last_peak = 0;
    float ion_injection_time = 0;
    int16_t charge_state = 0;
    int32_t elite_layout = 0;
    int32_t ms_level = 0;
    char instrument_type[5] = "?";
    double precursor_mz = 0;
    int32_t precursor_index = 0;
    bool precursor_read = false;   // the scan event supplied precursor_mz
    bool precursor_found = false;  // the lookup ended on a survey peak
                                   // within tolerance
    double monoisotopic_mz = 0;    // the trailer's, 0 where none is given
    // Trailers come through the file's field table: a lookup that finds
    // no survey peak then gives no peak charge.
    bool trailer_table = false;

    // Kept between scans because a short read leaves earlier bytes in place.
    PacketHeader header{};
    EventPreamble preamble{};

    // The last survey scan's peaks; never shrinks, never cleared.
    std::vector<Ms1Peak> ms1;
};
