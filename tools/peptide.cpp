// peptide.cpp -- synthetic runs of tryptic peptides for search-engine checks.
#include "peptide.h"

#include <algorithm>
#include <cmath>

namespace fixture {

namespace {

// Monoisotopic residue masses of the 20 standard amino acids, cysteine
// unmodified; indexed by letter - 'A', 0 where no residue has the letter.
constexpr double residue_table[26] = {
    71.03711381,   // A
    0,             // B
    103.00918451,  // C
    115.02694303,  // D
    129.04259309,  // E
    147.06841391,  // F
    57.02146372,   // G
    137.05891186,  // H
    113.08406398,  // I
    0,             // J
    128.09496302,  // K
    113.08406398,  // L
    131.04048491,  // M
    114.04292744,  // N
    0,             // O
    97.05276385,   // P
    128.05857751,  // Q
    156.10111103,  // R
    87.03202841,   // S
    101.04767847,  // T
    0,             // U
    99.06841391,   // V
    186.07931295,  // W
    0,             // X
    163.06332853,  // Y
    0,             // Z
};

double residue_mass(char c) {
    if (c < 'A' || c > 'Z') return 0;
    return residue_table[c - 'A'];
}

// xorshift32: the same noise on every platform for a given seed.
struct Noise {
    uint32_t s;
    uint32_t next() {
        s ^= s << 13;
        s ^= s >> 17;
        s ^= s << 5;
        return s;
    }
    // Uniform in [lo, hi).
    double between(double lo, double hi) {
        return lo + (hi - lo) * static_cast<double>(next() % 1000000u) / 1000000.0;
    }
};

bool by_mz(const Peak& a, const Peak& b) { return a.mz < b.mz; }

}  // namespace

double peptide_mass(const std::string& seq) {
    if (seq.empty()) return -1;
    double m = water_mass;
    for (char c : seq) {
        double r = residue_mass(c);
        if (r == 0) return -1;
        m += r;
    }
    return m;
}

std::vector<double> fragment_ions(const std::string& seq) {
    std::vector<double> ions;
    double b = proton_mass;
    double y = water_mass + proton_mass;
    size_t n = seq.size();
    for (size_t i = 0; i + 1 < n; i++) {
        b += residue_mass(seq[i]);
        y += residue_mass(seq[n - 1 - i]);
        ions.push_back(b);
        ions.push_back(y);
    }
    std::sort(ions.begin(), ions.end());
    return ions;
}

double peptide_mz(const std::string& seq, int32_t z) {
    return (peptide_mass(seq) + z * proton_mass) / z;
}

File peptide_run(const std::vector<std::string>& sequences, int32_t version,
                 int32_t noise_peaks, uint32_t seed) {
    File f;
    f.version = version;
    Noise r{seed == 0 ? 1u : seed};
    double t = 0.10;  // start time, minutes

    Scan survey;
    survey.survey = true;
    survey.analyzer = 4;
    survey.extras = true;
    survey.start_time = t;
    survey.low_mass = 300;
    survey.high_mass = 2000;
    survey.injection_time = 12.5f;
    for (const std::string& seq : sequences) {
        Peak p;
        p.mz = static_cast<float>(peptide_mz(seq, 2));
        p.intensity = static_cast<float>(r.between(2e6, 9e6));
        p.charge_code = 2 * 256;
        p.value = static_cast<float>(r.between(1e4, 9e4));
        survey.peaks.push_back(p);
    }
    // Weak singly charged background, far weaker than any precursor.
    for (int32_t i = 0; i < 4 * noise_peaks; i++) {
        Peak p;
        p.mz = static_cast<float>(r.between(300, 2000));
        p.intensity = static_cast<float>(r.between(1e3, 5e4));
        p.value = static_cast<float>(r.between(10, 900));
        survey.peaks.push_back(p);
    }
    std::sort(survey.peaks.begin(), survey.peaks.end(), by_mz);
    f.scans.push_back(survey);

    for (const std::string& seq : sequences) {
        t += 0.01;
        Scan s;
        s.survey = false;
        s.analyzer = 4;
        s.start_time = t;
        s.injection_time = 50.0f;
        s.charge_state = 2;
        s.precursor_mz = peptide_mz(seq, 2);
        double mass = peptide_mass(seq);
        s.low_mass = 100;
        s.high_mass = std::min(2000.0, std::floor(mass + 20));
        for (double ion : fragment_ions(seq)) {
            Peak p;
            p.mz = static_cast<float>(ion);
            p.intensity = static_cast<float>(r.between(2e4, 1e5));
            s.peaks.push_back(p);
        }
        for (int32_t i = 0; i < noise_peaks; i++) {
            Peak p;
            p.mz = static_cast<float>(r.between(s.low_mass, s.high_mass));
            p.intensity = static_cast<float>(r.between(5e2, 4e3));
            s.peaks.push_back(p);
        }
        std::sort(s.peaks.begin(), s.peaks.end(), by_mz);
        f.scans.push_back(s);
    }
    return f;
}

}  // namespace fixture
