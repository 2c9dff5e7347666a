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
// Sets ctx.precursor_index, and ctx.precursor_found when that element is a
// peak of the latest survey scan within the version's tolerance.
void find_precursor(double precursor_mz, int32_t version, ScanContext& ctx);
void refine_precursor(int32_t version, ScanContext& ctx);
// The m/z that a fragmentation scan's S and Z lines carry: the instrument's
// monoisotopic m/z when its trailer gives a positive one and the scan event
// gave a precursor; else the event's precursor m/z.
double reported_precursor(const ScanContext& ctx);
// The charge of the chosen survey peak, or 0 when trailers come through a
// field table and the lookup found no peak: a neighbour's charge would
// then be a guess.
int32_t lookup_charge(const ScanContext& ctx);
void print_charge_lines(OutFile& out, double precursor_mz, int32_t zp,
                        int16_t zt);
