// fuzz_convert.cpp -- one whole conversion of arbitrary bytes: probes,
// index, scan loop and text output, into outputs that only count bytes.
#include "harness.h"
#include "scan_loop.h"

// Index entries one input may visit, and text bytes per output. A small
// input can hold 99,999 entries that all point at one packet of thousands
// of peaks (gigabytes of text); the bounds keep every execution short.
// Past the byte bound the output fails like a full disk, so the fuzzer
// also walks the path that stops a run on a failed write.
static const int32_t fuzz_max_entries = 5000;
static const int64_t fuzz_max_text = int64_t{256} << 10;

int fuzz_convert(const uint8_t* data, size_t size)
{
    Input in = borrow_input(data, size);
    OutFile ms1, ms2;
    out_open_sink(ms1, fuzz_max_text);
    out_open_sink(ms2, fuzz_max_text);
    RunCounts counts;
    convert_input(in, ms1, ms2, counts, nullptr, false, fuzz_max_entries);
    out_close(ms1, false);
    out_close(ms2, false);
    return 0;
}

FUZZ_ENTRY(fuzz_convert)
