// driver.cpp -- one run: options, path names, outputs, input, version
// dispatch, probes, index, scan loop, completion line, exit status.
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <unistd.h>

#include "precursor/precursor.h"
#include "raw/raw.h"
#include "scan_loop.h"
#include "version.h"

static const int32_t version_at = 36;

NoScans convert_input(Input& in, OutFile& ms1, OutFile& ms2, RunCounts& counts,
                      Nav* nav_out, bool show_progress, int32_t max_entries)
{
    Nav nav;
    ScanContext ctx;
    std::vector<IndexEntry> index;
    NoScans why = NoScans::none;

    // A file too short to hold the version word has version 0.
    if (in.size >= version_at + 4)
        read_at(in, version_at, &nav.version, 4);
    nav.filesize = in.size;
    nav.wide = wide_positions(nav.version, in.size);

    // Versions 62 and 63 store 32-bit positions only: from 2 GiB on they
    // cannot say where anything is.
    if (in.size >= wide_file_size && !nav.wide)
        why = NoScans::too_large;
    else if (nav.version == 62 || nav.version == 63)
        nav.locator = get_data_start(in, nav);
    else if (nav.version == 64 || nav.version == 66)
        nav.locator = get_data_start2(in, nav);
    else
        why = NoScans::version;
    // A header search can land inside another block by chance; pointers
    // that lead outside the file show that the header is not a run header.
    // Most files lack the marker altogether. Either way the file's own
    // structure may still show where the run header is.
    if (why == NoScans::none && !run_header_credible(in, nav)) {
        Nav fresh;
        fresh.version = nav.version;
        fresh.filesize = nav.filesize;
        fresh.wide = nav.wide;
        FilePos anchor = find_anchor_by_structure(in, nav.version, nav.wide);
        if (anchor >= 0) {
            read_run_header(in, fresh, anchor);
            fresh.locator = fresh.data_start;
        }
        nav = fresh;
        if (!run_header_credible(in, nav))
            why = NoScans::no_header;
    }

    if (why == NoScans::none) {
        if (nav.version == 66)
            ctx.elite_layout = check_elite(in, nav, nav.pp_start);
        else if (nav.version == 64)
            check_velos1(in, nav, nav.pp_start);
        if (nav.version == 66)
            ctx.scan_count = gen_index_table2(in, nav, index);
        else if (nav.version == 64)
            ctx.scan_count = gen_index_table3(in, nav, index);
        else
            ctx.scan_count = gen_index_table(in, nav, index);
        // With a field table the records start at the stored pointer.
        if (find_trailer_table(in, nav, nav.trailer) >= 0)
            nav.pr_start = nav.pr_header;
        else if (nav.version == 62 || nav.version == 63)
            nav.pr_start = pos_add(nav.wide, nav.pr_start, 3);
        drop_pages(in);
        if (ctx.scan_count <= 0)
            why = NoScans::empty_index;
    }
    if (why == NoScans::none) {
        if (ctx.scan_count > max_entries)
            ctx.scan_count = max_entries;
        reset_ms1(ctx);
        run_scan_loop(in, nav, index, ctx, ms1, ms2, counts, show_progress);
    }
    if (nav_out)
        *nav_out = nav;
    return why;
}

// Temporary output names, for removal when the run is killed by a signal.
static char tmp_names[2][4096];

static void on_signal(int sig)
{
    for (auto& name : tmp_names)
        if (name[0])
            unlink(name);
    signal(sig, SIG_DFL);
    raise(sig);
}

static void remember_tmp(int slot, const OutFile& out)
{
    const std::string& t = out.tmp_path;
    if (t.size() < sizeof tmp_names[slot])
        std::memcpy(tmp_names[slot], t.c_str(), t.size() + 1);
}

static void forget_tmp_names()
{
    tmp_names[0][0] = '\0';
    tmp_names[1][0] = '\0';
}

static const int removal_signals[3] = {SIGINT, SIGTERM, SIGHUP};

// Holds back the removal signals while the temporary names are set up or
// the files renamed, so that a signal never finds them half done. Returns
// the mask to restore.
static sigset_t hold_signals()
{
    sigset_t set, saved;
    sigemptyset(&set);
    for (int s : removal_signals)
        sigaddset(&set, s);
    sigprocmask(SIG_BLOCK, &set, &saved);
    return saved;
}

static void release_signals(const sigset_t& saved)
{
    sigprocmask(SIG_SETMASK, &saved, nullptr);
}

