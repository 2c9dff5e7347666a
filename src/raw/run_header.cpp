// run_header.cpp -- find the run header by content and read its pointers.
//
// The header has no fixed place. It follows the first UTF-16LE ".meth"
// (a method file name) and the family's terminator after it; the values
// at fixed distances behind the terminator lead to the scan count, the
// scan index and the two per-scan record streams.
#include "raw/raw.h"

#include <algorithm>
#include <cmath>

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
static const int32_t rh62_p = 74;
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

// Reads the value at pos into dst; a value the file does not hold whole
// clears *whole (the structural search takes only headers read in full).
static void read32(Input& in, int32_t pos, int32_t* dst, bool* whole)
{
    if (!inside(in, pos, 4))
        *whole = false;
    read_at(in, pos, dst, 4);
}

static void read_words(Input& in, int32_t pos, int32_t* dst, int32_t n,
                       bool* whole)
{
    if (!inside(in, pos, int64_t{4} * n))
        *whole = false;
    read_at(in, pos, dst, int64_t{4} * n);
}

/*
 * Reads the run header of versions 62/63 at anchor a into nav: data-stream
 * base, header pointers, the index block (P, or data_end when P is 0), the
 * two stream offsets and the average record widths. Returns whether every
 * value lay wholly inside the file.
 */
static bool read_header_62(Input& in, Nav& nav, int32_t a)
{
    bool whole = true;
    int32_t p = 0;  // second header pointer; 0 when it cannot be read

    read32(in, add32(a, rh62_data_start), &nav.data_start, &whole);
    int32_t four[4] = {nav.data_end, nav.unkn[0], nav.unkn[1], p};
    read_words(in, add32(a, rh62_data_end), four, 4, &whole);
    nav.data_end = four[0];
    nav.unkn[0] = four[1];
    nav.unkn[1] = four[2];
    p = four[3];

    int32_t h = p != 0 ? p : nav.data_end;
    int32_t five[5] = {nav.index_num, nav.unkn[0], nav.unkn[1], nav.unkn[2],
                       nav.index_start};
    read_words(in, add32(h, hb62_count), five, 5, &whole);
    nav.index_num = five[0];
    nav.unkn[0] = five[1];
    nav.unkn[1] = five[2];
    nav.unkn[2] = five[3];
    nav.index_start = five[4];

    // The stream offsets live in the data_end block; a zero there means
    // this file keeps them in the P block.
    read32(in, add32(nav.data_end, hb62_streams), &nav.pp_start, &whole);
    read32(in, add32(nav.data_end, hb62_streams + 4), &nav.pr_start, &whole);
    if (nav.pp_start == 0 || nav.pr_start == 0) {
        read32(in, add32(p, hb62_streams), &nav.pp_start, &whole);
        read32(in, add32(p, hb62_streams + 4), &nav.pr_start, &whole);
    }
    nav.pr_header = nav.pr_start;

    // Average record widths: events run up to the trailer stream, trailers
    // to the end of the file. A count of 0 gives none (nothing reads them).
    if (nav.index_num != 0) {
        nav.pp_w = div32(sub32(nav.pr_start, nav.pp_start), nav.index_num);
        nav.pr_w = div32(sub32(nav.filesize, nav.pr_start), nav.index_num);
    }
    return whole;
}

// The same for versions 64/66.
static bool read_header_64(Input& in, Nav& nav, int32_t a)
{
    bool whole = true;
    int32_t p = 0;

    read32(in, add32(a, rh64_data_start), &nav.data_start, &whole);
    read32(in, add32(a, rh64_data_end), &nav.data_end, &whole);
    read32(in, add32(a, rh64_p), &p, &whole);

    read32(in, add32(p, hb64_count_p), &nav.index_num, &whole);
    int32_t h = p;
    if (nav.index_num == 0 || p == 0) {
        // The data_end block keeps its count at another place.
        h = nav.data_end;
        read32(in, add32(h, hb64_count_end), &nav.index_num, &whole);
    }
    read32(in, add32(h, hb64_index_start), &nav.index_start, &whole);
    int32_t three[3] = {nav.pp_start, nav.unkn[2], nav.pr_start};
    read_words(in, add32(h, hb64_streams), three, 3, &whole);
    nav.pp_start = three[0];
    nav.unkn[2] = three[1];
    nav.pr_header = three[2];
    nav.pr_start = add32(three[2], trailer_skip_64);
    return whole;
}

// The probe found its anchor: remember it and read the header there.
static bool read_at_anchor(Input& in, Nav& nav, int32_t anchor, bool family_62)
{
    nav.header_found = true;
    nav.anchor = anchor;
    return family_62 ? read_header_62(in, nav, anchor)
                     : read_header_64(in, nav, anchor);
}

bool read_run_header(Input& in, Nav& nav, int32_t anchor)
{
    return read_at_anchor(in, nav, anchor,
                          nav.version == 62 || nav.version == 63);
}

// Both probes: search with the family's terminator, then read the header.
static int32_t probe(Input& in, Nav& nav, const uint8_t* term, int32_t base_at,
                     bool family_62)
{
    if (nav.filesize <= 0)
        return 0;
    int64_t anchor = find_anchor(in, term, base_at);
    if (anchor < 0)
        return 0;
    read_at_anchor(in, nav, static_cast<int32_t>(anchor), family_62);
    return nav.data_start;
}

int32_t get_data_start(Input& in, Nav& nav)
{
    return probe(in, nav, terminator_62, rh62_data_start, true);
}

