// real_files_test.cpp -- raw files written by real instruments (the shared
// data folder): what each one converts to, that each patched copy gives
// the bytes of its unmodified file, and how the conversions of two of them
// agree with an independent reader's view.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "e2e/expect.h"
#include "raw/raw.h"
#include "support/run.h"

namespace {

namespace fs = std::filesystem;

struct RealRun {
    testrun::Result r;
    std::string ms1, ms2;
};

// Copies a shared file into a fresh folder and converts it there (the
// shared folder is read-only, and outputs go beside the input).
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

// One scan of an output file: its S, I and Z lines' fields, its peaks.
struct ScanText {
    std::vector<std::string> s;
    std::map<std::string, std::string> info;  // I lines: key -> value
    std::vector<int> z;                        // Z line charges
    std::vector<std::string> peaks;
};

std::map<int, ScanText> scans_of(const std::string& text)
{
    std::map<int, ScanText> scans;
    ScanText* cur = nullptr;
    for (const std::string& line : testrun::lines_of(text)) {
        std::vector<std::string> f = fields(line, '\t');
        if (line.rfind("S\t", 0) == 0) {
            cur = &scans[std::atoi(f.at(1).c_str())];
            cur->s = f;
        } else if (cur == nullptr || line.empty()) {
            continue;
        } else if (line[0] == 'I') {
            cur->info[f.at(1)] = f.size() > 2 ? f[2] : "";
        } else if (line[0] == 'Z') {
            cur->z.push_back(std::atoi(f.at(1).c_str()));
        } else {
            cur->peaks.push_back(line);
        }
    }
    return scans;
}

// What the summary line (or the message why nothing was converted) says,
// after "<name>: ".
struct RealFile {
    const char* name;
    int32_t anchor;       // run header by structure; -1: none expected
    const char* message;  // first line of standard error, after the name
};

const std::vector<RealFile> real_files = {
    {"v62-hybrid-2007.RAW", 1698,
     "103 scans in the index, 26 written to v62-hybrid-2007.RAW.ms1, "
     "77 written to v62-hybrid-2007.RAW.ms2, 0 rejected"},
    {"v63-hybrid-2010.raw", 1626,
     "33 scans in the index, 10 written to v63-hybrid-2010.raw.ms1, "
     "0 written to v63-hybrid-2010.raw.ms2, 23 rejected "
     "(profile packets without a centroid list)"},
    {"v63-iontrap-2010.RAW", 1832,
     "792 scans in the index, 264 written to v63-iontrap-2010.RAW.ms1, "
     "528 written to v63-iontrap-2010.RAW.ms2, 0 rejected"},
    {"v64-iontrap-2009.raw", 1668,
     "99 scans in the index, 15 written to v64-iontrap-2009.raw.ms1, "
     "84 written to v64-iontrap-2009.raw.ms2, 0 rejected"},
    {"v64-hybrid-2011.raw", 1646,
     "55 scans in the index, 0 written to v64-hybrid-2011.raw.ms1, "
     "55 written to v64-hybrid-2011.raw.ms2, 0 rejected"},
    {"v66-hybrid-sliced.raw", 1660,
     "100 scans in the index, 10 written to v66-hybrid-sliced.raw.ms1, "
     "90 written to v66-hybrid-sliced.raw.ms2, 0 rejected"},
    {"v66-newer-2019.raw", 1694,
     "101 scans in the index, 0 written to v66-newer-2019.raw.ms1, "
     "101 written to v66-newer-2019.raw.ms2, 0 rejected"},
    {"v66-truncated.raw", -1, "the scan index holds no scans"},
    {"v57-older.RAW", -1, "file format version 57 is not supported"},
};

TEST(RealFiles, EachFileConvertsAsExpected)
{
    std::string folder = testrun::shared_data() + "/real";
    ASSERT_TRUE(fs::is_directory(folder)) << folder;
    std::set<std::string> listed, seen;
    for (const RealFile& f : real_files)
        listed.insert(f.name);
    for (const auto& e : fs::directory_iterator(folder))
        seen.insert(e.path().filename().string());
    EXPECT_EQ(seen, listed) << "every real file needs a row";

    for (const RealFile& f : real_files) {
        SCOPED_TRACE(f.name);
        RealRun run = convert_copy(std::string("real/") + f.name);
        EXPECT_EQ(run.r.status, 0);
        EXPECT_TRUE(testrun::is_completion(run.r.out, f.name));
        EXPECT_EQ(run.r.err, std::string(f.name) + ": " + f.message + "\n");
        std::map<int, ScanText> ms1 = scans_of(run.ms1), ms2 = scans_of(run.ms2);
        if (f.anchor < 0) {
            EXPECT_EQ(run.ms1 + run.ms2, "");
            continue;
        }
        // Every scan number appears at most once over both files.
        for (const auto& [n, scan] : ms2)
            EXPECT_EQ(ms1.count(n), 0u) << "scan " << n;

        Input in;
        ASSERT_EQ(open_input(in, folder + "/" + f.name), 0);
        int32_t version = 0;
        read_at(in, 36, &version, 4);
        EXPECT_EQ(find_anchor_by_structure(in, version), f.anchor);
        close_input(in);
    }
}

// The patched copies differ only before the anchor: same bytes out.
TEST(RealFiles, PatchedCopiesGiveTheBytesOfTheirUnmodifiedFile)
{
    for (const auto& e : fs::directory_iterator(testrun::shared_data() + "/patched")) {
        std::string patched = e.path().filename().string();
        std::string real = patched;
        real.erase(real.find(".patched"), 8);
        SCOPED_TRACE(patched);
        RealRun a = convert_copy("patched/" + patched), b = convert_copy("real/" + real);
        EXPECT_FALSE(b.ms1.empty());
        EXPECT_EQ(a.ms1, b.ms1);
        EXPECT_EQ(a.ms2, b.ms2);
    }
}

// An independent reader's view of one file (see the reference README).
struct Reference {
    std::map<int, std::vector<std::pair<float, float>>> peaks;  // centroid spectra
    std::map<int, int> ms_level;
    std::map<int, std::string> precursor;  // "%.4f"
    std::map<int, std::string> injection;  // "%.2f" of the float32
    std::map<int, int> charge;             // where the trailer gives one
};

std::vector<std::vector<std::string>> table(const std::string& path)
{
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> lines = testrun::lines_of(testrun::read_file(path));
    for (size_t i = 1; i < lines.size(); i++)  // past the column names
        rows.push_back(fields(lines[i], '\t'));
    return rows;
}

Reference read_reference(const std::string& stem)
{
    Reference ref;
    std::string dir = testrun::shared_data() + "/reference/" + stem;
    char text[64];
    for (const auto& f : table(dir + ".centroids.tsv"))
        // Nine significant digits give the float32 back exactly.
        ref.peaks[std::atoi(f.at(0).c_str())].push_back(
            {std::strtof(f.at(1).c_str(), nullptr), std::strtof(f.at(2).c_str(), nullptr)});
    for (const auto& f : table(dir + ".spectra.tsv")) {
        int scan = std::atoi(f.at(0).c_str());
        ref.ms_level[scan] = std::atoi(f.at(1).c_str());
        if (f.at(1) == "2") {
            std::snprintf(text, sizeof text, "%.4f", std::strtod(f.at(3).c_str(), nullptr));
            ref.precursor[scan] = text;
        }
    }
    for (const auto& f : table(dir + ".trailers.tsv")) {
        int scan = std::atoi(f.at(0).c_str());
        float t = std::strtof(f.at(2).c_str(), nullptr);
        std::snprintf(text, sizeof text, "%.2f", static_cast<double>(t));
        ref.injection[scan] = text;
        if (f.at(3) != "-")
            ref.charge[scan] = std::atoi(f.at(3).c_str());
    }
    return ref;
}

// The figures of the comparison, each "agreeing of compared".
struct Figures {
    int written = 0, listed = 0;
    int peaks_equal = 0, centroid_spectra = 0;
    int injection_equal = 0, injections = 0;
    int precursor_equal = 0, precursors = 0;
    int charge_in_z = 0, charges = 0;
    int z_above_8 = 0;
    bool operator==(const Figures&) const = default;
};

std::ostream& operator<<(std::ostream& o, const Figures& f)
{
    return o << "written " << f.written << "/" << f.listed << ", peaks " << f.peaks_equal
             << "/" << f.centroid_spectra << ", injection " << f.injection_equal << "/"
             << f.injections << ", precursor " << f.precursor_equal << "/" << f.precursors
             << ", charge " << f.charge_in_z << "/" << f.charges << ", Z above 8 "
             << f.z_above_8;
}

Figures compare(const std::string& file, const Reference& ref)
{
    RealRun run = convert_copy("real/" + file);
    EXPECT_EQ(run.r.status, 0);
    std::map<int, ScanText> ms1 = scans_of(run.ms1), ms2 = scans_of(run.ms2);
    auto find = [&](int n) -> const ScanText* {
        if (ms1.count(n))
            return &ms1[n];
        return ms2.count(n) ? &ms2[n] : nullptr;
    };
    Figures f;
    for (const auto& [n, level] : ref.ms_level) {
        f.listed++;
        const ScanText* scan = find(n);
        if (scan == nullptr)
            continue;
        f.written++;
        if (ref.injection.count(n)) {
            f.injections++;
            f.injection_equal += scan->info.at("IonInjectionTime") == ref.injection.at(n);
        }
        if (ref.precursor.count(n) && ms2.count(n)) {
            f.precursors++;
            f.precursor_equal += scan->s.at(3) == ref.precursor.at(n);
        }
        if (ref.charge.count(n) && level == 2) {
            f.charges++;
            for (int z : scan->z)
                if (z == ref.charge.at(n)) {
                    f.charge_in_z++;
                    break;
                }
        }
        for (int z : scan->z)
            f.z_above_8 += z > 8;
    }
    for (const auto& [n, peaks] : ref.peaks) {
        f.centroid_spectra++;
        const ScanText* scan = find(n);
        if (scan == nullptr || scan->peaks.size() != peaks.size())
            continue;
        bool equal = true;
        for (size_t i = 0; i < peaks.size() && equal; i++) {
            // Survey lines carry a charge and a value column behind these.
            const std::string& line = scan->peaks[i];
            std::string got = line.substr(0, line.find(' ', line.find(' ') + 1));
            equal = got == expect::mz(peaks[i].first) + " " + expect::intensity(peaks[i].second);
        }
        f.peaks_equal += equal;
    }
    return f;
}

TEST(RealFiles, ConversionsAgreeWithTheIndependentReader)
{
    struct Case {
        const char* stem;
        const char* file;
        Figures want;
    };
    const std::vector<Case> cases = {
        // The reference lists no charges for this file.
        {"v64-iontrap-2009", "v64-iontrap-2009.raw",
         {85, 85, 42, 42, 85, 85, 28, 28, 0, 0, 0}},
        // 17 precursors differ: the reference gives the monoisotopic m/z,
        // the S line the isolation m/z.
        {"v66-hybrid-sliced", "v66-hybrid-sliced.raw",
         {100, 100, 90, 90, 100, 100, 73, 90, 90, 90, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(compare(c.file, read_reference(c.stem)), c.want);
    }
}

}  // namespace
