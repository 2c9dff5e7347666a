// peptide.h -- synthetic runs whose spectra come from real peptide sequences.
//
// A search engine must be able to identify the fragmentation scans of such a
// run: each holds the singly charged b and y ions of one tryptic peptide
// (monoisotopic masses) among a few noise peaks, and the survey scan before
// it holds the peptide's doubly charged precursor, labelled charge 2.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "fixture.h"

namespace fixture {

constexpr double proton_mass = 1.007276;
constexpr double water_mass = 18.0105646863;

// Monoisotopic neutral mass of a peptide of the 20 standard residues
// (upper-case one-letter codes); -1 when seq holds any other letter.
double peptide_mass(const std::string& seq);

// The peptide's charge-1 fragment ions, ascending: b1..b(n-1) and
// y1..y(n-1).
std::vector<double> fragment_ions(const std::string& seq);

// m/z of the peptide at charge z: (M + z x proton) / z.
double peptide_mz(const std::string& seq, int32_t z);

// A data-dependent run of the given version: one survey scan, then one
// fragmentation scan per peptide, in the order given. The survey scan
// holds every precursor (charge code 2 x 256) among noise peaks; each
// fragmentation scan carries its peptide's charge-2 precursor m/z in its
// scan event, trailer charge state 2, and the peptide's b and y ions among
// `noise_peaks` weaker noise peaks. Deterministic for a given seed.
// Sequences must satisfy peptide_mass(seq) > 0.
File peptide_run(const std::vector<std::string>& sequences, int32_t version = 66,
                 int32_t noise_peaks = 20, uint32_t seed = 1);

}  // namespace fixture
