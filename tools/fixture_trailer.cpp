// fixture_trailer.cpp -- the trailer field table and the trailer stream,
// in the version's fixed layout or in the table's.
#include <algorithm>
#include <cmath>

#include "fixture_internal.h"

namespace fixture::detail {
namespace {

constexpr int32_t trailer_62 = 279;
constexpr int32_t trailer_63_wide = 305;
constexpr int32_t trailer_63_narrow = 31;
constexpr int32_t trailer_64 = 300;
constexpr int32_t trailer_injection = 0;
constexpr int32_t trailer_charge = 18;
constexpr int32_t trailer_63_wide_injection = 26;
constexpr int32_t trailer_63_wide_charge = 44;
constexpr uint8_t trailer_filler = 0xA5;  // table fields nobody reads
constexpr char time_label[] = "Ion Injection Time";
constexpr char charge_label[] = "Charge State";
constexpr char mono_label[] = "Monoisotopic M/Z";

// Bytes a field of this type takes in a trailer record.
int64_t field_bytes(const TrailerField& t) {
    if (t.type == 0) return 0;
    if (t.type <= 5) return 1;
    if (t.type <= 7) return 2;
    if (t.type <= 10) return 4;
    if (t.type == 11) return 8;
    return (t.type == 12 ? 1 : 2) * int64_t{t.length};
}

bool begins(const std::string& label, const char* prefix) { return label.rfind(prefix, 0) == 0; }

bool integer_type(uint32_t type) { return type == 1 || (type >= 5 && type <= 9); }

// The first time, charge and monoisotopic fields get the scan's values
// in any type that can hold them, not only the ones the converter reads:
// it must read only the types it knows. Besides the float types, the
// time goes into any 4- or 8-byte field as a float (text included), the
// charge into any 1-, 2- or 4-byte field as an integer.
TableShape shape_of(const std::vector<TrailerField>& fields) {
    TableShape t;
    int64_t at = 0;
    bool time_seen = false, charge_seen = false, mono_seen = false;
    for (const TrailerField& f : fields) {
        int64_t size = field_bytes(f);
        Slot here{static_cast<int32_t>(at), static_cast<int32_t>(size), !integer_type(f.type)};
        if (!time_seen && begins(f.label, time_label)) {
            time_seen = true;
            if (!here.real || size == 4 || size == 8) t.time = here;
        }
        if (!charge_seen && begins(f.label, charge_label)) {
            charge_seen = true;
            if (size == 1 || size == 2 || size == 4) t.charge = {here.at, here.size, false};
        }
        if (!mono_seen && begins(f.label, mono_label)) {
            mono_seen = true;
            if (f.type == 10 || f.type == 11 || integer_type(f.type)) t.mono = here;
        }
        at += size;
    }
    t.width = static_cast<int32_t>(at);
    return t;
}

// v into a slot of record r: a float, or an integer (truncated, saturating
// at the 32-bit ranges, NaN as 0) cut to the slot's size.
void put_slot(std::vector<uint8_t>& r, const Slot& s, double v) {
    if (s.at < 0) return;
    uint8_t* p = &r[static_cast<size_t>(s.at)];
    if (s.real && s.size == 8) return put_f64(p, v);
    if (s.real) return put_f32(p, static_cast<float>(v));
    int64_t n = std::isnan(v) ? 0 : static_cast<int64_t>(std::clamp(v, -2147483648.0, 4294967295.0));
    for (int32_t i = 0; i < s.size; i++) p[i] = static_cast<uint8_t>(static_cast<uint64_t>(n) >> (8 * i));
}

// Records in a table's layout: filler, with the scan's values in the first
// fields so labelled (the monoisotopic m/z only when the scan has one).
void put_table_trailers(Out& o, const TableShape& t, const Plan& plan) {
    std::vector<uint8_t> r(static_cast<size_t>(t.width));
    for (const Meta& m : plan.metas) {
        std::fill(r.begin(), r.end(), trailer_filler);
        put_slot(r, t.time, m.injection_time);
        put_slot(r, t.charge, m.charge_state);
        if (m.mono_mz) put_slot(r, t.mono, *m.mono_mz);
        append(o, r.data(), r.size());
    }
}

}  // namespace

int32_t trailer_size(const File& f) {
    if (f.version == 62) return trailer_62;
    if (f.version == 63) return f.v63_trailer_wide ? trailer_63_wide : trailer_63_narrow;
    return trailer_64;
}

// Bytes a trailer record takes (by the table when there is one).
int32_t trailer_bytes(const File& f) {
    return f.trailer_table ? shape_of(*f.trailer_table).width : trailer_size(f);
}

// The table's bytes and, when it is one the writer describes, its shape.
void plan_table(const File& f, Plan& plan) {
    if (f.trailer_table_raw) {
        plan.table = *f.trailer_table_raw;
    } else if (f.trailer_table) {
        plan.table = trailer_table_bytes(*f.trailer_table);
        plan.shape = shape_of(*f.trailer_table);
    }
}

// The trailer stream from pos, the end of the event stream.
void place_trailers(const File& f, Plan& plan, int64_t pos) {
    Layout& lay = plan.lay;
    int32_t scans = static_cast<int32_t>(plan.metas.size());
    lay.pr_start = pos;
    // Records by a table start at the stored pointer itself.
    int32_t adjust = family_62(f.version) ? trailer_adjust_62 : trailer_adjust_64;
    lay.pr_header = plan.shape ? pos : pos - adjust;
    lay.trailer_width = plan.shape ? plan.shape->width : trailer_size(f);
    if (plan.shape) {
        lay.trailer_time_at = plan.shape->time.at;
        lay.trailer_charge_at = plan.shape->charge.at;
        lay.trailer_mono_at = plan.shape->mono.at;
    }
    for (int32_t k = 0; k < scans; k++) lay.trailer_pos.push_back(pos + int64_t{k} * lay.trailer_width);
    lay.filesize = pos + int64_t{scans} * lay.trailer_width;
}

void put_trailers(Out& o, const File& f, const Plan& plan) {
    if (plan.shape) {
        put_table_trailers(o, *plan.shape, plan);
        return;
    }
    int32_t size = trailer_size(f);
    bool wide_63 = f.version == 63 && f.v63_trailer_wide;
    int32_t at_time = wide_63 ? trailer_63_wide_injection : trailer_injection;
    int32_t at_charge = wide_63 ? trailer_63_wide_charge : trailer_charge;
    bool has_charge = f.version != 63 || f.v63_trailer_wide;
    std::vector<uint8_t> t(static_cast<size_t>(size));
    for (const Meta& m : plan.metas) {
        std::fill(t.begin(), t.end(), 0);
        put_f32(&t[static_cast<size_t>(at_time)], m.injection_time);
        if (has_charge) put16(&t[static_cast<size_t>(at_charge)], static_cast<uint16_t>(m.charge_state));
        append(o, t.data(), t.size());
    }
}

}  // namespace fixture::detail

