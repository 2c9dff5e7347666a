// cli_test.cpp -- the command line, the files a run leaves behind, and
// the messages and exit status of runs that convert nothing or fail.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <unistd.h>

#include "e2e/check.h"
#include "raw/bytes.h"
#include "version.h"

namespace {

namespace fs = std::filesystem;
using e2e::done;
using e2e::summary;
using e2e::Bytes;
using Files = std::set<std::string>;

Bytes small_file()
{
    return fixture::build(e2e::run_of(66, {e2e::survey(0.1), e2e::frag(300, 0, 3)}));
}

// What dir holds afterwards: files by their paths from it, " (empty)"
// after an empty one; an empty folder with "/" after it (one with contents
// shows by them).
Files left_in(const std::string& dir)
{
    Files names;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        bool empty = fs::is_empty(e.path());
        if (!e.is_directory() || empty)
            names.insert(fs::relative(e.path(), dir).string() +
                         (e.is_directory() ? "/" : empty ? " (empty)" : ""));
    }
    return names;
}

// The outputs are the input's text plus ".ms1" and ".ms2" (test.RAW and
// test.raw.* without an argument, paths of any length), further arguments
// change nothing, an existing output is replaced, nothing else is left;
// neither output is empty.
TEST(Cli, OutputsAreNamedAfterTheInputAsTyped)
{
    const e2e::Converted want = e2e::convert(small_file());
    std::string deep;  // longer than 256 bytes, in folders of legal names
    for (char c : {'a', 'b', 'c', 'd', 'e'})
        deep += std::string(60, c) + "/";
    deep += "in.raw";
    const std::string longest = std::string(247, 'n') + ".raw";  // outputs of 255 bytes
    // out: the outputs' path without ".ms1" and ".ms2".
    const struct { std::vector<std::string> args; std::string input, out; } rows[] = {
        {{}, "test.RAW", "test.raw"},
        {{"run7.raw"}, "run7.raw", "run7.raw"},
        {{"a"}, "a", "a"},
        {{"./sub/Mixed.Case.RAW", "other.raw", "-x"}, "./sub/Mixed.Case.RAW", "sub/Mixed.Case.RAW"},
        {{deep}, deep, deep},
        {{longest}, longest, longest},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.out.substr(0, 40));
        testrun::TempDir dir;
        fs::create_directories(fs::path(dir.file(r.input)).parent_path());
        fixture::write_file(dir.file(r.input), small_file());
        fixture::write_file(dir.file(r.out + ".ms1"), Bytes(1 << 20, 'x'));
        testrun::Result res = testrun::kolvex(dir.path, r.args);
        EXPECT_EQ(res.status, 0) << res.err;
        EXPECT_EQ(e2e::seconds_as_t(res.out), e2e::done(r.input));
        EXPECT_TRUE(testrun::read_file(dir.file(r.out + ".ms1")) == want.ms1);
        EXPECT_TRUE(testrun::read_file(dir.file(r.out + ".ms2")) == want.ms2);
        EXPECT_EQ(left_in(dir.path), (Files{fs::path(r.input).lexically_normal().string(),
                                            r.out + ".ms1", r.out + ".ms2"}));
    }
}

Bytes with_version(size_t size, int32_t version, uint8_t fill = 0)
{
    Bytes b(size, fill);
    if (size > 36)
        std::memcpy(b.data() + 36, &version, std::min<size_t>(4, size - 36));
    return b;
}

const std::string usage =
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

