// msformat.h -- the MS1 and MS2 text formats.
#pragma once

#include <cstdint>

#include "context.h"
#include "output/outfile.h"
#include "raw/raw.h"

void print_file_head_ms2(OutFile& out, const char* instrument_type,
                         int32_t index_num);
void print_file_head_ms1(OutFile& out, const char* instrument_type,
                         int32_t index_num);
void print_scan_ms1(OutFile& out, const IndexEntry& entry,
                    const ScanContext& ctx);
void print_scan_ms2(OutFile& out, const IndexEntry& entry,
                    const ScanContext& ctx);
// Writes the scan's peak lines; a survey scan's peaks also go into ctx.ms1.
void print_peaks(OutFile& out, int32_t version, bool survey,
                 const PacketBuffers& buf, ScanContext& ctx);
