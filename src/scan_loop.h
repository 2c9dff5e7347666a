// scan_loop.h -- the one loop of a conversion and the run around it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "context.h"
#include "output/outfile.h"
#include "raw/input.h"

// What one conversion did, for the summary line and for tests.
struct RunCounts {
    int32_t entries = 0;   // index entries visited
    int32_t ms1_scans = 0;
    int32_t ms2_scans = 0;
    int32_t rejected = 0;
    int32_t rejected_profile = 0;  // of those, profile packets without a
                                   // centroid list
};

// Converts the scans of index into ms1 and ms2. Stops early only when an
// output fails. show_progress redraws a percentage on standard error.
void run_scan_loop(Input& in, Nav& nav, const std::vector<IndexEntry>& index,
                   ScanContext& ctx, OutFile& ms1, OutFile& ms2,
                   RunCounts& counts, bool show_progress);

// Why a run converted nothing, for the message on standard error.
enum class NoScans { none, version, no_header, empty_index, too_large };

// Probes, loads the index and runs the loop over an opened input. Returns
// why nothing could be converted, if so.
NoScans convert_input(Input& in, OutFile& ms1, OutFile& ms2, RunCounts& counts,
                      Nav* nav_out, bool show_progress,
                      int32_t max_entries = INT32_MAX);

// The whole program: arguments as main gets them; the completion line,
// "File not found!" and the answers to -h and -V go to out, diagnostics to
// err. Returns the exit status: every way a run ends, with its status, is
// listed in Ending (driver.cpp).
int kolvex_main(int argc, char** argv, FILE* out, FILE* err);