// Every way a run ends: the arguments (the input is in.raw unless a row
// names its own), the exit status, standard output exactly (the completion
// line's seconds written T) and standard error exactly, and what the folder
// holds afterwards. A run that cannot convert its input exits 1 and leaves
// both outputs empty; an index without scans, or scans that are all
// rejected, exit 0 with empty outputs; an option touches no file.
TEST(Cli, EveryWayARunEnds)
{
    fixture::Layout lay;
    Bytes clean = fixture::build(e2e::run_of(66, {e2e::survey(0.1)}), &lay);
    const Bytes ends_at_terminator(clean.begin(), clean.begin() + lay.anchor);
    fixture::File unmarked = e2e::run_of(66, {e2e::survey(0.1)});
    unmarked.marker = unmarked.terminator = false;
    Bytes no_evidence = fixture::build(unmarked, &lay);
    put(no_evidence, lay.p + 7448, lay.pp_start + 1);  // the index no longer ends where the events start
    Bytes no_scans = fixture::build(e2e::run_of(66, {e2e::survey(0.1)}), &lay);
    put(no_scans, lay.p + 12, int32_t{0});  // scan count 0
    fixture::Scan profile = e2e::survey(0.1);  // a packet without a centroid list
    profile.described = fixture::Described{.profile_words = 30, .centroids = false};
    const Bytes profile_only = fixture::build(e2e::run_of(66, {profile}));
    const Bytes mixed =
        fixture::build(e2e::run_of(66, {profile, e2e::sized(e2e::frag(500), 10, 299)}));

    const std::string nf = "File not found!\n", in = "in.raw: ";
    const std::string no_header = in + "no run header found\n";
    const std::string too_large = in + "files of 2 GiB or more are not supported\n";
    auto version = [&in](int v) {
        return in + "file format version " + std::to_string(v) + " is not supported\n";
    };
    const Files empty_outputs = {"in.raw", "in.raw.ms1 (empty)", "in.raw.ms2 (empty)"};
    const Files outputs = {"in.raw", "in.raw.ms1", "in.raw.ms2"};
    const Files untouched = {"in.raw"};
    const std::vector<std::string> in_arg = {"in.raw"};
    const std::string ended = done("in.raw"), kolvex_v = std::string("kolvex ") + kolvex_version + "\n";
    enum Kind { file, none, folder };
    // bytes: what the input (in.raw, or input) holds; size: a sparse file
    // of this size; taken: an output name a folder takes before the run.
    const struct { const char* name; Kind kind; Bytes bytes; std::vector<std::string> args;
                   int status; std::string out, err; Files after; std::string input = "in.raw";
                   int64_t size = 0; std::string taken = ""; } rows[] = {
        {"missing", none, {}, in_arg, 1, nf + ended, "Cannot open in.raw: No such file or directory\n",
         {"in.raw.ms1 (empty)", "in.raw.ms2 (empty)"}},
        {"missing, no argument", none, {}, {}, 1, nf + done("test.RAW"),
         "Cannot open test.RAW: No such file or directory\n", {"test.raw.ms1 (empty)", "test.raw.ms2 (empty)"}},
        {"a folder", folder, {}, in_arg, 1, nf + ended, "Cannot open in.raw: Is a directory\n",
         {"in.raw/", "in.raw.ms1 (empty)", "in.raw.ms2 (empty)"}},
        {"empty", file, {}, in_arg, 1, ended, version(0),
         {"in.raw (empty)", "in.raw.ms1 (empty)", "in.raw.ms2 (empty)"}},
        {"39 bytes", file, with_version(39, 66), in_arg, 1, ended, version(0), empty_outputs},
        {"version 0", file, with_version(40, 0), in_arg, 1, ended, version(0), empty_outputs},
        {"version 61", file, with_version(200, 61), in_arg, 1, ended, version(61), empty_outputs},
        {"version 65", file, with_version(200, 65), in_arg, 1, ended, version(65), empty_outputs},
        {"version 67", file, with_version(200, 67), in_arg, 1, ended, version(67), empty_outputs},
        {"all 0xFF", file, with_version(1 << 16, -1, 0xFF), in_arg, 1, ended, version(-1), empty_outputs},
        {"40 bytes of version 66", file, with_version(40, 66), in_arg, 1, ended, no_header, empty_outputs},
        {"41 bytes of version 62", file, with_version(41, 62), in_arg, 1, ended, no_header, empty_outputs},
        {"version 63, then 0xFF", file, with_version(1 << 16, 63, 0xFF), in_arg, 1, ended, no_header, empty_outputs},
        {"version 64, then zeros", file, with_version(4096, 64), in_arg, 1, ended, no_header, empty_outputs},
        {"ends after its terminator", file, ends_at_terminator, in_arg, 1, ended, no_header, empty_outputs},
        {"unmarked, index not before the events", file, no_evidence, in_arg, 1, ended, no_header, empty_outputs},
        // From 2 GiB on only versions 64 and 66 tell where things are.
        {"version 63 of 2 GiB", file, fixture::build(e2e::run_of(63, {e2e::survey(0.1)})), in_arg, 1, ended,
         too_large, empty_outputs, "in.raw", int64_t{1} << 31},
        {"version 65 of 2 GiB", file, with_version(100, 65), in_arg, 1, ended, too_large, empty_outputs, "in.raw",
         int64_t{1} << 31},
        {"version 66 of 2 GiB, zeros behind", file, with_version(100, 66), in_arg, 1, ended, no_header,
         empty_outputs, "in.raw", int64_t{1} << 31},
        // The other output stays empty, and no temporary file is left.
        {"MS1 name taken", file, small_file(), in_arg, 1, ended, "Cannot create in.raw.ms1: Is a directory\n",
         {"in.raw", "in.raw.ms1/", "in.raw.ms2 (empty)"}, "in.raw", 0, "in.raw.ms1"},
        {"MS2 name taken", file, small_file(), in_arg, 1, ended, "Cannot create in.raw.ms2: Is a directory\n",
         {"in.raw", "in.raw.ms1 (empty)", "in.raw.ms2/"}, "in.raw", 0, "in.raw.ms2"},
        {"an index without scans", file, no_scans, in_arg, 0, ended, in + "the scan index holds no scans\n",
         empty_outputs},
        {"only a profile packet", file, profile_only, in_arg, 0, ended,
         summary("in.raw", 1, 0, 0, " (profile packets without a centroid list)"), empty_outputs},
        {"a profile packet and one of a size no rule takes", file, mixed, in_arg, 0, ended,
         summary("in.raw", 2, 0, 0), empty_outputs},
        {"a supported file", file, small_file(), in_arg, 0, ended, summary("in.raw", 2, 1, 1), outputs},
        {"-h", file, small_file(), {"-h"}, 0, usage, "", untouched},
        {"--help", file, small_file(), {"--help"}, 0, usage, "", untouched},
        {"-V", file, small_file(), {"-V"}, 0, kolvex_v, "", untouched},
        {"--version", file, small_file(), {"--version"}, 0, kolvex_v, "", untouched},
        {"a file named -h given as ./-h", file, small_file(), {"./-h"}, 0, done("./-h"),
         summary("./-h", 2, 1, 1), {"-h", "-h.ms1", "-h.ms2"}, "-h"},
        {"a file named -h given as -h", file, small_file(), {"-h"}, 0, usage, "", {"-h"}, "-h"},
        {"a file named -x given as ./-x", file, small_file(), {"./-x"}, 0, done("./-x"),
         summary("./-x", 2, 1, 1), {"-x", "-x.ms1", "-x.ms2"}, "-x"},
        {"a file named -x given as -x", file, small_file(), {"-x"}, 0, done("-x"),
         summary("-x", 2, 1, 1), {"-x", "-x.ms1", "-x.ms2"}, "-x"},
        {"--help, help, then an input", file, small_file(), {"--help", "in.raw"}, 0, usage, "", untouched},
        {"-h, --version", file, small_file(), {"-h", "--version"}, 0, usage, "", untouched},
        {"an input, then options", file, small_file(), {"in.raw", "--help", "-V", "more"}, 0, ended,
         summary("in.raw", 2, 1, 1), outputs},
        {"a missing input, then one that exists", file, small_file(), {"typo.raw", "in.raw"}, 1,
         nf + done("typo.raw"), "Cannot open typo.raw: No such file or directory\n",
         {"in.raw", "typo.raw.ms1 (empty)", "typo.raw.ms2 (empty)"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        testrun::TempDir dir;
        std::string input = dir.file(r.input);
        if (r.kind == file)  // not write_file: it hands fwrite the null data of an empty file
            std::ofstream(input, std::ios::binary) << std::string(r.bytes.begin(), r.bytes.end());
        if (r.kind == folder || !r.taken.empty())
            fs::create_directory(r.taken.empty() ? input : dir.file(r.taken));
        if (r.size > 0) {
            ASSERT_EQ(truncate(input.c_str(), r.size), 0);
        }
        testrun::Result res = testrun::kolvex(dir.path, r.args);
        EXPECT_EQ(res.status, r.status);
        EXPECT_EQ(e2e::seconds_as_t(res.out), r.out);
        EXPECT_EQ(res.err, r.err);
        EXPECT_EQ(left_in(dir.path), r.after);
    }
}

// The manual page names the version that -V gives (the rows above) and the
// output headers carry (scans_test.cpp).
TEST(Cli, OneVersionEverywhere)
{
    const std::string title = std::string(" \"kolvex ") + kolvex_version + "\" ";
    EXPECT_THAT(testrun::lines_of(testrun::read_file(KOLVEX_SOURCE_DIR "/doc/kolvex.1")),
                testing::Contains(testing::AllOf(testing::StartsWith(".TH KOLVEX 1 "), testing::HasSubstr(title))));
}

}  // namespace
