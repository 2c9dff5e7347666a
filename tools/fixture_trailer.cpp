// fixture_trailer.cpp -- the trailer field table and the trailer stream,
// in the version's fixed layout or in the table's.
#include <algorithm>

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

// The first time and charge fields get the scan's values whatever their
// type, when their size can hold one: the converter must read only the
// types it knows.
TableShape shape_of(const std::vector<TrailerField>& fields) {
    TableShape t;
    int64_t at = 0;
    bool time_seen = false, charge_seen = false;
    for (const TrailerField& f : fields) {
        int64_t size = field_bytes(f);
        if (!time_seen && begins(f.label, time_label)) {
            time_seen = true;
            if (size == 4 || size == 8) {
                t.time_at = static_cast<int32_t>(at);
                t.time_size = static_cast<int32_t>(size);
            }
        }
        if (!charge_seen && begins(f.label, charge_label)) {
            charge_seen = true;
            if (size == 1 || size == 2 || size == 4) {
                t.charge_at = static_cast<int32_t>(at);
                t.charge_size = static_cast<int32_t>(size);
            }
        }
        at += size;
    }
    t.width = static_cast<int32_t>(at);
    return t;
}

// Records in a table's layout: filler, with the scan's time and charge in
// the first fields so labelled.
void put_table_trailers(Out& o, const TableShape& t, const Plan& plan) {
    std::vector<uint8_t> r(static_cast<size_t>(t.width));
    for (const Meta& m : plan.metas) {
        std::fill(r.begin(), r.end(), trailer_filler);
        if (t.time_size == 8) put_f64(&r[static_cast<size_t>(t.time_at)], m.injection_time);
        if (t.time_size == 4) put_f32(&r[static_cast<size_t>(t.time_at)], m.injection_time);
        if (t.charge_at >= 0) {
            uint32_t z = static_cast<uint32_t>(int32_t{m.charge_state});
            for (int32_t i = 0; i < t.charge_size; i++)
                r[static_cast<size_t>(t.charge_at + i)] = static_cast<uint8_t>(z >> (8 * i));
        }
        append(o, r.data(), r.size());
    }
}

}  // namespace

int32_t trailer_size(const File& f) {
    if (f.version == 62) return trailer_62;
    if (f.version == 63) return f.v63_trailer_wide ? trailer_63_wide : trailer_63_narrow;
    return trailer_64;
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
void place_trailers(const File& f, Plan& plan, int32_t pos) {
    Layout& lay = plan.lay;
    int32_t scans = static_cast<int32_t>(plan.metas.size());
    lay.pr_start = pos;
    // Records by a table start at the stored pointer itself.
    int32_t adjust = family_62(f.version) ? trailer_adjust_62 : trailer_adjust_64;
    lay.pr_header = plan.shape ? pos : pos - adjust;
    lay.trailer_width = plan.shape ? plan.shape->width : trailer_size(f);
    if (plan.shape) {
        lay.trailer_time_at = plan.shape->time_at;
        lay.trailer_charge_at = plan.shape->charge_at;
    }
    for (int32_t k = 0; k < scans; k++) lay.trailer_pos.push_back(pos + k * lay.trailer_width);
    lay.filesize = pos + scans * lay.trailer_width;
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