// A signal the caller ignores (nohup, a background job) stays ignored.
// old receives the three actions, then that of SIGXFSZ.
static void catch_signals(struct sigaction* old)
{
    struct sigaction sa {};
    sa.sa_handler = on_signal;
    sigemptyset(&sa.sa_mask);
    for (int i = 0; i < 3; i++) {
        sigaction(removal_signals[i], nullptr, &old[i]);
        if (old[i].sa_handler != SIG_IGN)
            sigaction(removal_signals[i], &sa, nullptr);
    }
    // Past a file-size limit the write then fails with EFBIG, and the run
    // ends with its message instead of being killed.
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, &old[3]);
}

static void restore_signals(const struct sigaction* old)
{
    for (int i = 0; i < 3; i++)
        sigaction(removal_signals[i], &old[i], nullptr);
    sigaction(SIGXFSZ, &old[3], nullptr);
}

// Why the scans were rejected, when one reason covers them all, so that a
// user whose outputs stay empty learns why.
static const char* rejection_reason(const RunCounts& c)
{
    if (c.rejected == 0)
        return "";
    if (c.rejected_profile == c.rejected)
        return " (profile packets without a centroid list)";
    if (c.rejected_profile == 0)
        return " (packet sizes that fit no centroid layout)";
    return "";
}

// Every way a run ends, and its exit status (D3, D4, D14, D16, D27, D28).
// Standard output and standard error of each are listed in kolvex.1. Beside
// these, SIGINT, SIGTERM and SIGHUP end a run by the signal itself, after
// on_signal has removed the temporary files.
enum class Ending {
    converted,      // scans visited; both outputs hold their text
    no_scans,       // the scan index holds no scans: two empty outputs
    help,           // -h or --help: the usage text; no file touched
    version,        // -V or --version: "kolvex <version>"; no file touched
    cannot_open,    // the input cannot be opened ("File not found!")
    unsupported,    // the version is not 62, 63, 64 or 66
    no_header,      // no run header found
    too_large,      // 2 GiB or more, of version 62 or 63 (or any but
                    // 64 and 66)
    cannot_create,  // an output cannot be created
    write_failed,   // a write, flush, close or rename of an output failed
};

static int exit_status(Ending end)
{
    switch (end) {
    case Ending::converted:
    case Ending::no_scans:
    case Ending::help:
    case Ending::version:
        return 0;
    case Ending::cannot_open:
    case Ending::unsupported:
    case Ending::no_header:
    case Ending::too_large:
    case Ending::cannot_create:
    case Ending::write_failed:
        return 1;
    }
    return 1;
}

static const char usage_text[] =
    "Usage: kolvex [INPUT]\n"
    "Converts INPUT, a raw file of a hybrid ion-trap / Fourier-transform mass\n"
    "spectrometer (format version 62, 63, 64 or 66), into its centroided\n"
    "spectra as text beside it: INPUT.ms1 (survey scans) and INPUT.ms2\n"
    "(fragmentation scans). Without INPUT: test.RAW into test.raw.ms1 and\n"
    "test.raw.ms2.\n"
    "  -h, --help     print this text and exit\n"
    "  -V, --version  print the version and exit\n"
    "Exit status: 0 converted, also a file whose scan index holds no scans;\n"
    "1 the input cannot be opened, its version is not supported, no run header\n"
    "is found, it is 2 GiB or more and not of version 64 or 66, or an output\n"
    "cannot be created or written (the outputs are then left empty).\n"
    "More in the manual page: man kolvex\n";

// Answers a first argument that is exactly an option (D28) on out and sets
// end; returns false for every other argument, which is the input path.
static bool answer_option(const std::string& arg, FILE* out, Ending& end)
{
    if (arg == "-h" || arg == "--help") {
        std::fputs(usage_text, out);
        end = Ending::help;
    } else if (arg == "-V" || arg == "--version") {
        std::fprintf(out, "kolvex %s\n", kolvex_version);
        end = Ending::version;
    } else {
        return false;
    }
    std::fflush(out);
    return true;
}

