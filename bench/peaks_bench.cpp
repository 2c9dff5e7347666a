// peaks_bench.cpp -- peak lines per second of the peak writer and of the
// digit routines it calls, on numbers shaped like real scans.
#include <cstdint>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "output/msformat.h"
#include "output/numtext.h"
#include "output/outfile.h"

namespace {

// Ascending m/z over [lo, hi), intensities over several decades, charges
// 0..3 in the label word and values with two decimals: a centroided scan.
PacketBuffers make_scan(int32_t n, float lo, float hi, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    PacketBuffers buf;
    buf.n = n;
    buf.peaks.resize(static_cast<size_t>(n));
    buf.labels.resize(static_cast<size_t>(n));
    buf.values.resize(static_cast<size_t>(n));
    float step = (hi - lo) / static_cast<float>(n);
    for (size_t i = 0; i < buf.peaks.size(); i++) {
        float decade = static_cast<float>(rng() % 5u);
        float intensity = (1.0f + 9.0f * unit(rng));
        for (float d = 0; d < decade + 2.0f; d++)
            intensity *= 10.0f;
        buf.peaks[i] = PacketPeak{lo + static_cast<float>(i) * step + step * unit(rng),
                                  intensity};
        buf.labels[i] = PeakLabel{0, static_cast<int16_t>((rng() % 4u) * 256u)};
        buf.values[i] = static_cast<float>(rng() % 8000000u) / 100.0f;
    }
    return buf;
}

void run_peaks(benchmark::State& state, bool survey, int32_t n)
{
    PacketBuffers buf = survey ? make_scan(n, 300.0f, 2000.0f, 1)
                               : make_scan(n, 100.0f, 1500.0f, 2);
    ScanContext ctx;
    OutFile out;
    out_open_sink(out);
    for (auto _ : state)
        print_peaks(out, 66, survey, buf, ctx);
    out_close(out, false);
    state.SetItemsProcessed(state.iterations() * n);
    state.SetBytesProcessed(out.written);
}

void BM_print_peaks_survey_2000(benchmark::State& state) { run_peaks(state, true, 2000); }
void BM_print_peaks_frag_300(benchmark::State& state) { run_peaks(state, false, 300); }
BENCHMARK(BM_print_peaks_survey_2000);
BENCHMARK(BM_print_peaks_frag_300);

// One item is one number written.
const size_t numbers_per_pass = 4096;

std::vector<float> mz_numbers()
{
    PacketBuffers b = make_scan(static_cast<int32_t>(numbers_per_pass), 100.0f, 2000.0f, 3);
    std::vector<float> v;
    for (const PacketPeak& p : b.peaks)
        v.push_back(p.mz);
    return v;
}

std::vector<float> intensity_numbers()
{
    PacketBuffers b = make_scan(static_cast<int32_t>(numbers_per_pass), 100.0f, 2000.0f, 4);
    std::vector<float> v;
    for (const PacketPeak& p : b.peaks)
        v.push_back(p.intensity);
    return v;
}

void BM_ftoa_4(benchmark::State& state)
{
    std::vector<float> v = mz_numbers();
    char text[ftoa_max];
    for (auto _ : state)
        for (float x : v) {
            benchmark::DoNotOptimize(ftoa(x, text, 4));
            benchmark::ClobberMemory();
        }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(v.size()));
}
BENCHMARK(BM_ftoa_4);

void BM_ftoa_1(benchmark::State& state)
{
    std::vector<float> v = intensity_numbers();
    char text[ftoa_max];
    for (auto _ : state)
        for (float x : v) {
            benchmark::DoNotOptimize(ftoa(x, text, 1));
            benchmark::ClobberMemory();
        }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(v.size()));
}
BENCHMARK(BM_ftoa_1);

void BM_itoa(benchmark::State& state)
{
    std::vector<int32_t> v;
    for (size_t i = 0; i < numbers_per_pass; i++)
        v.push_back(static_cast<int32_t>(i % 4));
    char text[16];
    for (auto _ : state)
        for (int32_t x : v) {
            benchmark::DoNotOptimize(itoa(x, text));
            benchmark::ClobberMemory();
        }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(v.size()));
}
BENCHMARK(BM_itoa);

void BM_value_text(benchmark::State& state)
{
    PacketBuffers b = make_scan(static_cast<int32_t>(numbers_per_pass), 100.0f, 2000.0f, 5);
    char text[ftoa_max];
    for (auto _ : state)
        for (float x : b.values) {
            benchmark::DoNotOptimize(value_text(x, text));
            benchmark::ClobberMemory();
        }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(b.values.size()));
}
BENCHMARK(BM_value_text);

}  // namespace
