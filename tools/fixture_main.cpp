// fixture_main.cpp -- kolvex-fixture: writes a synthetic data-dependent run.
//
// kolvex-fixture [--version V] [--cycles N] [--survey-peaks N] [--frags N]
//                [--frag-peaks N] [--seed S] [--size-mb M] [--counted-events]
//                [--real-trailers] [--partial-surveys] [--described-packets]
//                [--twin DST] OUTPUT
//
// --size-mb picks the number of cycles that gives about M MiB; it wins over
// --cycles. The file is written in chunks, so large runs need little memory.
// The last four flags write the run in the style of real instrument files
// (fixture::RunStyle): counted event records, a trailer field table with
// monoisotopic m/z values, survey scans that leave some precursors
// unmatched, self-described peak packets.
//
// --twin writes, besides OUTPUT, a sparse twin of it to DST (versions 64
// and 66; fixture::write_twin with the default plan): about 6.5 GiB apart
// from the run's own size, a few MB on disk, positions past 2^32 when the
// run's packets describe themselves. OUTPUT is read back into memory for it.
//
// Versions 62 and 63 store 32-bit positions: a run of theirs that would
// pass 2 GiB is refused. Versions 64 and 66 have no such limit.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fixture.h"

namespace {

constexpr int64_t max_value = INT32_MAX;          // counts are int32
constexpr int64_t max_file_bytes_62 = INT32_MAX;  // 62/63 offsets are int32

struct Options {
    int32_t version = 66;
    int32_t cycles = 100;
    int32_t survey_peaks = 500;
    int32_t frags = 10;
    int32_t frag_peaks = 150;
    uint32_t seed = 1;
    int64_t size_mb = 0;  // 0: use cycles
    fixture::RunStyle style;
    const char* output = nullptr;
    const char* twin = nullptr;
};

void usage() {
    std::fputs("usage: kolvex-fixture [--version V] [--cycles N] [--survey-peaks N]"
               " [--frags N] [--frag-peaks N] [--seed S] [--size-mb M]"
               " [--counted-events] [--real-trailers] [--partial-surveys]"
               " [--described-packets] [--twin DST] OUTPUT\n",
               stderr);
}

// Parses a non-negative decimal number; false when text is not one.
bool parse_count(const char* text, int64_t limit, int64_t* value) {
    char* end = nullptr;
    long long v = std::strtoll(text, &end, 10);
    if (end == text || *end != 0 || v < 0 || v > limit) return false;
    *value = v;
    return true;
}

bool parse_options(int argc, char** argv, Options* o) {
    for (int i = 1; i < argc; i++) {
        const char* a = argv[i];
        if (std::strncmp(a, "--", 2) != 0) {
            if (o->output != nullptr) return false;
            o->output = a;
            continue;
        }
        bool* flag = std::strcmp(a, "--counted-events") == 0   ? &o->style.counted_events
                     : std::strcmp(a, "--real-trailers") == 0  ? &o->style.real_trailers
                     : std::strcmp(a, "--partial-surveys") == 0 ? &o->style.partial_surveys
                     : std::strcmp(a, "--described-packets") == 0 ? &o->style.described_packets
                                                                  : nullptr;
        if (flag != nullptr) {
            *flag = true;
            continue;
        }
        if (i + 1 >= argc) return false;
        if (std::strcmp(a, "--twin") == 0) {
            o->twin = argv[++i];
            continue;
        }
        int64_t v = 0;
        if (!parse_count(argv[++i], max_value, &v)) return false;
        int32_t v32 = static_cast<int32_t>(v);
        if (std::strcmp(a, "--version") == 0) o->version = v32;
        else if (std::strcmp(a, "--cycles") == 0) o->cycles = v32;
        else if (std::strcmp(a, "--survey-peaks") == 0) o->survey_peaks = v32;
        else if (std::strcmp(a, "--frags") == 0) o->frags = v32;
        else if (std::strcmp(a, "--frag-peaks") == 0) o->frag_peaks = v32;
        else if (std::strcmp(a, "--seed") == 0) o->seed = static_cast<uint32_t>(v);
        else if (std::strcmp(a, "--size-mb") == 0) o->size_mb = v;
        else return false;
    }
    return o->output != nullptr;
}

// Reads a whole file; false when it cannot.
bool read_file(const char* path, std::vector<uint8_t>& bytes) {
    std::FILE* fp = std::fopen(path, "rb");
    if (fp == nullptr) return false;
    bool ok = std::fseek(fp, 0, SEEK_END) == 0;
    long size = ok ? std::ftell(fp) : -1;
    ok = size >= 0 && std::fseek(fp, 0, SEEK_SET) == 0;
    if (ok) {
        bytes.resize(static_cast<size_t>(size));
        ok = std::fread(bytes.data(), 1, bytes.size(), fp) == bytes.size();
    }
    return std::fclose(fp) == 0 && ok;
}

// The default twin of the run just written; 0 or the exit status.
int write_default_twin(const Options& o, const fixture::Layout& lay) {
    std::vector<uint8_t> src;
    if (!read_file(o.output, src)) {
        std::fprintf(stderr, "kolvex-fixture: cannot read %s back\n", o.output);
        return 1;
    }
    fixture::File run;  // the layout holds all a twin needs but the version
    run.version = o.version;
    fixture::TwinLayout t{};
    auto t0 = std::chrono::steady_clock::now();
    std::string why = fixture::write_twin(src, fixture::twin_source(run, lay), {}, o.twin, &t);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
    if (!why.empty()) {
        std::fprintf(stderr, "kolvex-fixture: no twin of %s: %s\n", o.output, why.c_str());
        return 1;
    }
    std::printf("%s: twin of %s, %lld bytes, data from %lld, index at %lld, %d holes,"
                " written in %.3f s\n",
                o.twin, o.output, static_cast<long long>(t.filesize),
                static_cast<long long>(t.data_start), static_cast<long long>(t.index_start),
                t.holes, took.count());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse_options(argc, argv, &o)) {
        usage();
        return 2;
    }
    int64_t per_cycle = fixture::realistic_cycle_bytes(o.version, o.survey_peaks, o.frags,
                                                       o.frag_peaks, o.style);
    if (o.size_mb > 0) {
        int64_t want = (o.size_mb << 20) - fixture::fixed_bytes();
        int64_t cycles = want > per_cycle ? want / per_cycle : 1;
        o.cycles = static_cast<int32_t>(cycles > 2147483647 ? 2147483647 : cycles);
    }
    bool family_62 = o.version == 62 || o.version == 63;
    if (family_62 && fixture::fixed_bytes() + o.cycles * per_cycle >= max_file_bytes_62) {
        std::fprintf(stderr, "kolvex-fixture: a version %d run that large would pass 2 GiB,"
                             " and its positions are 32-bit\n", o.version);
        return 2;
    }
    if (o.twin != nullptr && family_62) {
        std::fprintf(stderr, "kolvex-fixture: only versions 64 and 66 have a twin\n");
        return 2;
    }
    fixture::Layout lay;
    if (!fixture::write_realistic_run(o.output, o.version, o.cycles, o.survey_peaks, o.frags,
                                      o.frag_peaks, o.seed, &lay, o.style)) {
        // The estimate above may fall short by a little.
        if (family_62 && lay.filesize > max_file_bytes_62)
            std::fprintf(stderr, "kolvex-fixture: a version %d run that large would pass 2 GiB,"
                                 " and its positions are 32-bit\n", o.version);
        else
            std::fprintf(stderr, "kolvex-fixture: cannot write %s\n", o.output);
        return 1;
    }
    std::printf("%s: version %d, %d cycles, %zu scans, %lld bytes\n", o.output, o.version,
                o.cycles, lay.packet_pos.size(), static_cast<long long>(lay.filesize));
    return o.twin != nullptr ? write_default_twin(o, lay) : 0;
}
