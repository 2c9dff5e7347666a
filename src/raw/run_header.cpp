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
static const int32_t hb64_data_copy = 7416;    // 64-bit positions: data_start
static const int32_t hb64_self = 7472;         // and the block's own position

/*
 * Finds the anchor: the byte after the first header terminator that lies
 * at or after the first method marker. term is the family's terminator.
 * Returns the anchor, or -1 when there is no marker or no terminator after
 * it (a later marker could only meet the same missing terminator).
 *
 * Only windows wholly inside the file are compared, and a run header is
 * only taken when its first value (the data-stream base, base_len bytes at
 * base_at from the anchor) lies inside the file too: a "header" that the
 * file ends in or before would be read from zeros, and its count and index
 * offset from bytes 12 and 28 of the file, converting garbage.
 */
static FilePos find_anchor(Input& in, const uint8_t* term, int32_t base_at,
                           int32_t base_len)
{
    FilePos m = find_bytes(in, 0, in.size, method_marker, 10);
    if (m < 0)
        return -1;
    FilePos t = find_bytes(in, m, in.size, term, 10);
    if (t < 0 || !inside(in, t + 10 + base_at, base_len))
        return -1;
    return t + 10;
}

// Reads the value at pos into dst; a value the file does not hold whole
// clears *whole (the structural search takes only headers read in full).
static void read32(Input& in, FilePos pos, int32_t* dst, bool* whole)
{
    if (!inside(in, pos, 4))
        *whole = false;
    read_at(in, pos, dst, 4);
}

// A position at pos: the signed 64-bit value of a file read by 64-bit
// positions, else the signed 32-bit one. Bytes not read keep dst's.
static void read_pos(Input& in, bool wide, FilePos pos, FilePos* dst,
                     bool* whole)
{
    if (wide) {
        if (!inside(in, pos, 8))
            *whole = false;
        read_at(in, pos, dst, 8);
        return;
    }
    int32_t v = static_cast<int32_t>(*dst);  // 32-bit readings hold 32 bits
    read32(in, pos, &v, whole);
    *dst = v;
}

/*
 * Reads the run header of versions 62/63 at anchor a into nav: data-stream
 * base, header pointers, the index block (P, or data_end when P is 0), the
 * two stream offsets and the average record widths. Returns whether every
 * value lay wholly inside the file. These versions hold 32-bit positions
 * only, and files of 2 GiB or more never get here.
 */
static bool read_header_62(Input& in, Nav& nav, FilePos a)
{
    bool whole = true;
    FilePos p = 0;  // second header pointer; 0 when it cannot be read

    read_pos(in, false, pos_add(false, a, rh62_data_start), &nav.data_start,
             &whole);
    read_pos(in, false, pos_add(false, a, rh62_data_end), &nav.data_end,
             &whole);
    read32(in, pos_add(false, a, rh62_data_end + 4), &nav.unkn[0], &whole);
    read32(in, pos_add(false, a, rh62_data_end + 8), &nav.unkn[1], &whole);
    read_pos(in, false, pos_add(false, a, rh62_p), &p, &whole);
    nav.p = p;

    FilePos h = p != 0 ? p : nav.data_end;
    nav.header_block = h;
    read32(in, pos_add(false, h, hb62_count), &nav.index_num, &whole);
    for (int32_t i = 0; i < 3; i++)
        read32(in, pos_add(false, h, hb62_count + 4 + 4 * i), &nav.unkn[i],
               &whole);
    read_pos(in, false, pos_add(false, h, hb62_count + 16), &nav.index_start,
             &whole);

    // The stream offsets live in the data_end block; a zero there means
    // this file keeps them in the P block.
    FilePos end_block = nav.data_end;
    read_pos(in, false, pos_add(false, end_block, hb62_streams), &nav.pp_start,
             &whole);
    read_pos(in, false, pos_add(false, end_block, hb62_streams + 4),
             &nav.pr_start, &whole);
    if (nav.pp_start == 0 || nav.pr_start == 0) {
        read_pos(in, false, pos_add(false, p, hb62_streams), &nav.pp_start,
                 &whole);
        read_pos(in, false, pos_add(false, p, hb62_streams + 4), &nav.pr_start,
                 &whole);
    }
    nav.pr_header = nav.pr_start;

    // Average record widths: events run up to the trailer stream, trailers
    // to the end of the file. A count of 0 gives none (nothing reads them).
    if (nav.index_num != 0) {
        int32_t pp = static_cast<int32_t>(nav.pp_start);
        int32_t pr = static_cast<int32_t>(nav.pr_start);
        int32_t size = static_cast<int32_t>(nav.filesize);
        nav.pp_w = div32(sub32(pr, pp), nav.index_num);
        nav.pr_w = div32(sub32(size, pr), nav.index_num);
    }
    return whole;
}

