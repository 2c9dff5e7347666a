// input.h -- positioned reads over the input file.
//
// Every read of the converter is "seek, then read n bytes": a read at or
// past the end (or at a negative position) transfers nothing and leaves
// the destination as it was; a read that crosses the end fills only the
// bytes that exist. read_at is that rule, in one place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

struct Input {
    const uint8_t* data = nullptr;  // the file's bytes (mapped or borrowed)
    int64_t size = 0;               // length in bytes
    void* map = nullptr;            // mmap base, null when borrowed
    size_t map_len = 0;
    int64_t touched = 0;            // bytes read since pages were last dropped
    int fd = -1;                    // the open file, for finding its holes
};

// Opens and maps path read-only, whatever its size. Returns 0, or an errno
// value (EFBIG for a file larger than this host can map).
int open_input(Input& in, const std::string& path);
void close_input(Input& in);

// An input over bytes the caller owns (tests, the fuzzer).
Input borrow_input(const uint8_t* data, size_t size);

// Copies up to n bytes from pos into dst; returns how many were copied.
int32_t read_at(Input& in, int64_t pos, void* dst, int64_t n);

// True when the 32-bit little-endian value at pos could be read whole.
inline bool inside(const Input& in, int64_t pos, int64_t n)
{
    return pos >= 0 && n >= 0 && pos <= in.size - n;
}

// Searches for the first window of len bytes equal to pat that starts at
// an offset q with from <= q <= last and lies wholly inside the file.
// Returns q, or -1 when there is none. Negative from counts as 0. Windows
// wholly inside a hole of a sparse file are not read: they hold zeros,
// which a pattern with a nonzero byte cannot match.
int64_t find_bytes(Input& in, int64_t from, int64_t last, const uint8_t* pat,
                   int32_t len);

// Lets the kernel take back the mapped pages read so far.
void drop_pages(Input& in);
// Counts n bytes read from the map directly; past a few MB read, the pages
// are given back, so that one pass over a large file stays small in memory.
void note_read(Input& in, int64_t n);
