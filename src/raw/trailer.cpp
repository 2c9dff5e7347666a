// trailer.cpp -- ion injection time and charge state from the trailer
// stream, one fixed-width record per index entry.
//
// Real files describe their trailer records with a table of fields in
// front of the scan index; where one is found, its record width and field
// places are used. Otherwise each version has its fixed layout.
#include "raw/raw.h"

#include <algorithm>
#include <cmath>
#include <cstring>

// Fixed layouts: width, time at, float32, charge at (-1: none), int16.
static const TrailerLayout trailer_62 = {false, 279, 0, 10, 18, 6};
static const TrailerLayout trailer_63_wide = {false, 305, 26, 10, 44, 6};
static const TrailerLayout trailer_63_narrow = {false, 31, 0, 10, -1, 0};
static const TrailerLayout trailer_64 = {false, 300, 0, 10, 18, 6};  // and 66
static const int32_t trailer_63_wide_above = 300;  // pr_w above: wide

static const TrailerLayout& fixed_layout(const Nav& nav)
{
    switch (nav.version) {
    case 62:
        return trailer_62;
    case 63:
        return nav.pr_w > trailer_63_wide_above ? trailer_63_wide
                                                : trailer_63_narrow;
    default:
        return trailer_64;
    }
}

// Field table limits: anything beyond them is not a table.
static const int64_t table_window = 8 << 20;  // searched before the index
static const uint32_t table_max_fields = 1024;
static const uint32_t table_max_type = 13;
static const uint32_t table_max_label = 256;   // characters
static const uint32_t table_max_text = 65535;  // length of types 12, 13

// Bytes a field of this type and length takes in a record.
static int64_t field_size(uint32_t type, uint32_t length)
{
    if (type == 0)
        return 0;
    if (type <= 5)
        return 1;          // char, bool, unsigned char and kin
    if (type <= 7)
        return 2;          // int16, uint16
    if (type <= 10)
        return 4;          // int32, uint32, float32
    if (type == 11)
        return 8;          // float64
    if (type == 12)
        return length;     // 8-bit text
    return int64_t{2} * length;  // 13: UTF-16 text
}

static const char time_label[] = "Ion Injection Time";
static const char charge_label[] = "Charge State";
static const char mono_label[] = "Monoisotopic M/Z";

// Whether the UTF-16LE label of chars characters at p begins with prefix.
static bool label_begins(const uint8_t* p, uint32_t chars, const char* prefix)
{
    size_t n = std::strlen(prefix);
    if (chars < n)
        return false;
    for (size_t i = 0; i < n; i++)
        if (p[2 * i] != static_cast<uint8_t>(prefix[i]) || p[2 * i + 1] != 0)
            return false;
    return true;
}

/*
 * Parses a field table at c that must end at or before end: a u32 count,
 * then per field u32 type, u32 length, u32 label length in characters and
 * the UTF-16LE label. Fills t with the record width and the places of the
 * first time and charge fields. Returns true only for a table within the
 * limits above that names either field.
 */
static bool parse_table(const Input& in, int64_t c, int64_t end,
                        TrailerLayout& t)
{
    uint32_t count = static_cast<uint32_t>(get32le(in.data + c));
    if (count < 1 || count > table_max_fields)
        return false;
    int64_t pos = c + 4;
    int64_t width = 0;  // running sum of field sizes: the next field's offset
    bool named = false, time_seen = false, charge_seen = false;
    bool mono_seen = false;
    t = TrailerLayout{true, 0, -1, 0, -1, 0, -1, 0};
    for (uint32_t f = 0; f < count; f++) {
        if (pos + 12 > end)
            return false;
        uint32_t type = static_cast<uint32_t>(get32le(in.data + pos));
        uint32_t length = static_cast<uint32_t>(get32le(in.data + pos + 4));
        uint32_t chars = static_cast<uint32_t>(get32le(in.data + pos + 8));
        if (type > table_max_type || chars > table_max_label ||
            ((type == 12 || type == 13) && length > table_max_text))
            return false;
        pos += 12;
        if (pos + int64_t{2} * chars > end)
            return false;
        const uint8_t* label = in.data + pos;
        pos += int64_t{2} * chars;
        if (!time_seen && label_begins(label, chars, time_label)) {
            time_seen = named = true;
            if (type == 10 || type == 11) {
                t.time_at = static_cast<int32_t>(width);
                t.time_type = type;
            }
        }
        if (!charge_seen && label_begins(label, chars, charge_label)) {
            charge_seen = named = true;
            if (type == 1 || (type >= 5 && type <= 9)) {
                t.charge_at = static_cast<int32_t>(width);
                t.charge_type = type;
            }
        }
        if (!mono_seen && label_begins(label, chars, mono_label)) {
            mono_seen = true;
            if (type == 10 || type == 11) {
                t.mono_at = static_cast<int32_t>(width);
                t.mono_type = type;
            }
        }
        width += field_size(type, length);
    }
    if (!named || width < 1 || width > INT32_MAX)
        return false;
    t.width = static_cast<int32_t>(width);
    return true;
}

