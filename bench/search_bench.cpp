// search_bench.cpp -- the cost of the searches that find a real file's
// structure: the run header by structure on a headerless file just under
// 2 GiB and on a header area crowded with candidates, the trailer
// field-table search over its whole window, and the walk over the event
// records of the largest generated run.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include "fixture.h"
#include "raw/raw.h"

namespace {

void put32(std::vector<uint8_t>& b, size_t at, int32_t v)
{
    std::memcpy(b.data() + at, &v, 4);
}

// A sparse file of 2 GiB less one byte, all zeros but its version word:
// the largest input the converter takes, with no header to be found.
void BM_StructureSearchHeaderless2GiB(benchmark::State& state)
{
    char path[] = "/tmp/kolvex-bench-XXXXXX";
    int fd = mkstemp(path);
    int32_t version = 66;
    if (fd < 0 || ftruncate(fd, (int64_t{1} << 31) - 1) != 0 ||
        pwrite(fd, &version, 4, 36) != 4) {
        state.SkipWithError("cannot write the scratch file");
        return;
    }
    close(fd);
    Input in;
    open_input(in, path);
    for (auto _ : state)
        benchmark::DoNotOptimize(find_anchor_by_structure(in, 66, false));
    close_input(in);
    unlink(path);
}
BENCHMARK(BM_StructureSearchHeaderless2GiB)->Unit(benchmark::kMillisecond);

// The first 64 KiB hold ordered header pointers at every candidate, so the
// first 1,024 candidates all read their header blocks.
void BM_StructureSearchCrowded(benchmark::State& state)
{
    std::vector<uint8_t> b(size_t{4} << 20, 0);
    for (size_t a = 0; a + 862 < 65536; a += 4) {
        put32(b, a + 826, 100000);   // data_start
        put32(b, a + 842, 200000);   // data_end
        put32(b, a + 858, 0);        // P
    }
    Input in = borrow_input(b.data(), b.size());
    for (auto _ : state)
        benchmark::DoNotOptimize(find_anchor_by_structure(in, 66, false));
}
BENCHMARK(BM_StructureSearchCrowded)->Unit(benchmark::kMicrosecond);

// An 8 MiB window of words that each start a one-field table, with a
// field label at its very end: every offset is parsed, none is a table.
void BM_TrailerTableSearchFullWindow(benchmark::State& state)
{
    const size_t window = size_t{8} << 20;
    std::vector<uint8_t> b(window + 4096, 0);
    for (size_t at = 0; at + 4 <= window; at += 4)
        put32(b, at, 1);
    const char label[] = "Charge State";
    for (size_t i = 0; label[i]; i++)
        b[window - 64 + 2 * i] = static_cast<uint8_t>(label[i]);
    Nav nav;
    nav.version = 66;
    nav.filesize = static_cast<int32_t>(b.size());
    nav.data_end = 0;
    nav.index_start = static_cast<int32_t>(window);
    nav.index_num = 10;
    nav.pr_header = static_cast<int32_t>(window);
    Input in = borrow_input(b.data(), b.size());
    TrailerLayout t{};
    for (auto _ : state)
        benchmark::DoNotOptimize(find_trailer_table(in, nav, t));
}
BENCHMARK(BM_TrailerTableSearchFullWindow)->Unit(benchmark::kMillisecond);

// The walk over every event record of a version 66 run of 1,000 MB written
// as instruments write it (the end-to-end benchmark's largest file), once
// per scan loop; items are records.
void BM_EventWalk1000MB(benchmark::State& state)
{
    const fixture::RunStyle style{true, true, false};
    const int64_t cycle = fixture::realistic_cycle_bytes(66, 2000, 10, 300, style);
    char path[] = "/tmp/kolvex-bench-XXXXXX";
    int fd = mkstemp(path);
    fixture::Layout lay;
    if (fd < 0 || !fixture::write_realistic_run(path, 66,
                                                static_cast<int32_t>((int64_t{1000} << 20) / cycle),
                                                2000, 10, 300, 1, &lay, style)) {
        state.SkipWithError("cannot write the scratch file");
        return;
    }
    close(fd);
    Input in;
    open_input(in, path);
    Nav nav;
    nav.version = 66;
    nav.filesize = static_cast<int32_t>(in.size);
    nav.pp_start = static_cast<decltype(nav.pp_start)>(lay.pp_start);  // a 1000 MiB file
    nav.pr_header = static_cast<decltype(nav.pr_header)>(lay.pr_header);
    std::vector<int64_t> starts;
    for (auto _ : state) {
        if (!walk_event_stream(in, nav, lay.index_num, starts))
            state.SkipWithError("the stream does not walk");
        benchmark::DoNotOptimize(starts.data());
    }
    state.SetItemsProcessed(state.iterations() * lay.index_num);
    state.counters["records"] = lay.index_num;
    close_input(in);
    unlink(path);
}
BENCHMARK(BM_EventWalk1000MB)->Unit(benchmark::kMillisecond);

}  // namespace
