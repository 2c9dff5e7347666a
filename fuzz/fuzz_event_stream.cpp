// fuzz_event_stream.cpp -- the walk over the scan-event stream through its
// records' own counts (EventStreamWords), and the record reads that
// follow it for each scan.
//
// Properties: nothing at or past the trailer pointer is read; a described
// stream holds exactly the records asked for, in order, each inside the
// stream; the walk from any record on finds the same records; and reading
// a record touches only that record.
#include "harness.h"
#include "raw/raw.h"

int fuzz_event_stream(const uint8_t* data, size_t size)
{
    EventStreamWords w;
    if (!read_words(data, size, w))
        return 0;
    static const int32_t versions[4] = {62, 63, 64, 66};
    Nav nav;
    nav.version = versions[static_cast<uint32_t>(w.version) % 4];
    for (int32_t v : versions)
        if (w.version == v)
            nav.version = v;
    nav.filesize = static_cast<FilePos>(size);
    nav.pp_start = w.pp_start;
    nav.pr_header = w.pr_header;
    int64_t t = w.pr_header;
    Fence fence(data, size);
    Input in = fence.only(w.pp_start, t);

    std::vector<int64_t> starts;
    bool described = walk_event_stream(in, nav, w.entries, starts);
    if (!described) {
        FUZZ_CHECK(starts.empty());
        return 0;
    }
    FUZZ_CHECK(w.entries >= 1 && starts.size() == static_cast<size_t>(w.entries));
    FUZZ_CHECK(starts[0] == w.pp_start && t <= static_cast<int64_t>(size));
    for (size_t k = 1; k < starts.size(); k++)
        FUZZ_CHECK(starts[k - 1] < starts[k] && starts[k] < t);

    // Every suffix re-walks to the same records.
    for (size_t k = 1; k < starts.size() && k < 8; k++) {
        Nav from = nav;
        from.pp_start = static_cast<int32_t>(starts[k]);
        std::vector<int64_t> again;
        FUZZ_CHECK(walk_event_stream(in, from, w.entries - static_cast<int32_t>(k), again));
        FUZZ_CHECK(std::equal(again.begin(), again.end(), starts.begin() + static_cast<ptrdiff_t>(k)));
    }
    // A record's read stays inside the record (the last one ends 4 bytes
    // before the trailer pointer).
    for (size_t k = 0; k < starts.size() && k < 64; k++) {
        int64_t end = k + 1 < starts.size() ? starts[k + 1] : t - 4;
        Input rec = fence.only(starts[k], end);
        CountedEvent ev;
        read_counted_event(rec, nav.version, starts[k], ev);
        FUZZ_CHECK(ev.reactions <= 16);
    }
    return 0;
}

FUZZ_ENTRY(fuzz_event_stream)
