// fixture_run.cpp -- realistic data-dependent runs, deterministic for a seed
// and style.
#include <cmath>
#include <cstdio>

#include "fixture_internal.h"

namespace fixture {
namespace {

// A small generator of our own, so that a seed gives the same file on
// every platform.
struct Rng {
    uint32_t s;
};

uint32_t next(Rng& r) {
    r.s ^= r.s << 13;
    r.s ^= r.s >> 17;
    r.s ^= r.s << 5;
    return r.s;
}

uint32_t below(Rng& r, uint32_t n) { return n == 0 ? 0 : next(r) % n; }

Rng seeded(uint32_t seed) {
    Rng r{seed ^ 0x9E3779B9u};
    if (r.s == 0) r.s = 1;
    for (int i = 0; i < 8; i++) next(r);
    return r;
}

// The style's choices come from a generator of their own, so that a seed
// gives the same peaks in every style.
struct RunShape {
    int32_t survey_peaks, frags, frag_peaks;
    RunStyle style;
};

constexpr double isotope_step = 1.00335;  // between a peptide's isotopes

// m/z from units of 0.0001.
float mz_of(int64_t units) { return static_cast<float>(static_cast<double>(units) / 10000.0); }

// Intensity spread over several decades: 10^e x (1.000 .. 9.999).
float intensity(Rng& r, int32_t lowest_decade) {
    double v = 1.0 + static_cast<double>(below(r, 9000)) / 1000.0;
    for (uint32_t e = below(r, 5) + static_cast<uint32_t>(lowest_decade); e > 0; e--) v *= 10.0;
    return static_cast<float>(v);
}

// n ascending peaks spread over [lo, hi) m/z units.
void spread_peaks(Rng& r, std::vector<Peak>& peaks, int32_t n, int64_t lo, int64_t hi) {
    int64_t step = n > 0 ? (hi - lo) / n : 0;
    if (step < 1) step = 1;
    for (int32_t i = 0; i < n; i++) {
        Peak p;
        int64_t jitter = below(r, static_cast<uint32_t>(step * 9 / 10 + 1));
        p.mz = mz_of(lo + i * step + jitter);
        peaks.push_back(p);
    }
}

Scan survey_scan(Rng& r, const RunShape& shape, double t) {
    Scan s;
    s.survey = true;
    s.analyzer = 4;
    s.extras = true;
    s.start_time = t;
    s.low_mass = 300;
    s.high_mass = 2000;
    s.injection_time = static_cast<float>(50 + below(r, 950)) / 100.0f;
    if (shape.style.partial_surveys)
        spread_peaks(r, s.peaks, shape.survey_peaks, 6000000, 10000000);
    else
        spread_peaks(r, s.peaks, shape.survey_peaks, 3000000, 20000000);
    if (shape.style.real_trailers) s.mono_mz = 0.0;
    if (shape.style.described_packets) s.described = Described{};
    static const int16_t charge_codes[4] = {0, 0, 2 * 256, 3 * 256};
    for (Peak& p : s.peaks) {
        p.intensity = intensity(r, 3);
        p.charge_code = charge_codes[below(r, 4)];
        p.value = static_cast<float>(below(r, 8000000)) / 100.0f;
    }
    return s;
}

// The instrument's monoisotopic m/z: mostly the precursor, some isotope
// steps below it (picked on the second or fourth isotope), some unknown.
double mono_of(Rng& st, double p, int32_t z) {
    uint32_t pick = below(st, 100);
    if (pick < 60) return p;
    if (pick < 75) return p - isotope_step / z;
    if (pick < 85) return p - 3 * isotope_step / z;
    return pick < 93 ? 0.0 : -1.0;
}

Scan frag_scan(Rng& r, Rng& st, const RunShape& shape, const Scan& survey, double t) {
    Scan s;
    s.survey = false;
    s.analyzer = 0;
    s.start_time = t;
    s.charge_state = static_cast<int16_t>(2 + below(r, 2));
    s.injection_time = static_cast<float>(1000 + below(r, 9000)) / 100.0f;
    if (survey.peaks.empty())
        s.precursor_mz = static_cast<double>(mz_of(4000000 + below(r, 10000000)));
    else
        s.precursor_mz = static_cast<double>(survey.peaks[below(r, static_cast<uint32_t>(survey.peaks.size()))].mz);
    // Sometimes off by a few 1/1024 (within every version's tolerance);
    // such offsets keep the double's low bytes zero.
    if (below(r, 4) == 0) s.precursor_mz += (static_cast<int32_t>(below(r, 21)) - 10) / 1024.0;
    // Above the partial survey's peaks, beyond every tolerance.
    if (shape.style.partial_surveys && below(st, 4) == 0)
        s.precursor_mz = static_cast<double>(mz_of(10500000 + below(st, 8000000)));
    if (shape.style.real_trailers) s.mono_mz = mono_of(st, s.precursor_mz, s.charge_state);
    if (shape.style.described_packets) s.described = Described{};
    s.low_mass = std::floor(s.precursor_mz * 0.27);
    s.high_mass = std::fmin(2000.0, std::floor(s.precursor_mz * s.charge_state) + 20.0);
    int64_t hi = static_cast<int64_t>(s.high_mass) * 10000;
    spread_peaks(r, s.peaks, shape.frag_peaks, 1000000, hi > 1100000 ? hi : 1100000);
    for (Peak& p : s.peaks) p.intensity = intensity(r, 1);
    return s;
}

// One cycle: a survey scan and its fragmentation scans. t moves on.
void realistic_cycle(Rng& r, Rng& st, const RunShape& shape, double& t, std::vector<Scan>& out) {
    out.clear();
    out.push_back(survey_scan(r, shape, t));
    for (int32_t k = 0; k < shape.frags; k++) {
        t += static_cast<double>(20 + below(r, 80)) / 10000.0;
        out.push_back(frag_scan(r, st, shape, out.front(), t));
    }
    t += static_cast<double>(20 + below(r, 80)) / 10000.0;
}

// Hands every scan of a realistic run, in order, to take.
template <typename Take>
void realistic_scans(int32_t cycles, int32_t survey_peaks, int32_t frags_per_cycle,
                     int32_t frag_peaks, uint32_t seed, const RunStyle& style, Take take) {
    Rng r = seeded(seed), st = seeded(~seed);
    RunShape shape{survey_peaks, frags_per_cycle, frag_peaks, style};
    double t = 0.05;
    std::vector<Scan> cycle;
    for (int32_t c = 0; c < cycles; c++) {
        realistic_cycle(r, st, shape, t, cycle);
        for (Scan& s : cycle) take(s);
    }
}

// The file-level knobs of a style; the others stay at their defaults.
File realistic_file(int32_t version, const RunStyle& style) {
    File f;
    f.version = version;
    f.counted_events = style.counted_events;
    if (style.real_trailers) f.trailer_table = realistic_trailer_table();
    return f;
}

}  // namespace

File realistic_run(int32_t version, int32_t cycles, int32_t survey_peaks,
                   int32_t frags_per_cycle, int32_t frag_peaks, uint32_t seed,
                   const RunStyle& style) {
    File f = realistic_file(version, style);
    realistic_scans(cycles, survey_peaks, frags_per_cycle, frag_peaks, seed, style,
                    [&](Scan& s) { f.scans.push_back(std::move(s)); });
    return f;
}

bool write_realistic_run(const std::string& path, int32_t version, int32_t cycles,
                         int32_t survey_peaks, int32_t frags_per_cycle,
                         int32_t frag_peaks, uint32_t seed, Layout* layout,
                         const RunStyle& style) {
    using namespace detail;
    File f = realistic_file(version, style);
    Out o;
    o.fp = std::fopen(path.c_str(), "wb");
    if (o.fp == nullptr) return false;
    Plan plan;
    begin(o, f, plan);
    realistic_scans(cycles, survey_peaks, frags_per_cycle, frag_peaks, seed, style,
                    [&](Scan& s) { add_scan(o, f, plan, s); });
    finish(o, f, plan);
    bool ok = std::fclose(o.fp) == 0 && o.ok;
    // A refused or broken file is no run: none is left behind.
    if (!ok) std::remove(path.c_str());
    settle_packet_pos(f, plan.lay);
    if (layout != nullptr) *layout = plan.lay;
    return ok;
}

int64_t realistic_cycle_bytes(int32_t version, int32_t survey_peaks,
                              int32_t frags_per_cycle, int32_t frag_peaks,
                              const RunStyle& style) {
    using namespace detail;
    File f = realistic_file(version, style);
    // A described packet: its head, the list's count and peaks, one
    // descriptor and one value a peak, the values' leading word.
    auto described = [](int64_t n) { return 40 + 4 + 8 * n + 4 * n + 4 + 4 * n; };
    int64_t survey = (style.described_packets
                          ? described(survey_peaks)
                          : packet_header_size + int64_t{16} * survey_peaks + 4 +
                                trailing_with_extras) +
                     event_bytes(f, 1);
    int64_t frag = (style.described_packets ? described(frag_peaks)
                                            : packet_header_size + int64_t{8} * frag_peaks) +
                   event_bytes(f, 2);
    int64_t per_scan = entry_size(version) + trailer_bytes(f);
    return survey + frags_per_cycle * frag + (1 + frags_per_cycle) * per_scan;
}

int64_t fixed_bytes() { return detail::header_area_size + 2 * detail::block_size; }

}  // namespace fixture