// Opens input and converts it into ms1 and ms2, with the messages of a run
// that cannot (D16, D27, D4). Returns how the conversion ended.
static Ending convert_file(const std::string& input, OutFile& ms1, OutFile& ms2,
                           RunCounts& counts, FILE* out, FILE* err)
{
    Input in;
    int e = open_input(in, input);
    if (e != 0) {
        std::fputs("File not found!\n", out);
        std::fprintf(err, "Cannot open %s: %s\n", input.c_str(), std::strerror(e));
        return Ending::cannot_open;
    }
    Ending end = Ending::converted;
    Nav nav;
    NoScans why = convert_input(in, ms1, ms2, counts, &nav,
                                isatty(STDERR_FILENO) != 0);
    if (why == NoScans::too_large) {
        std::fprintf(err, "%s: files of 2 GiB or more are not supported\n",
                     input.c_str());
        end = Ending::too_large;
    } else if (why == NoScans::version) {
        std::fprintf(err, "%s: file format version %d is not supported\n",
                     input.c_str(), nav.version);
        end = Ending::unsupported;
    } else if (why == NoScans::no_header) {
        std::fprintf(err, "%s: no run header found\n", input.c_str());
        end = Ending::no_header;
    } else if (why == NoScans::empty_index) {
        std::fprintf(err, "%s: the scan index holds no scans\n",
                     input.c_str());
        end = Ending::no_scans;
    }
    close_input(in);
    return end;
}

int kolvex_main(int argc, char** argv, FILE* out, FILE* err)
{
    Ending end = Ending::converted;
    if (argc > 1 && answer_option(argv[1], out, end))
        return exit_status(end);

    int64_t t0 = static_cast<int64_t>(clock()) * 1000 / CLOCKS_PER_SEC;
    std::string input = argc > 1 ? argv[1] : "test.RAW";
    std::string ms1_path = argc > 1 ? input + ".ms1" : "test.raw.ms1";
    std::string ms2_path = argc > 1 ? input + ".ms2" : "test.raw.ms2";

    sigset_t saved_mask = hold_signals();
    forget_tmp_names();
    OutFile ms1, ms2;
    int e = out_open(ms1, ms1_path);
    if (e) {
        std::fprintf(err, "Cannot create %s: %s\n", ms1_path.c_str(),
                     std::strerror(e));
        end = Ending::cannot_create;
    } else {
        remember_tmp(0, ms1);
    }
    e = out_open(ms2, ms2_path);
    if (e) {
        std::fprintf(err, "Cannot create %s: %s\n", ms2_path.c_str(),
                     std::strerror(e));
        end = Ending::cannot_create;
    } else {
        remember_tmp(1, ms2);
    }
    struct sigaction old_actions[4];
    catch_signals(old_actions);
    release_signals(saved_mask);

    RunCounts counts;
    if (end != Ending::cannot_create)
        end = convert_file(input, ms1, ms2, counts, out, err);

    // The text replaces the empty final files only when the run succeeded
    // and both are complete.
    bool keep = exit_status(end) == 0;
    if (keep) {
        out_flush(ms1);
        out_flush(ms2);
        keep = !ms1.err && !ms2.err;
    }
    saved_mask = hold_signals();
    bool ok1 = out_close(ms1, keep);
    bool ok2 = out_close(ms2, keep);
    if (keep && ok1 != ok2) {
        // One output is already in place; the other's failure must not
        // leave it looking like a complete run.
        truncate((ok1 ? ms1_path : ms2_path).c_str(), 0);
    }
    if (!ok1 || !ok2) {
        std::fprintf(err, "%s: %s\n", (!ok1 ? ms1 : ms2).path.c_str(),
                     std::strerror(!ok1 ? ms1.err : ms2.err));
        end = Ending::write_failed;
    }
    forget_tmp_names();
    restore_signals(old_actions);
    release_signals(saved_mask);
    // Only once the text is in place: a failed final write must not
    // follow a line that says the scans were written.
    if (end == Ending::converted)
        std::fprintf(err,
                     "%s: %d scans in the index, %d written to %s, "
                     "%d written to %s, %d rejected%s\n",
                     input.c_str(), counts.entries, counts.ms1_scans,
                     ms1_path.c_str(), counts.ms2_scans, ms2_path.c_str(),
                     counts.rejected, rejection_reason(counts));

    int64_t t1 = static_cast<int64_t>(clock()) * 1000 / CLOCKS_PER_SEC;
    float spent = (static_cast<float>(t1) - static_cast<float>(t0)) * 0.001f;
    std::fprintf(out, "\n%s completed, time spent %0.4f s", input.c_str(),
                 static_cast<double>(spent));
    std::fflush(out);
    return exit_status(end);
}
