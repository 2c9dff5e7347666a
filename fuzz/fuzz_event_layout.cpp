// fuzz_event_layout.cpp -- the scan-event layout probes from the stream's
// start (EventWords), as the converter runs them: the layout flag, the
// event widths, then record after record the signature test and the
// search for the next record that a scan's event read makes.
//
// Properties: the search for the next record reads nothing outside its
// window, and what it finds is a signature inside that window.
#include "harness.h"
#include "raw/raw.h"

// Records followed per input; enough to pass from record to record.
static const int32_t walk_steps = 16;

int fuzz_event_layout(const uint8_t* data, size_t size)
{
    EventWords w;
    if (!read_words(data, size, w))
        return 0;
    Fence fence(data, size);
    Input in = fence.all();
    Nav nav;
    nav.filesize = static_cast<FilePos>(size);
    nav.pp_start = w.pp_start;

    int32_t elite = check_elite(in, nav, nav.pp_start);
    FUZZ_CHECK(elite == 0 || elite == 1);
    check_velos1(in, nav, nav.pp_start);
    FUZZ_CHECK(nav.ms1_w >= 0 && nav.ms1_w < nav.filesize);
    FUZZ_CHECK(nav.ms2_w >= 0 && nav.ms2_w < nav.filesize);

    FilePos r = nav.pp_start;
    for (int32_t step = 0; step < walk_steps; step++) {
        has_signature(in, r + 4);
        // Windows start from r + 5 to r + 1999 and are 32 bytes long.
        FilePos first = r + 5, last = r + 1999;
        in = fence.only(first, last + 32);
        FilePos next = find_next_pp(in, r);
        in = fence.all();
        if (next == 0)
            break;
        FUZZ_CHECK(next + 4 >= first && next + 4 <= last);
        FUZZ_CHECK(has_signature(in, next + 4));
        r = next;
    }
    return 0;
}

FUZZ_ENTRY(fuzz_event_layout)
