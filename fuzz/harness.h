// harness.h -- what the fuzz harnesses share: their entry functions, the
// leading words that place a unit in its input, a copy of the input that
// only lets a unit read the bytes it may, and the property check.
//
// Each harness is one entry function over the fuzzer's bytes. libFuzzer's
// LLVMFuzzerTestOneInput calls it in the fuzzer build (KOLVEX_LIBFUZZER);
// the test suite links every harness and replays fuzz/regression/<name>
// through the function of that name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <vector>

#include <sanitizer/asan_interface.h>

#include "raw/input.h"

int fuzz_convert(const uint8_t* data, size_t size);
int fuzz_run_header(const uint8_t* data, size_t size);
int fuzz_event_layout(const uint8_t* data, size_t size);
int fuzz_event_stream(const uint8_t* data, size_t size);
int fuzz_index(const uint8_t* data, size_t size);
int fuzz_trailer(const uint8_t* data, size_t size);
int fuzz_packet(const uint8_t* data, size_t size);
int fuzz_numtext(const uint8_t* data, size_t size);

#ifdef KOLVEX_LIBFUZZER
#define FUZZ_ENTRY(fn)                                                      \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) \
    {                                                                       \
        return fn(data, size);                                              \
    }
#else
#define FUZZ_ENTRY(fn)
#endif

// The unit harnesses read where the unit's structure lies from the first
// words of their input, as a converter reads it from the run header; the
// words are part of the file the unit sees. The seed writer cuts real
// files into inputs of these shapes.
struct EventWords {     // fuzz_event_layout
    int32_t pp_start;   // scan-event stream
};
struct EventStreamWords {  // fuzz_event_stream
    int32_t version;     // 62, 63, 64, 66 by its value modulo 4
    int32_t pp_start;    // first record
    int32_t pr_header;   // trailer pointer as stored: the stream's end + 4
    int32_t entries;     // records to walk
};
struct IndexWords {     // fuzz_index
    int32_t version;
    int32_t index_start;
    int32_t index_num;
};
struct TrailerWords {   // fuzz_trailer
    int32_t version;
    int32_t data_end;
    int32_t index_start;
    int32_t index_num;
    int32_t pr_header;  // trailer pointer as the run header stores it
};
struct PacketWords {    // fuzz_packet
    int32_t version;
    int32_t pos;        // packet start: locator + packet_offset
    int32_t size;       // the index entry's data_size
};

// Reads the leading words; false when the input is too short to hold them.
template <typename Words>
bool read_words(const uint8_t* data, size_t size, Words& w)
{
    if (size < sizeof w)
        return false;
    std::memcpy(&w, data, sizeof w);
    return true;
}

// A property of a unit does not hold: a finding like any crash.
[[noreturn]] inline void property_failed(const char* what, const char* file,
                                         int line)
{
    std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, what);
    std::abort();
}
#define FUZZ_CHECK(cond) \
    ((cond) ? (void)0 : property_failed(#cond, __FILE__, __LINE__))

/*
 * A copy of the input of which only the bytes [lo, hi) may be read: every
 * other byte, and every byte past the end, is poisoned, so that a read
 * there is an AddressSanitizer report. Poisoning is exact at hi; at lo the
 * copy is placed so that lo falls on an 8-byte boundary, the granule in
 * which the sanitizer can tell bytes apart. Without AddressSanitizer the
 * fence is a plain copy.
 */
class Fence {
public:
    Fence(const uint8_t* data, size_t size)
        : src_(data), size_(static_cast<int64_t>(size)), mem_(size + 16) {}
    ~Fence() { open(); }
    Fence(const Fence&) = delete;
    Fence& operator=(const Fence&) = delete;

    // The input with only [lo, hi) readable, both clamped to the file.
    Input only(int64_t lo, int64_t hi)
    {
        open();
        lo = lo < 0 ? 0 : lo > size_ ? size_ : lo;
        hi = hi < lo ? lo : hi > size_ ? size_ : hi;
        uintptr_t base = reinterpret_cast<uintptr_t>(mem_.data());
        size_t shift = (8 - (base + static_cast<uintptr_t>(lo)) % 8) % 8;
        if (at_ != mem_.data() + shift) {
            at_ = mem_.data() + shift;
            if (size_ > 0)
                std::memcpy(at_, src_, static_cast<size_t>(size_));
        }
        ASAN_POISON_MEMORY_REGION(mem_.data(), shift + static_cast<size_t>(lo));
        ASAN_POISON_MEMORY_REGION(at_ + hi,
                                  mem_.size() - shift - static_cast<size_t>(hi));
        return borrow_input(at_, static_cast<size_t>(size_));
    }
    // The whole file readable.
    Input all() { return only(0, size_); }

private:
    void open() { ASAN_UNPOISON_MEMORY_REGION(mem_.data(), mem_.size()); }

    const uint8_t* src_;
    int64_t size_;
    std::vector<uint8_t> mem_;
    uint8_t* at_ = nullptr;  // the copy inside mem_
};
