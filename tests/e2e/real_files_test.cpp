// real_files_test.cpp -- raw files written by real instruments (the
// shared data folder): what each one converts to, and for the patched
// version 64 file, agreement with an independent reader's peaks.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "e2e/expect.h"
#include "support/run.h"

namespace {

namespace fs = std::filesystem;

struct RealRun {
    testrun::Result r;
    std::string ms1, ms2;
};

// Copies a shared file into a fresh folder and converts it there.
RealRun convert_copy(const std::string& relative)
{
    std::string src = testrun::shared_data() + "/" + relative;
    RealRun run;
    EXPECT_TRUE(fs::is_regular_file(src)) << src;
    testrun::TempDir dir;
    std::string name = fs::path(src).filename().string();
    fs::copy_file(src, dir.file(name));
    run.r = testrun::kolvex(dir.path, {name});
    run.ms1 = testrun::read_file(dir.file(name + ".ms1"));
    run.ms2 = testrun::read_file(dir.file(name + ".ms2"));
    return run;
}

std::vector<std::string> fields(const std::string& line, char sep)
{
    std::vector<std::string> out;
    std::istringstream in(line);
    for (std::string f; std::getline(in, f, sep);)
        out.push_back(f);
    return out;
}

// One scan of an output file: its S line's fields and its peak lines.
struct ScanText {
    std::vector<std::string> s;
    std::vector<std::string> peaks;
};

std::map<int, ScanText> scans_of(const std::string& text)
{
    std::map<int, ScanText> scans;
    ScanText* cur = nullptr;
    for (const std::string& line : testrun::lines_of(text)) {
        if (line.rfind("S\t", 0) == 0) {
            std::vector<std::string> f = fields(line, '\t');
            cur = &scans[std::atoi(f.at(1).c_str())];
            cur->s = f;
        } else if (cur != nullptr && !line.empty() &&
                   (line[0] == '.' || (line[0] >= '0' && line[0] <= '9'))) {
            cur->peaks.push_back(line);
        }
    }
    return scans;
}

TEST(RealFiles, FolderIsThere)
{
    ASSERT_TRUE(fs::is_directory(testrun::shared_data() + "/real")) << testrun::shared_data();
    ASSERT_TRUE(fs::is_directory(testrun::shared_data() + "/patched"));
    ASSERT_TRUE(fs::is_directory(testrun::shared_data() + "/reference"));
}

// Every unmodified file converts nothing and says why.
TEST(RealFiles, UnmodifiedFilesSayWhyNothingIsConverted)
{
    const std::map<std::string, std::string> why = {
        {"v62-hybrid-2007.RAW", "no run header found"},
        {"v63-hybrid-2010.raw", "no run header found"},
        {"v63-iontrap-2010.RAW", "no run header found"},
        {"v64-iontrap-2009.raw", "no run header found"},
        {"v64-hybrid-2011.raw", "no run header found"},
        {"v66-hybrid-sliced.raw", "no run header found"},
        {"v66-newer-2019.raw", "no run header found"},
        {"v66-truncated.raw", "the scan index holds no scans"},
        {"v57-older.RAW", "file format version 57 is not supported"},
    };
    std::string folder = testrun::shared_data() + "/real";
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    std::set<std::string> seen;
    for (const auto& e : fs::directory_iterator(folder)) {
        std::string name = e.path().filename().string();
        SCOPED_TRACE(name);
        seen.insert(name);
        auto it = why.find(name);
        ASSERT_NE(it, why.end()) << "a real file without an expected result";
        RealRun run = convert_copy("real/" + name);
        EXPECT_EQ(run.r.status, 0);
        EXPECT_EQ(run.r.err.substr(0, run.r.err.find('\n') + 1), name + ": " + it->second + "\n");
        EXPECT_TRUE(testrun::is_completion(run.r.out, name));
        EXPECT_EQ(run.r.out.rfind("\n" + name + " completed", 0), 0u);
        EXPECT_EQ(run.ms1, "");
        EXPECT_EQ(run.ms2, "");
    }
    EXPECT_EQ(seen.size(), why.size());
}

TEST(RealFiles, PatchedFilesWithRejectedPacketsGiveEmptyOutputs)
{
    for (std::string name : {"v62-hybrid-2007.patched.RAW", "v63-hybrid-2010.patched.raw"}) {
        SCOPED_TRACE(name);
        RealRun run = convert_copy("patched/" + name);
        EXPECT_EQ(run.r.status, 0);
        EXPECT_TRUE(testrun::is_completion(run.r.out, name));
        EXPECT_EQ(run.ms1, "");
        EXPECT_EQ(run.ms2, "");
    }
}

TEST(RealFiles, PatchedVersion63IontrapConvertsEveryScan)
{
    RealRun run = convert_copy("patched/v63-iontrap-2010.patched.RAW");
    EXPECT_EQ(run.r.status, 0);
    EXPECT_EQ(scans_of(run.ms1).size(), 264u);
    EXPECT_EQ(scans_of(run.ms2).size(), 528u);
    std::set<int> numbers;
    for (const auto& [n, scan] : scans_of(run.ms1))
        numbers.insert(n);
    for (const auto& [n, scan] : scans_of(run.ms2))
        numbers.insert(n);
    EXPECT_EQ(numbers.size(), 792u);
    EXPECT_EQ(*numbers.begin(), 1);
    EXPECT_EQ(*numbers.rbegin(), 792);
}

TEST(RealFiles, PatchedVersion64HybridConvertsEveryScan)
{
    RealRun run = convert_copy("patched/v64-hybrid-2011.patched.raw");
    EXPECT_EQ(run.r.status, 0);
    EXPECT_EQ(scans_of(run.ms1).size() + scans_of(run.ms2).size(), 55u);
}

struct Reference {
    std::map<int, std::vector<std::pair<float, float>>> peaks;  // centroid scans
    std::map<int, std::string> precursor;                         // MS level 2 scans
    std::vector<std::string> columns;
};

Reference read_reference()
{
    Reference ref;
    std::string dir = testrun::shared_data() + "/reference/";
    std::vector<std::string> c = testrun::lines_of(testrun::read_file(dir + "v64-iontrap-2009.centroids.tsv"));
    EXPECT_EQ(c.at(0), "scan\tmz\tintensity");
    for (size_t i = 1; i < c.size(); i++) {
        std::vector<std::string> f = fields(c[i], '\t');
        // Nine significant digits give the float32 back exactly.
        ref.peaks[std::atoi(f.at(0).c_str())].push_back(
            {std::strtof(f.at(1).c_str(), nullptr), std::strtof(f.at(2).c_str(), nullptr)});
    }
    std::vector<std::string> s = testrun::lines_of(testrun::read_file(dir + "v64-iontrap-2009.spectra.tsv"));
    ref.columns = fields(s.at(0), '\t');
    for (size_t i = 1; i < s.size(); i++) {
        std::vector<std::string> f = fields(s[i], '\t');
        if (f.at(1) == "2") {
            char text[64];
            std::snprintf(text, sizeof text, "%.4f", std::strtod(f.at(3).c_str(), nullptr));
            ref.precursor[std::atoi(f.at(0).c_str())] = text;
        }
    }
    return ref;
}

TEST(RealFiles, PatchedVersion64IontrapAgreesWithTheReference)
{
    RealRun run = convert_copy("patched/v64-iontrap-2009.patched.raw");
    EXPECT_EQ(run.r.status, 0);
    std::map<int, ScanText> ms1 = scans_of(run.ms1), ms2 = scans_of(run.ms2);

    // Every one of the 99 scans is written, into one file or the other.
    std::set<int> numbers;
    for (const auto& [n, scan] : ms1)
        numbers.insert(n);
    for (const auto& [n, scan] : ms2)
        EXPECT_TRUE(numbers.insert(n).second) << "scan " << n << " in both files";
    EXPECT_EQ(numbers.size(), 99u);
    EXPECT_EQ(*numbers.begin(), 1);
    EXPECT_EQ(*numbers.rbegin(), 99);

    Reference ref = read_reference();
    // The reference lists no start times (its columns are scan, ms_level,
    // mode, precursor_mz, filter, peaks), so RetTime is not compared here.
    EXPECT_EQ(ref.columns, (std::vector<std::string>{"scan", "ms_level", "mode",
                                                     "precursor_mz", "filter", "peaks"}));
    ASSERT_EQ(ref.peaks.size(), 42u);
    for (const auto& [n, peaks] : ref.peaks) {
        SCOPED_TRACE("scan " + std::to_string(n));
        bool survey = ms1.count(n) != 0;
        const ScanText& scan = survey ? ms1[n] : ms2[n];
        ASSERT_EQ(scan.peaks.size(), peaks.size());
        for (size_t i = 0; i < peaks.size(); i++) {
            std::string want = expect::mz(peaks[i].first) + " " + expect::intensity(peaks[i].second);
            // Survey lines carry a charge and a value column behind these.
            std::string got = scan.peaks[i];
            if (survey)
                got = got.substr(0, got.find(' ', got.find(' ') + 1));
            ASSERT_EQ(got, want) << "peak " << i;
        }
    }
    // Scans without a centroid packet get no peak lines.
    for (const auto* file : {&ms1, &ms2}) {
        for (const auto& [n, scan] : *file) {
            if (ref.peaks.count(n) == 0) {
                EXPECT_TRUE(scan.peaks.empty()) << "scan " << n;
            }
        }
    }

    ASSERT_EQ(ref.precursor.size(), 28u);
    for (const auto& [n, text] : ref.precursor) {
        ASSERT_EQ(ms2.count(n), 1u) << "scan " << n;
        EXPECT_EQ(ms2[n].s.at(3), text) << "scan " << n;
    }
}

}  // namespace
