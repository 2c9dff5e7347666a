// check.h -- convert generated raw files with the real binary, and the
// scans the end-to-end tests build them from.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "fixture.h"
#include "support/run.h"

namespace e2e {

using Bytes = std::vector<uint8_t>;

struct Converted {
    int status = -1;
    std::string out, err, ms1, ms2;
    std::vector<std::string> others;  // files the run left besides its three
};

// Writes bytes as in.raw in a fresh folder and converts them, behind the
// shell prefix when one is given.
inline Converted convert(const Bytes& bytes, const std::string& prefix = "")
{
    testrun::TempDir dir;
    testrun::write_bytes(dir.file("in.raw"), bytes);
    testrun::Result r = testrun::run({KOLVEX_BIN, "in.raw"}, dir.path, prefix);
    Converted c{r.status, r.out, r.err, testrun::read_file(dir.file("in.raw.ms1")),
                testrun::read_file(dir.file("in.raw.ms2")), {}};
    for (const auto& e : std::filesystem::directory_iterator(dir.path)) {
        std::string name = e.path().filename().string();
        if (name != "in.raw" && name != "in.raw.ms1" && name != "in.raw.ms2")
            c.others.push_back(name);
    }
    return c;
}

// 64-bit FNV-1a: small enough to write into a table row.
inline uint64_t digest(const std::string& text)
{
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : text)
        h = (h ^ c) * 1099511628211ull;
    return h;
}

inline size_t count_of(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

// Eight survey peaks at m/z 100..800 with charges and values; `flat`
// gives them one intensity, so that the refinement keeps the peak found.
inline fixture::Scan survey(double t, bool flat = false)
{
    const float intensity[8] = {10, 20, 30, 25, 15, 5, 1, 2};
    const int16_t charge[8] = {0, 2, 3, 4, 0, 5, 0, 0};
    fixture::Scan s;
    s.start_time = t;
    s.injection_time = 2.5f;
    s.extras = true;
    for (int i = 0; i < 8; i++)
        s.peaks.push_back({100.0f * static_cast<float>(i + 1), flat ? 10 : intensity[i],
                           static_cast<int16_t>(charge[i] * 256), 7.0f});
    return s;
}

inline fixture::Scan frag(double p, uint8_t analyzer = 0, int16_t zt = 0, double t = 0.2)
{
    fixture::Scan s;
    s.survey = false;
    s.peaks = {{150.5f, 12.0f}, {151.0625f, 13.0f}};
    s.analyzer = analyzer;
    s.precursor_mz = p;
    s.start_time = t;
    s.low_mass = 95.5;
    s.high_mass = 1999.996;
    s.injection_time = 40.0f;
    s.charge_state = zt;
    return s;
}

// The scan with a packet whose header counts n peaks and whose entry says
// s bytes; it keeps its peaks only when it has n of them.
inline fixture::Scan sized(fixture::Scan x, int32_t n, int32_t s)
{
    if (static_cast<size_t>(n) != x.peaks.size())
        x.peaks.clear();
    x.extras = false;
    x.peak_count = n;
    x.data_size = s;
    return x;
}

inline fixture::File run_of(int32_t v, std::vector<fixture::Scan> scans)
{
    fixture::File f;
    f.version = v;
    f.scans = std::move(scans);
    return f;
}

}  // namespace e2e