// The same for versions 64/66, by 32- or 64-bit positions (nav.wide).
static bool read_header_64(Input& in, Nav& nav, FilePos a)
{
    bool whole = true;
    bool w = nav.wide;
    FilePos p = 0;

    read_pos(in, w, pos_add(w, a, rh64_data_start), &nav.data_start, &whole);
    read_pos(in, w, pos_add(w, a, rh64_data_end), &nav.data_end, &whole);
    read_pos(in, w, pos_add(w, a, rh64_p), &p, &whole);
    nav.p = p;

    read32(in, pos_add(w, p, hb64_count_p), &nav.index_num, &whole);
    FilePos h = p;
    if (nav.index_num == 0 || p == 0) {
        // The data_end block keeps its count at another place.
        h = nav.data_end;
        read32(in, pos_add(w, h, hb64_count_end), &nav.index_num, &whole);
    }
    nav.header_block = h;
    read_pos(in, w, pos_add(w, h, hb64_index_start), &nav.index_start, &whole);
    read_pos(in, w, pos_add(w, h, hb64_streams), &nav.pp_start, &whole);
    if (!w)  // by 64-bit positions this word is pp_start's high half
        read32(in, pos_add(w, h, hb64_streams + 4), &nav.unkn[2], &whole);
    read_pos(in, w, pos_add(w, h, hb64_streams + 8), &nav.pr_header, &whole);
    nav.pr_start = pos_add(w, nav.pr_header, trailer_skip_64);
    return whole;
}

// The probe found its anchor: remember it and read the header there.
static bool read_at_anchor(Input& in, Nav& nav, FilePos anchor, bool family_62)
{
    nav.header_found = true;
    nav.anchor = anchor;
    return family_62 ? read_header_62(in, nav, anchor)
                     : read_header_64(in, nav, anchor);
}

bool read_run_header(Input& in, Nav& nav, FilePos anchor)
{
    return read_at_anchor(in, nav, anchor,
                          nav.version == 62 || nav.version == 63);
}

// Both probes: search with the family's terminator, then read the header.
static FilePos probe(Input& in, Nav& nav, const uint8_t* term, int32_t base_at,
                     bool family_62)
{
    if (nav.filesize <= 0)
        return 0;
    FilePos anchor = find_anchor(in, term, base_at, nav.wide ? 8 : 4);
    if (anchor < 0)
        return 0;
    read_at_anchor(in, nav, anchor, family_62);
    return nav.data_start;
}

FilePos get_data_start(Input& in, Nav& nav)
{
    return probe(in, nav, terminator_62, rh62_data_start, true);
}

FilePos get_data_start2(Input& in, Nav& nav)
{
    return probe(in, nav, terminator_64, rh64_data_start, false);
}

static int32_t index_record_size(int32_t version)
{
    if (version == 62 || version == 63)
        return index_record_62;
    return version == 64 ? index_record_64 : index_record_66;
}

/*
 * Whether the header read into t holds together: its three run-header
 * values in order behind the anchor (A + span <= data_start < data_end <
 * filesize; P is 0 or data_end < P < filesize), a count > 0, and an index
 * that starts at or after data_end and ends exactly at pp_start, with
 * pp_start < pr_start <= filesize (pr_start with the +24 of versions
 * 64/66). Every comparison is made in 64 bits, in an order that keeps
 * every sum of untrusted values from overflowing.
 */
