// bytes.h -- hand-built file images for the tests of the raw readers.
#pragma once

#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

#include "raw/raw.h"
#include "scan_loop.h"

using Bytes = std::vector<uint8_t>;
using Words = std::vector<std::pair<int32_t, int32_t>>;  // offset, value
using Parts = std::vector<std::pair<int32_t, Bytes>>;    // offset, bytes

template <typename T>
void put(Bytes& b, int64_t at, const T& v) { std::memcpy(b.data() + at, &v, sizeof v); }
inline void put(Bytes& b, int64_t at, const Bytes& v) { std::memcpy(b.data() + at, v.data(), v.size()); }
template <typename T = int32_t>
T get(const Bytes& b, int64_t at) { T v; std::memcpy(&v, b.data() + at, sizeof v); return v; }

template <typename T>
std::vector<T> operator+(std::vector<T> a, const std::vector<T>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A file of size bytes: zeros, with parts written over them and cut off
// where they run past its end.
inline Bytes image(int32_t size, const Parts& parts)
{
    Bytes b(static_cast<size_t>(size) + 65536, 0);
    for (const auto& [at, bytes] : parts)
        put(b, at, bytes);
    b.resize(static_cast<size_t>(size));
    return b;
}

// The preamble signature window of a scan-event record: 01 00 02 01, the
// MS level at byte 6, FF FF FF FF at byte 28 (head alone: without it).
inline Bytes signature(uint8_t level, bool head_alone = false)
{
    Bytes w(32, 0);
    put(w, 0, Bytes{0x01, 0x00, 0x02, 0x01});
    w[6] = level;
    put(w, 28, uint32_t{head_alone ? 0u : 0xFFFFFFFFu});
    return w;
}

inline Input input_of(const Bytes& b) { return borrow_input(b.data(), b.size()); }

// What a conversion of in finds before its first scan: nothing converted.
inline Nav navigation_of(Input& in)
{
    OutFile ms1, ms2;
    RunCounts counts;
    Nav nav;
    convert_input(in, ms1, ms2, counts, &nav, false, 0);
    return nav;
}
inline Nav nav_of(const Bytes& b, int32_t version = 0)
{
    Nav nav;
    nav.version = version;
    nav.filesize = static_cast<FilePos>(b.size());
    return nav;
}
