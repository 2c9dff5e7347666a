// run_header.cpp -- find the run header by content and read its pointers.
//
// The header has no fixed place. It follows the first UTF-16LE ".meth"
// (a method file name) and the family's terminator after it; the values
// at fixed distances behind the terminator lead to the scan count, the
// scan index and the two per-scan record streams.
#include "raw/raw.h"

// ".meth" in UTF-16LE, from the zero high byte of the character before it.
static const uint8_t method_marker[10] = {0x00, 0x2E, 0x00, 0x6D, 0x00,
                                          0x65, 0x00, 0x74, 0x00, 0x68};
static const uint8_t terminator_62[10] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                          0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
static const uint8_t terminator_64[10] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                          0xFF, 0xFF, 0xFF, 0x01, 0x00};

// Run-header offsets from the anchor, versions 62/63.
static const int32_t rh62_data_start = 42;
static const int32_t rh62_data_end = 62;   // then unkn[0], unkn[1], P
static const int32_t hb62_count = 12;      // then unkn[0..2], index_start
static const int32_t hb62_streams = 7368;  // pp_start, then pr_start

// Run-header offsets from the anchor, versions 64/66.
static const int32_t rh64_data_start = 826;
static const int32_t rh64_data_end = 842;
static const int32_t rh64_p = 858;
static const int32_t hb64_count_p = 12;        // count in the P block
static const int32_t hb64_count_end = 7376;    // count in the data_end block
static const int32_t hb64_index_start = 7408;
static const int32_t hb64_streams = 7448;      // pp_start, unkn[2], trailer
static const int32_t trailer_skip_64 = 24;

/*
 * Finds the anchor: the byte after the first header terminator that lies
 * at or after the first method marker. term is the family's terminator.
 * Returns the anchor, or -1 when there is no marker or no terminator after
 * it (a later marker could only meet the same missing terminator).
 *
 * Only windows wholly inside the file are compared, and a run header is
 * only taken when its first value (the data-stream base, at base_at from
 * the anchor) lies inside the file too: a "header" that the file ends in
 * or before would be read from zeros, and its count and index offset from
 * bytes 12 and 28 of the file, converting garbage.
 */
static int64_t find_anchor(Input& in, const uint8_t* term, int32_t base_at)
{
    int64_t m = find_bytes(in, 0, in.size, method_marker, 10);
    if (m < 0)
        return -1;
    int64_t t = find_bytes(in, m, in.size, term, 10);
    if (t < 0 || !inside(in, t + 10 + base_at, 4))
        return -1;
    return t + 10;
}

static void read32(Input& in, int32_t pos, int32_t* dst)
{
    read_at(in, pos, dst, 4);
}

int32_t get_data_start(Input& in, Nav& nav)
{
    if (nav.filesize <= 0)
        return 0;
    int64_t anchor = find_anchor(in, terminator_62, rh62_data_start);
    if (anchor < 0)
        return 0;
    nav.header_found = true;
    int32_t a = static_cast<int32_t>(anchor);
    int32_t p = 0;  // second header pointer; 0 when it cannot be read

    read32(in, add32(a, rh62_data_start), &nav.data_start);
    int32_t four[4] = {nav.data_end, nav.unkn[0], nav.unkn[1], p};
    read_at(in, add32(a, rh62_data_end), four, 16);
    nav.data_end = four[0];
    nav.unkn[0] = four[1];
    nav.unkn[1] = four[2];
    p = four[3];

    int32_t h = p != 0 ? p : nav.data_end;
    int32_t five[5] = {nav.index_num, nav.unkn[0], nav.unkn[1], nav.unkn[2],
                       nav.index_start};
    read_at(in, add32(h, hb62_count), five, 20);
    nav.index_num = five[0];
    nav.unkn[0] = five[1];
    nav.unkn[1] = five[2];
    nav.unkn[2] = five[3];
    nav.index_start = five[4];

    // The stream offsets live in the data_end block; a zero there means
    // this file keeps them in the P block.
    read32(in, add32(nav.data_end, hb62_streams), &nav.pp_start);
    read32(in, add32(nav.data_end, hb62_streams + 4), &nav.pr_start);
    if (nav.pp_start == 0 || nav.pr_start == 0) {
        read32(in, add32(p, hb62_streams), &nav.pp_start);
        read32(in, add32(p, hb62_streams + 4), &nav.pr_start);
    }

    // Average record widths: events run up to the trailer stream, trailers
    // to the end of the file. A count of 0 gives none (nothing reads them).
    if (nav.index_num != 0) {
        nav.pp_w = div32(sub32(nav.pr_start, nav.pp_start), nav.index_num);
        nav.pr_w = div32(sub32(nav.filesize, nav.pr_start), nav.index_num);
    }
    return nav.data_start;
}

int32_t get_data_start2(Input& in, Nav& nav)
{
    if (nav.filesize <= 0)
        return 0;
    int64_t anchor = find_anchor(in, terminator_64, rh64_data_start);
    if (anchor < 0)
        return 0;
    nav.header_found = true;
    int32_t a = static_cast<int32_t>(anchor);
    int32_t p = 0;

    read32(in, add32(a, rh64_data_start), &nav.data_start);
    read32(in, add32(a, rh64_data_end), &nav.data_end);
    read32(in, add32(a, rh64_p), &p);

    read32(in, add32(p, hb64_count_p), &nav.index_num);
    int32_t h = p;
    if (nav.index_num == 0 || p == 0) {
        // The data_end block keeps its count at another place.
        h = nav.data_end;
        read32(in, add32(h, hb64_count_end), &nav.index_num);
    }
    read32(in, add32(h, hb64_index_start), &nav.index_start);
    int32_t three[3] = {nav.pp_start, nav.unkn[2], nav.pr_start};
    read_at(in, add32(h, hb64_streams), three, 12);
    nav.pp_start = three[0];
    nav.unkn[2] = three[1];
    nav.pr_start = add32(three[2], trailer_skip_64);
    return nav.data_start;
}
