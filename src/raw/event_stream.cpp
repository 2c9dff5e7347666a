// event_stream.cpp -- walk the scan-event stream through its records' own
// counts, and read one record found that way.
//
// Real files hold one event record per index entry, back to back. Each
// record states its length: after the preamble come a reaction count and
// the reactions, a mass-range count and the ranges, a parameter count and
// the parameters, a tail count and the tail. When the whole stream walks
// that way and closes exactly on the trailer stream, record k belongs to
// entry k, whatever the fixed widths or the triage would say.
#include "raw/raw.h"

// Bounds of a record's counts; a larger count is not an event record.
static const uint32_t walk_max_reactions = 16;
static const uint32_t walk_max_ranges = 64;
static const uint32_t walk_max_params = 64;
static const uint32_t walk_max_tail = 64;

// Both signature forms: 01 00 02 01 (older instruments), 01 01 02 01.
static const uint8_t walk_signature[2][4] = {{0x01, 0x00, 0x02, 0x01},
                                             {0x01, 0x01, 0x02, 0x01}};
static const uint8_t walk_end_mark[4] = {0xFF, 0xFF, 0xFF, 0xFF};
static const int64_t walk_window = 32;       // signature .. end mark
static const int64_t walk_end_mark_at = 28;
static const int64_t range_size = 16;        // low and high m/z, float64
static const int64_t param_size = 8;         // float64
static const int64_t tail_record_66 = 4;     // one more word in version 66
static const int64_t stream_tail = 4;        // word between stream and T

int32_t event_preamble_len(int32_t version)
{
    switch (version) {
    case 62:
        return preamble_len_62;
    case 66:
        return preamble_len_66;
    default:
        return preamble_len_63;
    }
}

static int64_t reaction_size(int32_t version)
{
    return version == 66 ? reaction_size_66 : reaction_size_62;
}

static uint32_t get_u32(const Input& in, int64_t at)
{
    return static_cast<uint32_t>(get32le(in.data + at));
}

/*
 * Reads the count word at c, which must lie wholly before end and hold lo
 * to hi, and steps over it and its count items of size bytes. Returns the
 * place after them, or -1.
 */
static int64_t step_count(const Input& in, int64_t c, int64_t end, uint32_t lo,
                          uint32_t hi, int64_t size)
{
    if (c < 0 || c + 4 > end)
        return -1;
    uint32_t count = get_u32(in, c);
    return count < lo || count > hi ? -1 : c + 4 + size * count;
}

/*
 * Steps over the record at r, reading nothing at or past end. Returns the
 * start of the next record, or -1 when the bytes at r are not a record
 * (signature, a count out of bounds, or a word that does not lie wholly
 * before end).
 */
static int64_t step_record(const Input& in, int32_t version, int64_t r,
                           int64_t end)
{
    int64_t w = r + 4;  // signature window
    if (w + walk_window > end)
        return -1;
    const uint8_t* p = in.data + w;
    if ((std::memcmp(p, walk_signature[0], 4) != 0 &&
         std::memcmp(p, walk_signature[1], 4) != 0) ||
        std::memcmp(p + walk_end_mark_at, walk_end_mark, 4) != 0)
        return -1;
    int64_t c = w + event_preamble_len(version);
    c = step_count(in, c, end, 0, walk_max_reactions, reaction_size(version));
    c = step_count(in, c, end, 1, walk_max_ranges, range_size);
    c = step_count(in, c, end, 0, walk_max_params, param_size);
    c = step_count(in, c, end, 0, walk_max_tail, param_size);
    if (c < 0)
        return -1;
    int64_t next = c + (version == 66 ? tail_record_66 : 0);
    return next <= end ? next : -1;
}

bool walk_event_stream(Input& in, const Nav& nav, int32_t n,
                       std::vector<FilePos>& starts)
{
    starts.clear();
    int64_t end = nav.pr_header;  // T: the trailer pointer as stored
    if (n < 1 || !in.data || !(0 <= nav.pp_start && nav.pp_start < end &&
                               end <= in.size))
        return false;
    // A record takes at least its preamble, four counts and one range, so
    // a count that could not fit before T is refused before anything is
    // kept for it.
    int64_t min_record = 4 + event_preamble_len(nav.version) + 16 + range_size;
    if (int64_t{n} > (end - nav.pp_start) / min_record)
        return false;
    starts.reserve(static_cast<size_t>(n));
    int64_t r = nav.pp_start;
    for (int32_t k = 0; k < n; k++) {
        starts.push_back(r);
        int64_t next = step_record(in, nav.version, r, end);
        if (next < 0) {
            r = -1;
            break;
        }
        note_read(in, next - r);
        r = next;
    }
    if (r < 0 || r + stream_tail != end) {
        starts.clear();
        return false;
    }
    return true;
}

void read_counted_event(Input& in, int32_t version, FilePos r,
                        CountedEvent& ev)
{
    const uint8_t* pre = in.data + r + 4;
    ev.ms_level = static_cast<int8_t>(pre[event_level_at]);
    ev.analyzer = pre[event_analyzer_at];
    int64_t c = r + 4 + event_preamble_len(version);
    uint32_t nr = get_u32(in, c);
    ev.reactions = nr;
    ev.precursor_mz = 0;
    if (nr >= 1)
        std::memcpy(&ev.precursor_mz,
                    in.data + c + 4 + reaction_size(version) * (nr - 1), 8);
    c += 4 + reaction_size(version) * nr;
    uint32_t nm = get_u32(in, c);
    std::memcpy(&ev.low_mass, in.data + c + 4, 8);
    std::memcpy(&ev.high_mass, in.data + c + 4 + range_size * (nm - 1) + 8, 8);
    note_read(in, c + 4 + range_size * nm - r);
}
