// cli_test.cpp -- the command line, the files a run leaves behind, and
// the messages and exit status of runs that convert nothing or fail.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <set>
#include <unistd.h>

#include "e2e/check.h"

namespace {

namespace fs = std::filesystem;
using e2e::Bytes;
using Files = std::set<std::string>;

Bytes small_file()
{
    return fixture::build(e2e::run_of(66, {e2e::survey(0.1), e2e::frag(300, 0, 3)}));
}

// Standard output that is the completion line alone.
bool only_completion(const std::string& out, const std::string& input)
{
    return out.rfind("\n" + input + " completed", 0) == 0 && testrun::is_completion(out, input);
}

// The files below dir, by their paths from it.
Files files_in(const std::string& dir)
{
    Files names;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (!e.is_directory())
            names.insert(fs::relative(e.path(), dir).string());
    return names;
}

std::string normal(const std::string& path) { return fs::path(path).lexically_normal().string(); }

// The outputs are the input's text plus ".ms1" and ".ms2" (test.RAW and
// test.raw.* without an argument, paths of any length), further arguments
// change nothing, an existing output is replaced, nothing else is left.
TEST(Cli, OutputsAreNamedAfterTheInputAsTyped)
{
    const e2e::Converted want = e2e::convert(small_file());
    ASSERT_NE(want.ms2, "");
    std::string deep;  // longer than 256 bytes, in folders of legal names
    for (char c : {'a', 'b', 'c', 'd', 'e'})
        deep += std::string(60, c) + "/";
    deep += "in.raw";
    const std::string longest = std::string(247, 'n') + ".raw";  // outputs of 255 bytes
    const struct { std::vector<std::string> args; std::string input, ms1, ms2; } rows[] = {
        {{}, "test.RAW", "test.raw.ms1", "test.raw.ms2"},
        {{"run7.raw"}, "run7.raw", "run7.raw.ms1", "run7.raw.ms2"},
        {{"a"}, "a", "a.ms1", "a.ms2"},
        {{"./sub/Mixed.Case.RAW", "other.raw", "-x"}, "./sub/Mixed.Case.RAW",
         "sub/Mixed.Case.RAW.ms1", "sub/Mixed.Case.RAW.ms2"},
        {{deep}, deep, deep + ".ms1", deep + ".ms2"},
        {{longest}, longest, longest + ".ms1", longest + ".ms2"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.ms1.substr(0, 40));
        testrun::TempDir dir;
        fs::create_directories(fs::path(dir.file(r.input)).parent_path());
        testrun::write_bytes(dir.file(r.input), small_file());
        testrun::write_bytes(dir.file(r.ms1), Bytes(1 << 20, 'x'));
        testrun::Result res = testrun::kolvex(dir.path, r.args);
        EXPECT_EQ(res.status, 0) << res.err;
        EXPECT_TRUE(only_completion(res.out, r.input)) << res.out;
        EXPECT_TRUE(testrun::read_file(dir.file(r.ms1)) == want.ms1);
        EXPECT_TRUE(testrun::read_file(dir.file(r.ms2)) == want.ms2);
        EXPECT_EQ(files_in(dir.path), (Files{normal(r.input), normal(r.ms1), normal(r.ms2)}));
    }
}

Bytes with_version(size_t size, int32_t version, uint8_t fill = 0)
{
    Bytes b(size, fill);
    if (size > 36)
        std::memcpy(b.data() + 36, &version, std::min<size_t>(4, size - 36));
    return b;
}

// Runs that convert nothing or fail: standard output before the completion
// line, standard error (after the input's name), the exit status; both
// outputs exist and stay empty. The summary line says why scans were
// rejected when one reason covers them all.
TEST(Cli, RunsThatConvertNothingSayWhy)
{
    fixture::Layout lay;
    Bytes clean = fixture::build(e2e::run_of(66, {e2e::survey(0.1)}), &lay);
    const Bytes ends_at_terminator(clean.begin(), clean.begin() + lay.anchor);
    fixture::File unmarked = e2e::run_of(66, {e2e::survey(0.1)});
    unmarked.marker = unmarked.terminator = false;
    Bytes no_evidence = fixture::build(unmarked, &lay);
    int32_t moved = lay.pp_start + 1;  // the index no longer ends where the events start
    std::memcpy(&no_evidence[static_cast<size_t>(lay.p + 7448)], &moved, 4);
    fixture::Scan profile = e2e::survey(0.1);  // a packet without a centroid list
    profile.described = fixture::Described{.profile_words = 30, .centroids = false};
    const Bytes profile_only = fixture::build(e2e::run_of(66, {profile}));
    const Bytes mixed =
        fixture::build(e2e::run_of(66, {profile, e2e::sized(e2e::frag(500), 10, 299)}));
    const std::string none = "no run header found\n", big = "files of 2 GiB or more are not supported\n";
    enum Kind { file, missing, folder };
    // size: a sparse file of this size.
    const struct { const char* name; Kind kind; Bytes bytes; std::string out, err; int status = 0;
                   int64_t size = 0; } rows[] = {
        {"missing", missing, {}, "File not found!\n", ""},
        {"a folder", folder, {}, "File not found!\n", ""},
        {"empty", file, {}, "", "file format version 0 is not supported\n"},
        {"39 bytes", file, with_version(39, 66), "", "file format version 0 is not supported\n"},
        {"version 0", file, with_version(40, 0), "", "file format version 0 is not supported\n"},
        {"version 61", file, with_version(200, 61), "", "file format version 61 is not supported\n"},
        {"version 65", file, with_version(200, 65), "", "file format version 65 is not supported\n"},
        {"all 0xFF", file, with_version(1 << 16, -1, 0xFF), "",
         "file format version -1 is not supported\n"},
        {"40 bytes of version 66", file, with_version(40, 66), "", none},
        {"41 bytes of version 62", file, with_version(41, 62), "", none},
        {"version 63, then 0xFF", file, with_version(1 << 16, 63, 0xFF), "", none},
        {"version 64, then zeros", file, with_version(4096, 64), "", none},
        {"ends after its terminator", file, ends_at_terminator, "", none},
        {"unmarked, index not before the events", file, no_evidence, "", none},
        {"only a profile packet", file, profile_only, "",
         "1 scans in the index, 0 written to in.raw.ms1, 0 written to in.raw.ms2, 1 rejected "
         "(profile packets without a centroid list)\n"},
        {"a profile packet and one of a size no rule takes", file, mixed, "",
         "2 scans in the index, 0 written to in.raw.ms1, 0 written to in.raw.ms2, 2 rejected\n"},
        {"2 GiB", file, with_version(100, 66), "", big, 1, int64_t{1} << 31},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        testrun::TempDir dir;
        std::string in = dir.file("in.raw");
        if (r.kind == file)
            testrun::write_bytes(in, r.bytes);
        if (r.kind == folder)
            fs::create_directory(in);
        if (r.size > 0) {
            ASSERT_EQ(truncate(in.c_str(), r.size), 0);
        }
        testrun::Result res = testrun::kolvex(dir.path, {"in.raw"});
        EXPECT_EQ(res.status, r.status);
        EXPECT_EQ(res.out.substr(0, r.out.size()), r.out);
        EXPECT_TRUE(only_completion(res.out.substr(r.out.size()), "in.raw")) << res.out;
        EXPECT_EQ(res.err, r.err.empty() ? "" : "in.raw: " + r.err);
        Files want = {"in.raw.ms1", "in.raw.ms2"};
        if (r.kind == file)
            want.insert("in.raw");
        EXPECT_EQ(files_in(dir.path), want);
        EXPECT_EQ(fs::file_size(dir.file("in.raw.ms1")) + fs::file_size(dir.file("in.raw.ms2")), 0u);
    }
}

// An output that cannot be created ends the run with its reason and status
// 1; the other output stays empty and no temporary file is left.
TEST(Cli, OutputThatCannotBeCreatedEndsWithStatus1)
{
    for (std::string blocked : {"in.raw.ms1", "in.raw.ms2"}) {
        SCOPED_TRACE(blocked);
        testrun::TempDir dir;
        testrun::write_bytes(dir.file("in.raw"), small_file());
        fs::create_directory(dir.file(blocked));
        testrun::Result r = testrun::kolvex(dir.path, {"in.raw"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "Cannot create " + blocked + ": " + std::strerror(EISDIR) + "\n");
        EXPECT_TRUE(only_completion(r.out, "in.raw")) << r.out;
        std::string other = blocked == "in.raw.ms1" ? "in.raw.ms2" : "in.raw.ms1";
        EXPECT_EQ(files_in(dir.path), (Files{"in.raw", other}));
        EXPECT_EQ(testrun::read_file(dir.file(other)), "");
    }
}

}  // namespace