int32_t get_data_start2(Input& in, Nav& nav)
{
    return probe(in, nav, terminator_64, rh64_data_start, false);
}

/*
 * The run header by the file's own structure, for files whose header
 * search finds none (no method marker, a terminator inside another block).
 *
 * A candidate anchor A is taken only when everything behind it agrees:
 *   1. its three run-header words are in order: A + span <= data_start <
 *      data_end < filesize, and P is 0 or data_end < P < filesize;
 *   2. the header block, read exactly as the probe reads it and wholly
 *      inside the file, gives a count > 0 and an index that starts at or
 *      after data_end, lies inside the file and ends exactly at pp_start,
 *      with pp_start < pr_start <= filesize;
 *   3. the index describes packets laid back to back from the data-stream
 *      base up to data_end, at ordered, finite times and mass ranges.
 * Only the first 64 KiB are tried, at most 1,024 candidates get past the
 * first test and at most 8 past the second: a file that offers more is
 * not one whose header can be told apart, and gets none.
 *
 * Returns the lowest anchor that passes when every passing candidate reads
 * the same header, else -1.
 */
static const int64_t structure_window = 65536;
static const int32_t structure_max_ordered = 1024;
static const int32_t structure_max_consistent = 8;

struct HeaderCandidate {
    int32_t anchor;
    int32_t data_start, index_num, index_start, pp_start, pr_start;
};

static int32_t index_record_size(int32_t version)
{
    if (version == 62 || version == 63)
        return index_record_62;
    return version == 64 ? index_record_64 : index_record_66;
}

// Step 3: packets back to back, times and mass ranges in order.
static bool index_walks(Input& in, const Nav& nav, int32_t rec)
{
    bool family_62 = nav.version == 62 || nav.version == 63;
    int64_t expect = 0;      // where the next packet must start
    double last_time = 0;
    uint8_t r[index_record_66];
    for (int32_t k = 0; k < nav.index_num; k++) {
        read_at(in, int64_t{nav.index_start} + int64_t{k} * rec, r, rec);
        IndexEntry e{};
        std::memcpy(reinterpret_cast<uint8_t*>(&e) + 4, r + 4,
                    static_cast<size_t>(std::min(rec, index_record_64) - 4));
        int64_t offset = family_62 ? int64_t{get32le(r)} : e.packet_offset;
        if (offset != expect)
            return false;
        expect = offset + e.data_size;
        if (!std::isfinite(e.start_time) || e.start_time < 0 ||
            e.start_time < last_time)
            return false;
        last_time = e.start_time;
        if (!std::isfinite(e.low_mass) || !std::isfinite(e.high_mass) ||
            e.low_mass < 0 || e.low_mass > e.high_mass)
            return false;
    }
    return int64_t{nav.data_start} + expect == nav.data_end;
}

int64_t find_anchor_by_structure(Input& in, int32_t version)
{
    bool family_62 = version == 62 || version == 63;
    int32_t span = family_62 ? rh62_p + 4 : rh64_p + 4;
    int32_t at_start = family_62 ? rh62_data_start : rh64_data_start;
    int32_t at_end = family_62 ? rh62_data_end : rh64_data_end;
    int32_t at_p = family_62 ? rh62_p : rh64_p;
    int32_t rec = index_record_size(version);
    int64_t size = in.size;
    int64_t last = std::min(structure_window, size - span);
    if (!in.data)
        return -1;

    std::vector<HeaderCandidate> consistent;
    int32_t ordered = 0;
    for (int64_t a = 0; a < last; a++) {
        int32_t ds = get32le(in.data + a + at_start);
        int32_t de = get32le(in.data + a + at_end);
        int32_t p = get32le(in.data + a + at_p);
        if (!(a + span <= ds && ds < de && de < size))
            continue;
        if (!(p == 0 || (de < p && p < size)))
            continue;
        if (++ordered > structure_max_ordered)
            break;

        Nav t;
        t.version = version;
        t.filesize = static_cast<int32_t>(size);
        if (!read_run_header(in, t, static_cast<int32_t>(a)))
            continue;
        int64_t index_end = int64_t{t.index_start} + int64_t{t.index_num} * rec;
        int64_t pr = t.pr_start;  // with its +24 for versions 64/66
        if (t.index_num <= 0 || t.data_end > t.index_start ||
            t.index_start < 0 || index_end > size || index_end != t.pp_start ||
            !(t.pp_start < pr && pr <= size))
            continue;
        if (static_cast<int32_t>(consistent.size()) == structure_max_consistent)
            return -1;
        consistent.push_back({static_cast<int32_t>(a), t.data_start,
                              t.index_num, t.index_start, t.pp_start,
                              t.pr_start});
    }

    const HeaderCandidate* found = nullptr;
    for (const HeaderCandidate& c : consistent) {
        Nav t;
        t.version = version;
        t.filesize = static_cast<int32_t>(size);
        read_run_header(in, t, c.anchor);
        if (!index_walks(in, t, rec))
            continue;
        if (found == nullptr) {
            found = &c;
        } else if (c.data_start != found->data_start ||
                   c.index_num != found->index_num ||
                   c.index_start != found->index_start ||
                   c.pp_start != found->pp_start ||
                   c.pr_start != found->pr_start) {
            return -1;  // two headers that disagree: neither is trusted
        }
    }
    return found != nullptr ? found->anchor : -1;
}
