// scan_loop.cpp -- visit every index entry, triage its packet, and write
// every converted scan into the MS1 or MS2 file.
#include "scan_loop.h"

#include <chrono>
#include <unistd.h>

#include "output/msformat.h"
#include "precursor/precursor.h"
#include "raw/raw.h"

// Where a rejected scan with no peaks leaves the event cursor.
static const int32_t reject_move_62_survey = 212;
static const int32_t reject_move_62_other = 188;
static const int32_t reject_move_66_other = 232;
static const int32_t reject_move_66_elite_other = 288;

/*
 * Decides whether a scan is converted from its header's peak count n and
 * its entry's data_size s, in signed 32-bit arithmetic: a packet of
 * exactly the header and n peaks; anything in version 64; in 62, 63 and
 * 66 a packet whose size leaves 139..200 bytes beside 16 bytes a peak.
 */
static bool triage(int32_t version, int32_t n, int32_t s)
{
    if (mul32(8, n) == sub32(s, 44) && n != 0)
        return true;
    if (version == 64)
        return true;
    int32_t n16 = mul32(16, n);
    return n16 < sub32(s, 139) && n16 >= sub32(s, 200);
}

static void move_after_reject(Input& in, Nav& nav, const ScanContext& ctx,
                              bool survey)
{
    switch (nav.version) {
    case 62:
        nav.pp_start = pos_add(nav.wide, nav.pp_start,
                               survey ? reject_move_62_survey
                                      : reject_move_62_other);
        break;
    case 63:
        nav.pp_start = find_next_pp(in, nav.pp_start);
        break;
    case 66:
        if (!survey)
            nav.pp_start = pos_add(nav.wide, nav.pp_start,
                                   ctx.elite_layout ? reject_move_66_elite_other
                                                    : reject_move_66_other);
        break;
    default:
        break;
    }
}

/*
 * Converts one scan and writes it. desc: the packet's own description, or
 * null for a packet read by the fixed layout. event_at: the scan's record
 * in an event stream that walks by its own counts, or -1 to read the
 * record at the cursor. Returns whether the scan went to the MS1 file.
 */
static bool convert_scan(Input& in, Nav& nav, const IndexEntry& entry,
                         FilePos packet_start, int32_t n,
                         const PacketDescription* desc, FilePos event_at,
                         ScanContext& ctx, PacketBuffers& buf, OutFile& ms1,
                         OutFile& ms2)
{
    ctx.precursor_mz = 0;
    ctx.precursor_index = 0;
    ctx.precursor_read = false;
    ctx.precursor_found = false;
    bool by_level = false;  // the record's own MS level decides the file
    if (desc != nullptr) {
        n = desc->n;
        read_described_packet(in, *desc, buf);
    } else {
        // A count that no file could hold never sizes a buffer: such a
        // scan has no peaks.
        if (!peak_array_fits(nav, n))
            n = 0;
        make_packet_buffers(buf, n);
        read_peak_extras(in, nav, entry, packet_start, buf);
    }
    if (event_at >= 0)
        by_level = read_scan_event_at(in, nav, event_at, entry, ctx);
    else
        read_scan_event(in, nav, ctx);
    if (desc == nullptr)
        read_peak_array(in, buf);
    refine_precursor(nav.version, ctx);

    bool survey = by_level ? ctx.ms_level == 1 : entry.scan_event == 0;
    // A zoom or profile scan without peaks between a survey and its
    // fragmentation scans must not take the survey's place.
    bool becomes_last_survey = survey && !(by_level && n == 0);
    if (!ctx.header_written) {
        print_file_head_ms2(ms2, ctx.instrument_type, nav.index_num);
        print_file_head_ms1(ms1, ctx.instrument_type, nav.index_num);
    }
    OutFile& out = survey ? ms1 : ms2;
    if (survey) {
        print_scan_ms1(out, entry, ctx);
        if (becomes_last_survey)
            ctx.last_ms1_index = ctx.scan_number - 1;
    } else {
        print_scan_ms2(out, entry, ctx);
    }
    print_peaks(out, nav.version, survey, buf, ctx);
    if (becomes_last_survey)
        ctx.ms1_last_peak = n - 1;
    ctx.header_written = true;
    return survey;
}

// Wall-clock milliseconds: the progress line is for a person waiting.
static int64_t clock_ms()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void run_scan_loop(Input& in, Nav& nav, const std::vector<IndexEntry>& index,
                   ScanContext& ctx, OutFile& ms1, OutFile& ms2,
                   RunCounts& counts, bool show_progress)
{
    PacketBuffers buf;
    // Record k of a stream that walks by its own counts is entry k's.
    std::vector<FilePos> event_starts;
    bool counted = walk_event_stream(in, nav, ctx.scan_count, event_starts);
    ctx.trailer_table = nav.trailer.by_table;
    ctx.scan_number = 1;
    ctx.header_written = false;
    ctx.last_ms1_index = 0;
    ctx.ms1_last_peak = 0;
    int64_t started = clock_ms();
    bool progress_shown = false;
    int32_t shown_percent = -1;  // redraw only when it changes

    for (int32_t k = 0; k < ctx.scan_count; k++) {
        ctx.scan_number = k + 1;
        const IndexEntry& entry = index[static_cast<size_t>(k)];
        read_trailer(in, nav, ctx);
        FilePos packet_start = read_packet_header(in, nav, entry, ctx);
        int32_t n = ctx.header.peak_count;
        counts.entries++;
        PacketDescription desc;
        PacketKind kind =
            describe_packet(in, packet_start, entry.data_size, desc);
        if (kind == PacketKind::described ||
            triage(nav.version, n, entry.data_size)) {
            bool survey = convert_scan(
                in, nav, entry, packet_start, n,
                kind == PacketKind::described ? &desc : nullptr,
                counted ? event_starts[static_cast<size_t>(k)] : -1, ctx, buf,
                ms1, ms2);
            if (survey)
                counts.ms1_scans++;
            else
                counts.ms2_scans++;
        } else {
            counts.rejected++;
            if (kind == PacketKind::profile_only)
                counts.rejected_profile++;
            if (n == 0 && !counted)
                move_after_reject(in, nav, ctx, entry.scan_event == 0);
        }
        if (ms1.err || ms2.err)
            break;  // a failed output ends the run
        if (show_progress && (k & 255) == 255 && clock_ms() - started > 1000) {
            int32_t percent =
                static_cast<int32_t>(int64_t{k + 1} * 100 / ctx.scan_count);
            if (percent != shown_percent) {
                std::fprintf(stderr, "\r%3d%%", percent);
                std::fflush(stderr);
                shown_percent = percent;
                progress_shown = true;
            }
        }
    }
    if (progress_shown) {
        std::fprintf(stderr, "\r    \r");
        std::fflush(stderr);
    }
}
