// event_layout.cpp -- measure the scan-event stream: layout flag, record
// widths, and the search for the next record by its preamble signature.
//
// A record starts 4 bytes before a 32-byte signature window: 01 00 02 01
// at window bytes 0-3 and FF FF FF FF at bytes 28-31; window byte 6 is the
// record's MS level. Only windows wholly inside the file are compared.
#include "raw/raw.h"

static const uint8_t signature_head[4] = {0x01, 0x00, 0x02, 0x01};
static const uint8_t ff_run[4] = {0xFF, 0xFF, 0xFF, 0xFF};
static const int32_t signature_window = 32;
static const int32_t end_mark_at = 28;
static const int32_t level_at = 6;
static const int32_t velos_max_signatures = 100;
static const int32_t next_pp_first = 5;     // window offsets searched from r
static const int32_t next_pp_last = 1999;

bool has_signature(Input& in, FilePos q)
{
    if (!inside(in, q, signature_window) || !in.data)
        return false;
    const uint8_t* w = in.data + q;
    return std::memcmp(w, signature_head, 4) == 0 &&
           std::memcmp(w + end_mark_at, ff_run, 4) == 0;
}

/*
 * Searches for the first signature window starting at q with
 * from <= q <= last. Returns q, or -1 when there is none.
 */
static FilePos find_signature(Input& in, FilePos from, FilePos last)
{
    for (;;) {
        FilePos q = find_bytes(in, from, last, signature_head, 4);
        if (q < 0)
            return -1;
        if (has_signature(in, q))
            return q;
        from = q + 1;
    }
}

/*
 * Layout flag of version 66: 1 when the first three runs of four 0xFF
 * bytes at or after start (runs may overlap) are unevenly spaced, 0 when
 * they are evenly spaced or fewer than three exist.
 */
int32_t check_elite(Input& in, const Nav& nav, FilePos start)
{
    if (start >= nav.filesize)
        return 0;
    FilePos p1 = find_bytes(in, start, in.size, ff_run, 4);
    if (p1 < 0)
        return 0;
    FilePos p2 = find_bytes(in, p1 + 1, in.size, ff_run, 4);
    if (p2 < 0)
        return 0;
    FilePos p3 = find_bytes(in, p2 + 1, in.size, ff_run, 4);
    if (p3 < 0)
        return 0;
    return (p2 - p1) != (p3 - p2) ? 1 : 0;
}

/*
 * Event widths of version 64: walks the signatures from start, and at each
 * one sets ms1_w or ms2_w to its distance from the signature before it when
 * that one had level 1 or 2. Stops once both are measured, at the 100th
 * signature, or at the end of the file; an unmeasured width stays as it is.
 */
void check_velos1(Input& in, Nav& nav, FilePos start)
{
    int32_t k = 0;           // signatures seen
    FilePos prev = -1;       // offset of the previous signature
    int32_t prev_level = 0;  // its level byte (1, 2 or other)
    FilePos q = start;
    while (k < velos_max_signatures) {
        q = find_signature(in, q, in.size);
        if (q < 0)
            return;
        k++;
        int32_t level = in.data[q + level_at];
        // Below 2 GiB every distance fits; a larger one is no record width.
        int64_t dist = q - prev;
        if (prev >= 0 && dist <= INT32_MAX && prev_level == 2)
            nav.ms2_w = static_cast<int32_t>(dist);
        else if (prev >= 0 && dist <= INT32_MAX && prev_level == 1)
            nav.ms1_w = static_cast<int32_t>(dist);
        prev = q;
        prev_level = level;
        if (nav.ms1_w != 0 && nav.ms2_w != 0)
            return;
        q++;
    }
}

/*
 * Start of the next scan-event record after the one at r: the first
 * signature window from r + 5 to r + 1999 inclusive, less 4. The record at
 * r itself (window at r + 4) is never found. Returns 0 when none is there.
 */
FilePos find_next_pp(Input& in, FilePos r)
{
    FilePos q = find_signature(in, r + next_pp_first, r + next_pp_last);
    return q < 0 ? 0 : q - 4;
}