// The last place in [from, to) where a label this search looks for lies
// wholly, or -1: a table that names one starts before it.
static int64_t last_label(Input& in, int64_t from, int64_t to)
{
    int64_t last = -1;
    for (const char* label : {time_label, charge_label}) {
        uint8_t pat[2 * sizeof time_label];
        int32_t n = static_cast<int32_t>(2 * std::strlen(label));
        for (int32_t i = 0; i < n; i += 2) {
            pat[i] = static_cast<uint8_t>(label[i / 2]);
            pat[i + 1] = 0;
        }
        for (int64_t q = find_bytes(in, from, to - n, pat, n); q >= 0;
             q = find_bytes(in, q + 1, to - n, pat, n))
            last = std::max(last, q);
    }
    return last;
}

int64_t find_trailer_table(Input& in, const Nav& nav, TrailerLayout& out)
{
    int64_t r = nav.pr_header;  // record 0, before the reader's adjustment
    if (!(nav.data_end >= 0 && nav.data_end < nav.index_start &&
          nav.index_start <= in.size && r >= 0 && nav.index_num > 0) ||
        !in.data)
        return -1;
    int64_t end = nav.index_start;
    int64_t from = std::max<int64_t>(nav.data_end, end - table_window);
    // A table holds its count and a field head before any label.
    int64_t last = std::min(end - 4, last_label(in, from, end) - 16);
    for (int64_t c = from; c <= last; c++) {
        TrailerLayout t;
        if (!parse_table(in, c, end, t))
            continue;
        if (r + int64_t{t.width} * nav.index_num > in.size)
            continue;  // its records would not fit in the file
        out = t;
        return c;
    }
    return -1;
}

// A float64 or float32 field; false when it could not be read whole.
static bool read_real(Input& in, int64_t at, uint32_t type, double& v)
{
    if (type == 11)
        return read_at(in, at, &v, 8) == 8;
    float f;
    if (read_at(in, at, &f, 4) != 4)
        return false;
    v = static_cast<double>(f);
    return true;
}

static void read_table_fields(Input& in, const TrailerLayout& t, FilePos at,
                              ScanContext& ctx)
{
    // The monoisotopic m/z belongs to this entry alone.
    ctx.monoisotopic_mz = 0;
    double mono;
    if (t.mono_at >= 0 && read_real(in, at + t.mono_at, t.mono_type, mono))
        ctx.monoisotopic_mz = mono;
    double time;
    if (t.time_at >= 0 && read_real(in, at + t.time_at, t.time_type, time))
        ctx.ion_injection_time = narrow_to_float(time);
    if (t.charge_at >= 0) {
        uint8_t b[4] = {0, 0, 0, 0};
        int64_t n = t.charge_type == 1 || t.charge_type == 5 ? 1
                    : t.charge_type <= 7                     ? 2
                                                             : 4;
        if (read_at(in, at + t.charge_at, b, n) == n) {
            uint16_t low = static_cast<uint16_t>(b[0] | b[1] << 8);
            if (t.charge_type == 1 && (b[0] & 0x80))
                low = static_cast<uint16_t>(low | 0xFF00);  // signed char
            ctx.charge_state = static_cast<int16_t>(low);
        }
    }
}

void read_trailer(Input& in, Nav& nav, ScanContext& ctx)
{
    if (nav.trailer.by_table) {
        read_table_fields(in, nav.trailer, nav.pr_start, ctx);
        nav.pr_start = pos_add(nav.wide, nav.pr_start, nav.trailer.width);
        return;
    }
    const TrailerLayout& t = fixed_layout(nav);
    // Values not found keep what the previous entry left.
    read_at(in, pos_add(nav.wide, nav.pr_start, t.time_at),
            &ctx.ion_injection_time, 4);
    if (t.charge_at >= 0)
        read_at(in, pos_add(nav.wide, nav.pr_start, t.charge_at),
                &ctx.charge_state, 2);
    nav.pr_start = pos_add(nav.wide, nav.pr_start, t.width);
}
