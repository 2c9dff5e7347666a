// fixture_twin.cpp -- sparse twins: a small version 64/66 file's packets,
// index, events and trailers moved to 64-bit positions, holes in between.
//
// The twin must convert to exactly the bytes of its source, so only what
// holds a position changes: the run header, the header blocks' pointers,
// the index entries' offsets, and the profile word of a packet that gets a
// hole (its profile part grows by the hole, which nobody reads).
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "fixture_internal.h"

namespace fixture {
namespace {

using namespace detail;

// Where the run header and a header block end: past their last position.
constexpr int64_t run_end = run_64_p + 8;
constexpr int64_t block_end = block_64_self + 8;

using Bytes = std::vector<uint8_t>;

uint64_t get_le(const Bytes& b, int64_t at, int n) {
    uint64_t v = 0;
    for (int i = n - 1; i >= 0; i--) v = v << 8 | b[static_cast<size_t>(at + i)];
    return v;
}

int64_t get_i64(const Bytes& b, int64_t at) { return static_cast<int64_t>(get_le(b, at, 8)); }
uint32_t get_u32(const Bytes& b, int64_t at) { return static_cast<uint32_t>(get_le(b, at, 4)); }

// Does the packet of size bytes at pos describe itself: one range, and
// the six part words account for every byte?
bool describes_itself(const Bytes& b, int64_t pos, int64_t size) {
    if (size < described_head_size || get_u32(b, pos) != 1) return false;
    int64_t words = 0;
    for (int64_t w = 1; w <= 7; w++)
        if (w != 3) words += get_u32(b, pos + 4 * w);  // word 3 holds flags
    return described_head_size + 4 * words == size;
}

// Writes n bytes to fd at pos, however many calls that takes.
bool put_at(int fd, const uint8_t* p, int64_t n, int64_t pos) {
    while (n > 0) {
        size_t part = static_cast<size_t>(n < (int64_t{1} << 30) ? n : int64_t{1} << 30);
        ssize_t done = pwrite(fd, p, part, static_cast<off_t>(pos));
        if (done < 0 && errno == EINTR) continue;
        if (done == 0) errno = EIO;  // a write that makes no progress
        if (done <= 0) return false;
        p += done;
        n -= done;
        pos += done;
    }
    return true;
}

bool put_i64_at(int fd, int64_t v, int64_t pos) {
    uint8_t b[8];
    put_i64(b, v);
    return put_at(fd, b, 8, pos);
}

// Where each packet goes; checked before anything is written.
struct Move {
    int64_t offset;    // new packet_offset
    int32_t size;      // new data_size
    int64_t head = 0;  // bytes before the hole (0: no hole)
};

// The source's data stream as packets back to back in index order, each
// placed anew; "" or why not.
std::string plan_moves(const Bytes& src, const TwinSource& s, const TwinPlan& plan,
                       std::vector<Move>& moves) {
    int64_t record = entry_size(s.version);
    int64_t sum = 0;      // old offset of the next packet
    int64_t placed = 0;   // new offset of the next packet
    int32_t holes = 0;
    for (int32_t k = 0; k < s.index_num; k++) {
        int64_t e = s.index_start + k * record;
        int64_t offset = get_i64(src, e + entry_packet_offset);
        int32_t size = static_cast<int32_t>(get_u32(src, e + entry_data_size));
        if (offset != sum || size < 0 || s.data_start + sum + size > s.data_end)
            return "packet " + std::to_string(k) + " does not follow the one before it";
        Move m{placed, size};
        int64_t pos = s.data_start + offset;
        if (holes < plan.holes && describes_itself(src, pos, size)) {
            uint32_t profile = get_u32(src, pos + described_profile_word);
            if (int64_t{size} + plan.hole > INT32_MAX ||
                int64_t{profile} + plan.hole / 4 > UINT32_MAX)
                return "a hole that large does not fit packet " + std::to_string(k);
            m.size = static_cast<int32_t>(size + plan.hole);
            m.head = described_head_size + 4 * int64_t{profile};
            holes++;
        }
        moves.push_back(m);
        sum += size;
        placed += m.size;
    }
    if (s.data_start + sum != s.data_end) return "the packets do not end at data_end";
    return "";
}

// Is the source what a twin can be made of?
std::string check_source(const Bytes& src, const TwinSource& s, const TwinPlan& plan) {
    int64_t size = static_cast<int64_t>(src.size());
    if (s.version != 64 && s.version != 66) return "only versions 64 and 66 have a twin";
    if (s.anchor < 0 || s.anchor + run_end > s.data_start)
        return "the run header does not lie before the data stream";
    if (s.data_start >= s.data_end || s.data_end + block_end > size)
        return "the data stream or its header block does not lie in the file";
    if (s.p != 0 && (s.p <= s.data_end || s.p + block_end > size))
        return "the second header block does not lie in the file";
    if (get_i64(src, s.anchor + run_64_data_start) != s.data_start ||
        get_i64(src, s.anchor + run_64_data_end) != s.data_end ||
        get_i64(src, s.anchor + run_64_p) != s.p)
        return "the run header does not hold the source's positions";
    if (s.index_num <= 0 || s.index_start < s.data_end ||
        s.index_start + int64_t{s.index_num} * entry_size(s.version) > size)
        return "the index does not lie in the file";
    if (plan.data_base < s.data_start) return "the data base lies in the header part";
    if (plan.hole < 0 || plan.hole % 4 != 0) return "a hole is a whole number of words";
    return "";
}

}  // namespace

TwinSource twin_source(const File& f, const Layout& lay) {
    return {f.version, lay.anchor, lay.data_start, lay.data_end, lay.p, lay.index_start,
            lay.index_num};
}

std::string write_twin(const Bytes& src, const TwinSource& s, const TwinPlan& plan,
                       const std::string& path, TwinLayout* out) {
    std::string why = check_source(src, s, plan);
    std::vector<Move> moves;
    if (why.empty()) why = plan_moves(src, s, plan, moves);
    if (!why.empty()) return why;

    int64_t size = static_cast<int64_t>(src.size());
    int64_t record = entry_size(s.version);
    int64_t index_bytes = s.index_num * record;
    const Move& last = moves.back();
    int64_t delta = plan.data_base + last.offset + last.size - s.data_end;
    auto moved = [&](int64_t v) { return v >= s.data_end && v <= size ? v + delta : v; };

    // The index as the twin holds it.
    Bytes index(src.begin() + s.index_start, src.begin() + s.index_start + index_bytes);
    for (size_t k = 0; k < moves.size(); k++) {
        uint8_t* e = &index[k * static_cast<size_t>(record)];
        put_i64(e + entry_packet_offset, moves[k].offset);
        put_i32(e + entry_data_size, moves[k].size);
    }

    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return "cannot create " + path + ": " + std::strerror(errno);
    const uint8_t* b = src.data();
    bool ok = put_at(fd, b, s.data_start, 0) &&
              put_i64_at(fd, plan.data_base, s.anchor + run_64_data_start) &&
              put_i64_at(fd, s.data_end + delta, s.anchor + run_64_data_end) &&
              (s.p == 0 || put_i64_at(fd, s.p + delta, s.anchor + run_64_p));
    int64_t from = s.data_start;  // the source's packets are back to back
    for (const Move& m : moves) {
        if (!ok) break;
        int64_t to = plan.data_base + m.offset, old_size = m.size - (m.head ? plan.hole : 0);
        if (m.head == 0) {
            ok = put_at(fd, b + from, m.size, to);
        } else {
            uint8_t profile[4];
            put32(profile, get_u32(src, from + described_profile_word) +
                                       static_cast<uint32_t>(plan.hole / 4));
            ok = put_at(fd, b + from, m.head, to) &&
                 put_at(fd, profile, 4, to + described_profile_word) &&
                 put_at(fd, b + from + m.head, old_size - m.head, to + m.head + plan.hole);
        }
        from += old_size;
    }
    // Everything behind the data stream, the index as the twin holds it.
    int64_t index_end = s.index_start + index_bytes;
    ok = ok && put_at(fd, b + s.data_end, s.index_start - s.data_end, s.data_end + delta) &&
         put_at(fd, index.data(), index_bytes, s.index_start + delta) &&
         put_at(fd, b + index_end, size - index_end, index_end + delta);
    // The blocks' pointers; a field that does not hold what a block holds
    // stays as it is.
    for (int64_t h : {s.data_end, s.p}) {
        if (h == 0 || !ok) continue;
        for (int64_t at : {block_64_index, block_64_events, block_64_trailers}) {
            int64_t v = get_i64(src, h + at);
            if (moved(v) != v) ok = ok && put_i64_at(fd, moved(v), h + delta + at);
        }
        if (get_i64(src, h + block_64_self) == h)
            ok = ok && put_i64_at(fd, h + delta + plan.self_pointer_skew, h + delta + block_64_self);
        if (get_i64(src, h + block_64_data_start) == s.data_start)
            ok = ok && put_i64_at(fd, plan.data_base + plan.data_copy_skew,
                                  h + delta + block_64_data_start);
    }
    int err = ok ? 0 : errno;
    if (close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        unlink(path.c_str());
        return "cannot write " + path + ": " + std::strerror(err);
    }

    if (out != nullptr) {
        // The streams as the block that holds the index names them.
        int64_t h = s.p != 0 && get_i64(src, s.p + block_64_index) == s.index_start ? s.p : s.data_end;
        *out = {plan.data_base, s.data_end + delta, s.p != 0 ? s.p + delta : 0,
                s.index_start + delta, moved(get_i64(src, h + block_64_events)),
                moved(get_i64(src, h + block_64_trailers)), size + delta, {}, 0};
        for (const Move& m : moves) {
            out->packet_pos.push_back(plan.data_base + m.offset);
            if (m.head != 0) out->holes++;
        }
    }
    return "";
}

}  // namespace fixture
