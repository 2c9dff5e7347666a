// fuzz_run_header.cpp -- the run-header probe of the file's version as the
// converter runs it: the search after the method marker, then, when that
// gives no credible header, the search by the file's structure. Versions
// 64 and 66 are probed twice: by 32-bit positions, and by the 64-bit ones
// that files of 2 GiB or more are read by.
//
// Property: an anchor found by structure passes every check of that
// search when checked again here, step by step, from the file's bytes.
#include <cmath>

#include "harness.h"
#include "raw/raw.h"

namespace {

struct Family {
    int32_t span;      // run-header bytes from the anchor
    int32_t at_start;  // data_start, data_end and P from the anchor
    int32_t at_end;
    int32_t at_p;
    int32_t record;    // index record size
};

Family family_of(int32_t version)
{
    if (version == 62 || version == 63)
        return {78, 42, 62, 74, index_record_62};
    return {862, 826, 842, 858,
            version == 64 ? index_record_64 : index_record_66};
}

double get64f(const uint8_t* p)
{
    double v;
    std::memcpy(&v, p, 8);
    return v;
}

int64_t get_pos(const uint8_t* p, bool wide)
{
    return wide ? get64le(p) : get32le(p);
}

/*
 * Checks the header at anchor a against the first two steps of the
 * structural search, and by 64-bit positions also the header block's own
 * position and data-stream copy: what a header read that way must satisfy
 * wherever it was found. whole: every value must lie inside the file, as
 * the structural search asks. The header's count and index go to t.
 */
bool header_holds(const uint8_t* data, int64_t size, int32_t version,
                  int64_t a, bool wide, bool whole, Nav& t)
{
    Family f = family_of(version);
    int64_t len = wide ? 8 : 4;
    if (a < 0 || a + f.at_p + len > size)
        return false;
    // 1. The run-header words in order.
    int64_t ds = get_pos(data + a + f.at_start, wide);
    int64_t de = get_pos(data + a + f.at_end, wide);
    int64_t p = get_pos(data + a + f.at_p, wide);
    if (!(a + f.span <= ds && ds < de && de < size))
        return false;
    if (!(p == 0 || (de < p && p < size)))
        return false;

    // 2. The header block, read as the probe reads it.
    Input in = borrow_input(data, static_cast<size_t>(size));
    t.version = version;
    t.filesize = static_cast<FilePos>(size);
    t.wide = wide;
    if (!read_run_header(in, t, a) && whole)
        return false;
    int64_t count = t.index_num, index_start = t.index_start;
    if (count <= 0 || t.data_end > index_start || index_start > size)
        return false;
    int64_t index_end = index_start + count * f.record;
    if (index_end > size || index_end != t.pp_start ||
        !(t.pp_start < t.pr_start && t.pr_start <= size))
        return false;
    // By 64-bit positions the header block names itself and, at data_end,
    // the data-stream base.
    int64_t h = t.header_block;
    return !wide || (h + 7480 <= size && get64le(data + h + 7472) == h &&
                     (h != de || get64le(data + h + 7416) == ds));
}

// Checks anchor a against the three steps of the structural search.
bool anchor_holds(const uint8_t* data, int64_t size, int32_t version,
                  int64_t a, bool wide)
{
    Family f = family_of(version);
    Nav t;
    if (a >= 65536 || !header_holds(data, size, version, a, wide, true, t))
        return false;
    int64_t count = t.index_num, index_start = t.index_start;
    int64_t ds = t.data_start, de = t.data_end;

    // 3. Packets back to back, times and mass ranges in order.
    int64_t expect = 0;
    double last_time = 0;
    bool family_62 = version == 62 || version == 63;
    for (int64_t k = 0; k < count; k++) {
        const uint8_t* r = data + index_start + k * f.record;
        int64_t offset = family_62 ? int64_t{get32le(r)} : get64le(r + 72);
        if (offset != expect)
            return false;
        expect = offset + get32le(r + 20);
        double time = get64f(r + 24), low = get64f(r + 56), high = get64f(r + 64);
        if (!std::isfinite(time) || time < 0 || time < last_time)
            return false;
        last_time = time;
        if (!std::isfinite(low) || !std::isfinite(high) || low < 0 || low > high)
            return false;
    }
    return ds + expect == de;
}

}  // namespace

static void probe(const uint8_t* data, size_t size, bool wide)
{
    Input in = borrow_input(data, size);
    Nav nav;
    std::memcpy(&nav.version, data + 36, 4);
    nav.filesize = static_cast<FilePos>(size);
    nav.wide = wide;
    if (nav.version == 62 || nav.version == 63)
        nav.locator = get_data_start(in, nav);
    else if (nav.version == 64 || nav.version == 66)
        nav.locator = get_data_start2(in, nav);
    else
        return;
    if (nav.header_found) {
        // The search takes a header only when its base lies in the file.
        int32_t base = family_of(nav.version).at_start;
        FUZZ_CHECK(inside(in, nav.anchor + base, wide ? 8 : 4));
    }
    if (run_header_credible(in, nav)) {
        Nav t;
        FUZZ_CHECK(!wide || header_holds(data, nav.filesize, nav.version,
                                         nav.anchor, true, false, t));
        return;
    }
    int64_t anchor = find_anchor_by_structure(in, nav.version, wide);
    if (anchor >= 0) {
        FUZZ_CHECK(anchor_holds(data, static_cast<int64_t>(size), nav.version,
                                anchor, wide));
        Nav fresh;
        fresh.version = nav.version;
        fresh.filesize = nav.filesize;
        fresh.wide = wide;
        FUZZ_CHECK(read_run_header(in, fresh, anchor));
    }
}

int fuzz_run_header(const uint8_t* data, size_t size)
{
    if (size < 40)
        return 0;
    probe(data, size, false);
    int32_t version;
    std::memcpy(&version, data + 36, 4);
    if (version == 64 || version == 66)
        probe(data, size, true);
    return 0;
}

FUZZ_ENTRY(fuzz_run_header)
