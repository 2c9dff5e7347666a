// outfile.h -- a buffered output file whose every write is checked.
//
// The text goes to a temporary file beside the final name and is renamed
// over it only when the whole run has succeeded, so a failed or killed
// run never leaves a half-written file under the final name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct OutFile {
    std::string path;      // final name
    std::string target;    // what the text replaces: path, or the file a
                           // symbolic link at path names
    std::string tmp_path;  // where the text goes until the run succeeds
    int fd = -1;
    bool sink = false;     // count the bytes, write nothing (fuzzing)
    int64_t limit = 0;     // sink: fails with EFBIG past this many bytes
    std::vector<char> buf;
    size_t len = 0;        // bytes waiting in buf
    int64_t written = 0;   // bytes handed to the file so far
    int err = 0;           // first errno of a failed write; 0 while fine
};

// Creates path empty, then a temporary file beside it. Returns 0 or errno.
int out_open(OutFile& out, const std::string& path);
// An output that only counts bytes. A limit above 0 makes it fail like a
// full disk once limit bytes have been flushed to it.
void out_open_sink(OutFile& out, int64_t limit = 0);

// Room for n more bytes at the end of the buffer (flushing first when
// needed); the caller fills it and then calls out_commit.
char* out_reserve_slow(OutFile& out, size_t n);
// Inline: every peak line asks, and nearly always there is room.
inline char* out_reserve(OutFile& out, size_t n)
{
    if (out.len + n <= out.buf.size())
        return out.buf.data() + out.len;
    return out_reserve_slow(out, n);
}
inline void out_commit(OutFile& out, size_t n) { out.len += n; }

void out_write(OutFile& out, const char* text, size_t n);
void out_printf(OutFile& out, const char* fmt, ...)
    __attribute__((format(printf, 2, 3)));
bool out_flush(OutFile& out);

// Flushes and closes; renames the text over the final name when keep is
// true, else removes it. Returns false when anything failed (out.err).
bool out_close(OutFile& out, bool keep);
// Removes the temporary file without touching the final name.
void out_abandon(OutFile& out);
