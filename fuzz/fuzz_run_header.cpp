// fuzz_run_header.cpp -- the run-header probe of the file's version as the
// converter runs it: the search after the method marker, then, when that
// gives no credible header, the search by the file's structure.
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

int64_t get64le(const uint8_t* p)
{
    int64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Checks anchor a against the three steps of the structural search.
bool anchor_holds(const uint8_t* data, int64_t size, int32_t version,
                  int64_t a)
{
    Family f = family_of(version);
    if (a < 0 || a >= 65536 || a >= size - f.span)
        return false;
    // 1. The run-header words in order.
    int64_t ds = get32le(data + a + f.at_start);
    int64_t de = get32le(data + a + f.at_end);
    int64_t p = get32le(data + a + f.at_p);
    if (!(a + f.span <= ds && ds < de && de < size))
        return false;
    if (!(p == 0 || (de < p && p < size)))
        return false;

    // 2. The header block, read as the probe reads it, wholly inside.
    Input in = borrow_input(data, static_cast<size_t>(size));
    Nav t;
    t.version = version;
    t.filesize = static_cast<FilePos>(size);
    if (!read_run_header(in, t, static_cast<int32_t>(a)))
        return false;
    int64_t count = t.index_num, index_start = t.index_start;
    int64_t index_end = index_start + count * f.record;
    if (count <= 0 || t.data_end > index_start || index_start < 0 ||
        index_end > size || index_end != t.pp_start ||
        !(t.pp_start < t.pr_start && t.pr_start <= size))
        return false;

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

int fuzz_run_header(const uint8_t* data, size_t size)
{
    Input in = borrow_input(data, size);
    Nav nav;
    if (size >= 40)
        std::memcpy(&nav.version, data + 36, 4);
    nav.filesize = static_cast<FilePos>(size);
    if (nav.version == 62 || nav.version == 63)
        nav.locator = get_data_start(in, nav);
    else if (nav.version == 64 || nav.version == 66)
        nav.locator = get_data_start2(in, nav);
    else
        return 0;
    if (nav.header_found) {
        // The search takes a header only when its base lies in the file.
        int32_t base = family_of(nav.version).at_start;
        FUZZ_CHECK(inside(in, int64_t{nav.anchor} + base, 4));
    }
    bool credible = nav.header_found && nav.locator >= 0 &&
                    nav.locator < nav.filesize && nav.index_start >= 0 &&
                    nav.index_start < nav.filesize;
    if (credible)
        return 0;
    int64_t anchor = find_anchor_by_structure(in, nav.version);
    if (anchor >= 0) {
        FUZZ_CHECK(anchor_holds(data, static_cast<int64_t>(size), nav.version,
                                anchor));
        Nav fresh;
        fresh.version = nav.version;
        fresh.filesize = nav.filesize;
        FUZZ_CHECK(read_run_header(in, fresh, static_cast<int32_t>(anchor)));
    }
    return 0;
}

FUZZ_ENTRY(fuzz_run_header)
