// precursor.h -- locate a fragmentation scan's precursor among the last
// survey scan's peaks and choose its charge lines.
#pragma once

#include <cstdint>

#include "context.h"

struct OutFile;

constexpr double proton_mass = 1.007276;
constexpr double two_protons = 2.014552;
constexpr size_t ms1_initial_size = 20000;

// Sizes ctx.ms1 for a new run: 20,000 zero peaks.
void reset_ms1(ScanContext& ctx);
void find_precursor(double precursor_mz, int32_t version, ScanContext& ctx);
void refine_precursor(int32_t version, ScanContext& ctx);
void print_charge_lines(OutFile& out, double precursor_mz, int32_t zp,
                        int16_t zt);