static bool header_in_order(const Nav& t)
{
    bool family_62 = t.version == 62 || t.version == 63;
    int64_t span = family_62 ? rh62_p + 4 : rh64_p + 4;
    FilePos size = t.filesize;
    if (!(t.anchor + span <= t.data_start && t.data_start < t.data_end &&
          t.data_end < size) ||
        !(t.p == 0 || (t.data_end < t.p && t.p < size)))
        return false;
    if (t.index_num <= 0 || t.data_end > t.index_start || t.index_start > size)
        return false;
    FilePos index_end =
        t.index_start + int64_t{t.index_num} * index_record_size(t.version);
    return index_end <= size && index_end == t.pp_start &&
           t.pp_start < t.pr_start && t.pr_start <= size;
}

/*
 * Whether the header block of a file read by 64-bit positions vouches for
 * itself: it stores its own position at H+7472 and, in the data_end block,
 * the data-stream base at data_end+7416. A block read at any other place
 * does not.
 */
static bool block_vouches(Input& in, const Nav& t)
{
    FilePos h = t.header_block;
    int64_t self = 0, base = 0;
    if (read_at(in, pos_add(true, h, hb64_self), &self, 8) != 8 || self != h)
        return false;
    if (h != t.data_end)
        return true;
    return read_at(in, pos_add(true, h, hb64_data_copy), &base, 8) == 8 &&
           base == t.data_start;
}

bool run_header_credible(Input& in, const Nav& nav)
{
    if (!nav.header_found)
        return false;
    if (nav.wide)  // beyond 2^31 nothing short of the whole rule will do
        return header_in_order(nav) && block_vouches(in, nav);
    return nav.locator >= 0 && nav.locator < nav.filesize &&
           nav.index_start >= 0 && nav.index_start < nav.filesize;
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
    FilePos anchor;
    FilePos data_start;
    int32_t index_num;
    FilePos index_start, pp_start, pr_start;
};

// Step 3: packets back to back, times and mass ranges in order.
static bool index_walks(Input& in, const Nav& nav, int32_t rec)
{
    bool family_62 = nav.version == 62 || nav.version == 63;
    int64_t expect = 0;      // where the next packet must start
    double last_time = 0;
    uint8_t r[index_record_66];
    for (int32_t k = 0; k < nav.index_num; k++) {
        read_at(in, nav.index_start + int64_t{k} * rec, r, rec);
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
    return nav.data_start + expect == nav.data_end;
}

// A fresh reading of the file's header at anchor.
static bool read_candidate(Input& in, int32_t version, bool wide,
                           FilePos anchor, Nav& t)
{
    t = Nav{};
    t.version = version;
    t.filesize = in.size;
    t.wide = wide;
    return read_run_header(in, t, anchor);
}

FilePos find_anchor_by_structure(Input& in, int32_t version, bool wide)
{
    bool family_62 = version == 62 || version == 63;
    int32_t len = wide ? 8 : 4;  // bytes of a position
    int64_t span = family_62 ? rh62_p + 4 : rh64_p + 4;
    int32_t at_start = family_62 ? rh62_data_start : rh64_data_start;
    int32_t at_end = family_62 ? rh62_data_end : rh64_data_end;
    int32_t at_p = family_62 ? rh62_p : rh64_p;
    int32_t rec = index_record_size(version);
    FilePos size = in.size;
    FilePos last = std::min(structure_window, size - (at_p + len));
    if (!in.data)
        return -1;

    std::vector<HeaderCandidate> consistent;
    int32_t ordered = 0;
    for (FilePos a = 0; a < last; a++) {
        const uint8_t* h = in.data + a;
        FilePos ds = wide ? get64le(h + at_start) : get32le(h + at_start);
        FilePos de = wide ? get64le(h + at_end) : get32le(h + at_end);
        FilePos p = wide ? get64le(h + at_p) : get32le(h + at_p);
        if (!(a + span <= ds && ds < de && de < size))
            continue;
        if (!(p == 0 || (de < p && p < size)))
            continue;
        if (++ordered > structure_max_ordered)
            break;

        Nav t;
        if (!read_candidate(in, version, wide, a, t) || !header_in_order(t) ||
            (wide && !block_vouches(in, t)))
            continue;
        if (static_cast<int32_t>(consistent.size()) == structure_max_consistent)
            return -1;
        consistent.push_back({a, t.data_start, t.index_num, t.index_start,
                              t.pp_start, t.pr_start});
    }

    const HeaderCandidate* found = nullptr;
    for (const HeaderCandidate& c : consistent) {
        Nav t;
        read_candidate(in, version, wide, c.anchor, t);
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