namespace fixture {

std::vector<TrailerField> realistic_trailer_table(uint32_t time_type, uint32_t charge_type) {
    return {{8, 0, "Scan Segment:"},
            {8, 0, "Scan Event:"},
            {3, 0, "Multiple Injection:"},
            {time_type, 0, "Ion Injection Time (ms):"},
            {11, 0, "Elapsed Scan Time (sec):"},
            {charge_type, 0, "Charge State:"},
            {11, 0, "Monoisotopic M/Z:"},
            {13, 20, "Scan Description:"},
            {10, 0, "AGC Target:"}};
}

std::vector<uint8_t> trailer_table_bytes(const std::vector<TrailerField>& fields) {
    using detail::put16, detail::put32;
    std::vector<uint8_t> b(4);
    put32(b.data(), static_cast<uint32_t>(fields.size()));
    for (const TrailerField& t : fields) {
        size_t at = b.size();
        b.resize(at + 12 + 2 * t.label.size());
        put32(&b[at], t.type);
        put32(&b[at + 4], t.length);
        put32(&b[at + 8], static_cast<uint32_t>(t.label.size()));
        for (size_t i = 0; i < t.label.size(); i++)
            put16(&b[at + 12 + 2 * i], static_cast<uint8_t>(t.label[i]));
    }
    return b;
}

}  // namespace fixture
