// cli_test.cpp -- the command line, the files a run creates, and the
// messages and exit status of runs that convert nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <regex>
#include <sys/stat.h>
#include <unistd.h>

#include "e2e/expect.h"
#include "fixture.h"
#include "support/run.h"

namespace {

namespace fs = std::filesystem;
using testrun::TempDir;

// stdout of a run that prints nothing but the completion line: an empty
// line, the input as typed, the seconds with four decimals, no newline.
::testing::AssertionResult only_completion(const std::string& out, const std::string& input)
{
    std::string head = "\n" + input + " completed, time spent ";
    if (out.compare(0, head.size(), head) != 0)
        return ::testing::AssertionFailure() << "stdout is [" << out << "]";
    static const std::regex tail("[0-9]+\\.[0-9]{4} s");
    if (!std::regex_match(out.substr(head.size()), tail))
        return ::testing::AssertionFailure() << "stdout is [" << out << "]";
    return ::testing::AssertionSuccess();
}

// A small version 66 run: a survey scan and two fragmentation scans.
fixture::File small_run()
{
    fixture::File f;
    f.version = 66;
    fixture::Scan survey;
    survey.extras = true;
    survey.start_time = 1.25;
    survey.injection_time = 12.5f;
    survey.peaks = {{400.25f, 1000.5f, 2 * 256, 17.9f},
                    {500.5f, 2000.25f, 0, 0.4f},
                    {600.75f, 1500.0f, 3 * 256, 12345.9f}};
    fixture::Scan frag;
    frag.survey = false;
    frag.analyzer = 0;
    frag.precursor_mz = 500.5;
    frag.start_time = 1.5;
    frag.charge_state = 2;
    frag.peaks = {{150.125f, 10.5f}, {250.0625f, 20.75f}};
    fixture::Scan frag2 = frag;
    frag2.precursor_mz = 600.76;
    frag2.charge_state = 0;
    f.scans = {survey, frag, frag2};
    return f;
}

struct Written {
    fixture::Layout lay;
    expect::Outputs want;
};

Written write_small_run(const std::string& path)
{
    Written w;
    fixture::File f = small_run();
    testrun::write_bytes(path, fixture::build(f, &w.lay));
    w.want = expect::replay(f, w.lay);
    return w;
}

std::vector<uint8_t> bytes_with_version(size_t size, int32_t version)
{
    std::vector<uint8_t> b(size, 0);
    for (size_t i = 0; i < 4 && 36 + i < size; i++)
        b[36 + i] = static_cast<uint8_t>(static_cast<uint32_t>(version) >> (8 * i));
    return b;
}

void expect_empty_outputs(const std::string& ms1, const std::string& ms2)
{
    ASSERT_TRUE(testrun::file_exists(ms1)) << ms1;
    ASSERT_TRUE(testrun::file_exists(ms2)) << ms2;
    EXPECT_EQ(testrun::read_file(ms1), "");
    EXPECT_EQ(testrun::read_file(ms2), "");
}

std::string first_line(const std::string& text)
{
    return text.substr(0, text.find('\n') + 1);
}

TEST(Cli, ReplayOfTheSmallRunIsModelled)
{
    TempDir dir;
    Written w = write_small_run(dir.file("x.raw"));
    ASSERT_TRUE(w.want.modelled) << w.want.why;
    EXPECT_EQ(w.want.converted_ms1, 1);
    EXPECT_EQ(w.want.converted_ms2, 2);
}

TEST(Cli, NoArgumentConvertsTestRawIntoLowerCaseNames)
{
    TempDir dir;
    Written w = write_small_run(dir.file("test.RAW"));
    testrun::Result r = testrun::kolvex(dir.path, {});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(only_completion(r.out, "test.RAW"));
    EXPECT_EQ(testrun::read_file(dir.file("test.raw.ms1")), w.want.ms1);
    EXPECT_EQ(testrun::read_file(dir.file("test.raw.ms2")), w.want.ms2);
    EXPECT_FALSE(testrun::file_exists(dir.file("test.RAW.ms1")));
}

TEST(Cli, OutputNamesAppendToTheInputAsTyped)
{
    struct Case {
        std::string input, ms1, ms2;
    };
    const std::vector<Case> cases = {
        {"run7.raw", "run7.raw.ms1", "run7.raw.ms2"},
        {"a", "a.ms1", "a.ms2"},
        {"Mixed.Case.RAW", "Mixed.Case.RAW.ms1", "Mixed.Case.RAW.ms2"},
        {"./sub/in.raw", "sub/in.raw.ms1", "sub/in.raw.ms2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        TempDir dir;
        fs::create_directories(dir.file("sub"));
        Written w = write_small_run(dir.file(c.input));
        testrun::Result r = testrun::kolvex(dir.path, {c.input});
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(only_completion(r.out, c.input));
        EXPECT_EQ(testrun::read_file(dir.file(c.ms1)), w.want.ms1);
        EXPECT_EQ(testrun::read_file(dir.file(c.ms2)), w.want.ms2);
    }
}

TEST(Cli, FurtherArgumentsAreIgnored)
{
    TempDir dir;
    Written w = write_small_run(dir.file("in.raw"));
    testrun::write_bytes(dir.file("other.raw"), bytes_with_version(100, 66));
    testrun::Result r = testrun::kolvex(dir.path, {"in.raw", "other.raw", "-x"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(only_completion(r.out, "in.raw"));
    EXPECT_EQ(testrun::read_file(dir.file("in.raw.ms1")), w.want.ms1);
    EXPECT_EQ(testrun::read_file(dir.file("in.raw.ms2")), w.want.ms2);
    EXPECT_FALSE(testrun::file_exists(dir.file("other.raw.ms1")));
    EXPECT_FALSE(testrun::file_exists(dir.file("-x.ms1")));
}

TEST(Cli, RunLeavesNoOtherFilesBehind)
{
    TempDir dir;
    write_small_run(dir.file("in.raw"));
    testrun::Result r = testrun::kolvex(dir.path, {"in.raw"});
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"in.raw", "in.raw.ms1", "in.raw.ms2"}));
}

TEST(Cli, ExistingOutputsAreReplaced)
{
    TempDir dir;
    Written w = write_small_run(dir.file("in.raw"));
    testrun::write_bytes(dir.file("in.raw.ms1"), std::vector<uint8_t>(5000, 'x'));
    testrun::write_bytes(dir.file("in.raw.ms2"), std::vector<uint8_t>(5000, 'y'));
    testrun::Result r = testrun::kolvex(dir.path, {"in.raw"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(testrun::read_file(dir.file("in.raw.ms1")), w.want.ms1);
    EXPECT_EQ(testrun::read_file(dir.file("in.raw.ms2")), w.want.ms2);
}

TEST(Cli, MissingInputSaysFileNotFoundAndLeavesEmptyOutputs)
{
    struct Case {
        std::vector<std::string> args;
        std::string input, ms1, ms2;
    };
    const std::vector<Case> cases = {
        {{"nothing.raw"}, "nothing.raw", "nothing.raw.ms1", "nothing.raw.ms2"},
        {{}, "test.RAW", "test.raw.ms1", "test.raw.ms2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        TempDir dir;
        testrun::Result r = testrun::kolvex(dir.path, c.args);
        EXPECT_EQ(r.status, 0);
        ASSERT_EQ(r.out.compare(0, 16, "File not found!\n"), 0) << r.out;
        EXPECT_TRUE(only_completion(r.out.substr(16), c.input));
        expect_empty_outputs(dir.file(c.ms1), dir.file(c.ms2));
    }
}

TEST(Cli, DirectoryAsInputIsNotFound)
{
    TempDir dir;
    fs::create_directories(dir.file("folder.raw"));
    testrun::Result r = testrun::kolvex(dir.path, {"folder.raw"});
    EXPECT_EQ(r.status, 0);
    ASSERT_EQ(r.out.compare(0, 16, "File not found!\n"), 0) << r.out;
    EXPECT_TRUE(only_completion(r.out.substr(16), "folder.raw"));
    expect_empty_outputs(dir.file("folder.raw.ms1"), dir.file("folder.raw.ms2"));
}

TEST(Cli, UnsupportedVersionsAndShortFilesConvertNothing)
{
    struct Case {
        std::string name;
        std::vector<uint8_t> bytes;
        std::string message;  // first line on standard error, after "<path>: "
    };
    std::vector<uint8_t> short39 = bytes_with_version(39, 66);  // 3 bytes of the word
    const std::vector<Case> cases = {
        {"v0.raw", bytes_with_version(200, 0), "file format version 0 is not supported\n"},
        {"v61.raw", bytes_with_version(200, 61), "file format version 61 is not supported\n"},
        {"v65.raw", bytes_with_version(200, 65), "file format version 65 is not supported\n"},
        {"v57.raw", bytes_with_version(200, 57), "file format version 57 is not supported\n"},
        {"vneg.raw", bytes_with_version(200, -62),
         "file format version -62 is not supported\n"},
        {"empty.raw", {}, "file format version 0 is not supported\n"},
        {"b39.raw", short39, "file format version 0 is not supported\n"},
        {"b40zero.raw", bytes_with_version(40, 0), "file format version 0 is not supported\n"},
        {"b40.raw", bytes_with_version(40, 66), "no run header found\n"},
        {"b41.raw", bytes_with_version(41, 62), "no run header found\n"},
        {"v64.raw", bytes_with_version(4096, 64), "no run header found\n"},
        {"v63.raw", bytes_with_version(4096, 63), "no run header found\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        testrun::write_bytes(dir.file(c.name), c.bytes);
        testrun::Result r = testrun::kolvex(dir.path, {c.name});
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(only_completion(r.out, c.name));
        EXPECT_EQ(first_line(r.err), c.name + ": " + c.message);
        expect_empty_outputs(dir.file(c.name + ".ms1"), dir.file(c.name + ".ms2"));
    }
}

void put32(std::vector<uint8_t>& b, int32_t at, int32_t v)
{
    for (int i = 0; i < 4; i++)
        b[static_cast<size_t>(at + i)] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
}

// Files whose run header cannot be found or used, for every version family.
TEST(Cli, RunHeaderFailuresSayWhy)
{
    enum Break { no_marker, no_terminator, locator_past_end, locator_negative,
                 index_past_end, index_negative, count_zero };
    struct Case {
        int32_t version;
        Break what;
        std::string message;
    };
    std::vector<Case> cases;
    for (int32_t v : {62, 63, 64, 66}) {
        // Without marker or terminator the header is found by structure.
        cases.push_back({v, no_marker, ""});
        cases.push_back({v, no_terminator, ""});
        cases.push_back({v, locator_past_end, "no run header found\n"});
        cases.push_back({v, locator_negative, "no run header found\n"});
        cases.push_back({v, index_past_end, "no run header found\n"});
        cases.push_back({v, index_negative, "no run header found\n"});
        cases.push_back({v, count_zero, "the scan index holds no scans\n"});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE("version " + std::to_string(c.version) + " case " +
                     std::to_string(static_cast<int>(c.what)));
        fixture::File f = small_run();
        f.version = c.version;
        f.marker = c.what != no_marker;
        f.terminator = c.what != no_terminator;
        if (c.what == count_zero)
            f.index_num = 0;
        fixture::Layout lay;
        std::vector<uint8_t> b = fixture::build(f, &lay);
        bool family_62 = c.version <= 63;
        int32_t locator_at = lay.anchor + (family_62 ? 42 : 826);
        // The index offset is read from the P block (the default path).
        int32_t index_at = lay.p + (family_62 ? 28 : 7408);
        auto size = static_cast<int32_t>(b.size());
        if (c.what == locator_past_end)
            put32(b, locator_at, size);
        if (c.what == locator_negative)
            put32(b, locator_at, -1);
        if (c.what == index_past_end)
            put32(b, index_at, size + 100);
        if (c.what == index_negative)
            put32(b, index_at, -88);
        TempDir dir;
        testrun::write_bytes(dir.file("in.raw"), b);
        testrun::Result r = testrun::kolvex(dir.path, {"in.raw"});
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(only_completion(r.out, "in.raw"));
        if (c.message.empty()) {
            f.marker = f.terminator = true;
            testrun::write_bytes(dir.file("marked.raw"), fixture::build(f));
            testrun::kolvex(dir.path, {"marked.raw"});
            EXPECT_EQ(testrun::read_file(dir.file("in.raw.ms1")),
                      testrun::read_file(dir.file("marked.raw.ms1")));
            EXPECT_EQ(testrun::read_file(dir.file("in.raw.ms2")),
                      testrun::read_file(dir.file("marked.raw.ms2")));
            continue;
        }
        EXPECT_EQ(first_line(r.err), "in.raw: " + c.message);
        expect_empty_outputs(dir.file("in.raw.ms1"), dir.file("in.raw.ms2"));
    }
}

// The last in-file position is still a credible locator and index offset.
TEST(Cli, PointersJustInsideTheFileAreCredible)
{
    fixture::File f = small_run();
    fixture::Layout lay;
    std::vector<uint8_t> b = fixture::build(f, &lay);
    put32(b, lay.anchor + 826, static_cast<int32_t>(b.size()) - 1);
    TempDir dir;
    testrun::write_bytes(dir.file("in.raw"), b);
    testrun::Result r = testrun::kolvex(dir.path, {"in.raw"});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(only_completion(r.out, "in.raw"));
    EXPECT_EQ(r.err.find("no run header"), std::string::npos) << r.err;
}

TEST(Cli, NormalRunPrintsOnlyTheCompletionLine)
{
    for (int32_t v : {62, 63, 64, 66}) {
        SCOPED_TRACE(v);
        TempDir dir;
        fixture::File f = small_run();
        f.version = v;
        fixture::Layout lay;
        testrun::write_bytes(dir.file("in.raw"), fixture::build(f, &lay));
        testrun::Result r = testrun::kolvex(dir.path, {"in.raw"});
        EXPECT_EQ(r.status, 0);
        EXPECT_TRUE(only_completion(r.out, "in.raw"));
        expect::Outputs want = expect::replay(f, lay);
        ASSERT_TRUE(want.modelled) << want.why;
        EXPECT_EQ(testrun::read_file(dir.file("in.raw.ms1")), want.ms1);
        EXPECT_EQ(testrun::read_file(dir.file("in.raw.ms2")), want.ms2);
    }
}

TEST(Cli, CompletionLineNamesALongPathAsTyped)
{
    TempDir dir;
    // Longer than any fixed 256-byte buffer, in folders of legal names.
    std::string name;
    for (int i = 0; i < 5; i++)
        name += std::string(60, static_cast<char>('a' + i)) + "/";
    fs::create_directories(dir.file(name));
    name += "in.raw";
    Written w = write_small_run(dir.file(name));
    testrun::Result r = testrun::kolvex(dir.path, {name});
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(only_completion(r.out, name));
    EXPECT_EQ(testrun::read_file(dir.file(name + ".ms1")), w.want.ms1);
    EXPECT_EQ(testrun::read_file(dir.file(name + ".ms2")), w.want.ms2);
}

TEST(Cli, OutputThatCannotBeCreatedStopsTheRunWithStatus1)
{
    struct Case {
        std::string blocked;  // made a folder
        std::string other;
    };
    const std::vector<Case> cases = {{"in.raw.ms1", "in.raw.ms2"},
                                     {"in.raw.ms2", "in.raw.ms1"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.blocked);
        TempDir dir;
        write_small_run(dir.file("in.raw"));
        fs::create_directories(dir.file(c.blocked));
        testrun::Result r = testrun::kolvex(dir.path, {"in.raw"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(first_line(r.err),
                  "Cannot create " + c.blocked + ": " + std::strerror(EISDIR) + "\n");
        EXPECT_TRUE(only_completion(r.out, "in.raw"));
        EXPECT_EQ(testrun::read_file(dir.file(c.other)), "");
        EXPECT_TRUE(fs::is_directory(dir.file(c.blocked)));
        size_t files = 0;
        for (const auto& e : fs::directory_iterator(dir.path)) {
            (void)e;
            files++;
        }
        EXPECT_EQ(files, 3u) << "temporary files left behind";
    }
}

TEST(Cli, InputOf2GiBOrMoreIsRefusedWithStatus1)
{
    for (int64_t size : {int64_t{1} << 31, (int64_t{1} << 31) + 4096}) {
        SCOPED_TRACE(size);
        TempDir dir;
        std::string path = dir.file("big.raw");
        testrun::write_bytes(path, bytes_with_version(100, 66));
        ASSERT_EQ(truncate(path.c_str(), size), 0);  // sparse: no disk used
        testrun::Result r = testrun::kolvex(dir.path, {"big.raw"});
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(first_line(r.err), "big.raw: files of 2 GiB or more are not supported\n");
        EXPECT_TRUE(only_completion(r.out, "big.raw"));
        expect_empty_outputs(dir.file("big.raw.ms1"), dir.file("big.raw.ms2"));
    }
}

}  // namespace
