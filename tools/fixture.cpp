// fixture.cpp -- lays out synthetic raw files the way the converter walks them.
//
// File order: version word and method name, header terminator and run header
// (all in a fixed 8192-byte header area), the data stream of peak packets,
// the header block at data_end (and the P block behind it), the trailer
// field table when there is one, the scan index, the scan-event stream, v63
// padding, and the trailer stream last.
#include <cstdio>
#include <cstring>

#include "fixture_internal.h"

namespace fixture {
namespace detail {

int64_t out_pos(const Out& o) { return o.base + static_cast<int64_t>(o.buf.size()); }

void flush(Out& o) {
    if (o.fp == nullptr || o.buf.empty()) return;
    if (o.ok && std::fwrite(o.buf.data(), 1, o.buf.size(), o.fp) != o.buf.size()) o.ok = false;
    o.base += static_cast<int64_t>(o.buf.size());
    o.buf.clear();
}

void append(Out& o, const uint8_t* p, size_t n) {
    o.buf.insert(o.buf.end(), p, p + n);
    if (o.buf.size() >= chunk_size) flush(o);
}

void append_zeros(Out& o, int64_t n) {
    if (n > 0) o.buf.resize(o.buf.size() + static_cast<size_t>(n), 0);
    if (o.buf.size() >= chunk_size) flush(o);
}

// Writes the header area: bytes 0 up to data_start.
void begin(Out& o, const File& f, Plan& plan) {
    plan.lay.data_start = int64_t{header_area_size} + f.data_start_pad;
    // The blocks lie behind: a 62/63 file cannot store where they are.
    if (family_62(f.version) && plan.lay.data_start >= max_position_62) o.ok = false;
    if (o.ok) append_zeros(o, plan.lay.data_start);
}

namespace {

// Places the blocks, index and streams behind the data stream.
void place_streams(const File& f, Plan& plan, int64_t data_end) {
    Layout& lay = plan.lay;
    int32_t scans = static_cast<int32_t>(plan.metas.size());
    lay.data_end = data_end;
    lay.p = f.path == HeaderPath::p_zero ? 0 : data_end + block_size;
    lay.index_num = f.index_num.value_or(scans);
    lay.index_start = data_end + (lay.p != 0 ? 2 : 1) * block_size;
    plan_table(f, plan);
    if (f.trailer_table_raw || f.trailer_table) {
        lay.trailer_table = lay.index_start;
        lay.index_start += static_cast<int64_t>(plan.table.size());
    }
    lay.pp_start = lay.index_start + int64_t{scans} * entry_size(f.version);
    place_trailers(f, plan, place_events(f, plan));
}

// Versions 62 and 63 store every position in 32 bits: past that, refused.
bool fits_62(const File& f, const Layout& lay) {
    if (!family_62(f.version)) return true;
    for (int64_t v : {lay.data_start, lay.data_end, lay.p, lay.index_start, lay.pp_start,
                      lay.pr_header})
        if (v > max_position_62) return false;
    return true;
}

}  // namespace

// Writes everything behind the data stream and fills in the header area.
void finish(Out& o, const File& f, Plan& plan) {
    place_streams(f, plan, out_pos(o));
    const Layout& lay = plan.lay;
    if (!fits_62(f, lay)) o.ok = false;
    if (!o.ok) return;
    put_blocks(o, f, lay);
    append(o, plan.table.data(), plan.table.size());
    put_index(o, f, plan);
    put_events(o, f, plan);
    append_zeros(o, lay.pr_start - out_pos(o));
    put_trailers(o, f, plan);

    std::vector<uint8_t> head(static_cast<size_t>(lay.data_start), 0);
    put_header_area(head.data(), f, plan.lay);
    if (o.fp == nullptr) {
        std::memcpy(o.buf.data(), head.data(), head.size());
        return;
    }
    flush(o);
    if (std::fseek(o.fp, 0, SEEK_SET) != 0 ||
        std::fwrite(head.data(), 1, head.size(), o.fp) != head.size())
        o.ok = false;
}

// Where the converter finds each packet: the 64-bit sum in a version 64 or
// 66 file of 2 GiB or more, else the offset's low 32 bits added with
// wrap-around.
void settle_packet_pos(const File& f, Layout& lay) {
    if (!family_62(f.version) && lay.filesize > max_position_62) return;
    for (int64_t& pos : lay.packet_pos) pos = wrap32(pos);
}

}  // namespace detail

std::vector<uint8_t> build(const File& f, Layout* layout) {
    using namespace detail;
    Out o;
    Plan plan;
    begin(o, f, plan);
    for (const Scan& s : f.scans) add_scan(o, f, plan, s);
    finish(o, f, plan);
    if (!o.ok) {
        if (layout != nullptr) *layout = plan.lay;
        return {};
    }
    plan.lay.filesize = static_cast<int64_t>(o.buf.size());
    if (f.truncate_at && *f.truncate_at >= 0 && *f.truncate_at < plan.lay.filesize) {
        o.buf.resize(static_cast<size_t>(*f.truncate_at));
        plan.lay.filesize = *f.truncate_at;
    }
    settle_packet_pos(f, plan.lay);
    if (layout != nullptr) *layout = plan.lay;
    return std::move(o.buf);
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* fp = std::fopen(path.c_str(), "wb");
    if (fp == nullptr) return false;
    // An empty vector may hold no buffer: fwrite must not see its null.
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), fp) == bytes.size();
    return std::fclose(fp) == 0 && ok;
}

}  // namespace fixture
