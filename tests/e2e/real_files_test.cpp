// real_files_test.cpp -- raw files written by real instruments (the shared
// data folder): what each one and its patched copy convert to, and how two
// of them agree with an independent reader.
#include <algorithm>

#include <gtest/gtest.h>

#include "e2e/check.h"
#include "e2e/expect.h"

namespace {

namespace fs = std::filesystem;
using e2e::ScanText;

// What a file of real/ converts to: the counts of the summary line and the
// reason that ends it (with no scan in the index: the message that replaces
// it), and the digests of both outputs, which the figures below vouch for.
struct RealFile { std::string name; int index, ms1, ms2, rejected; const char* why;
                  std::pair<uint64_t, uint64_t> digests; };

const RealFile real_files[] = {
    {"v62-hybrid-2007.RAW", 103, 26, 77, 0, "", {0xa1e131909c94e700, 0xfba19a85694575ab}},
    {"v63-hybrid-2010.raw", 33, 10, 0, 23, " (profile packets without a centroid list)",
     {0x465eaab07ae78215, 0x60097981345e8957}},
    {"v63-iontrap-2010.RAW", 792, 264, 528, 0, "", {0xc387bd70a102b2a1, 0x2c917a9ee4a6dde3}},
    {"v64-iontrap-2009.raw", 99, 15, 84, 0, "", {0x9d8b65af7ddf8adb, 0xa7c1b4a2e6b3f81e}},
    {"v64-hybrid-2011.raw", 55, 0, 55, 0, "", {0x1f45861049d22002, 0x3fb4c377ace86b8f}},
    {"v66-hybrid-sliced.raw", 100, 10, 90, 0, "", {0x70ac941d8dc257ed, 0xe92a9ded52da8f8c}},
    {"v66-newer-2019.raw", 101, 0, 101, 0, "", {0x5be532cebac46b58, 0xd4e761aa136ef64a}},
    // Both outputs empty.
    {"v66-truncated.raw", 0, 0, 0, 0, "the scan index holds no scans",
     {0xcbf29ce484222325, 0xcbf29ce484222325}},
    {"v57-older.RAW", 0, 0, 0, 0, "file format version 57 is not supported",
     {0xcbf29ce484222325, 0xcbf29ce484222325}},
};

TEST(RealFiles, EachFileConvertsAsItsRowSays)
{
    // With every row's file there, a row for every file.
    EXPECT_EQ(std::distance(fs::directory_iterator(testrun::shared_data() + "/real"), {}),
              std::size(real_files));
    int patched = 0;
    for (const RealFile& f : real_files) {
        SCOPED_TRACE(f.name);
        testrun::TempDir dir;
        e2e::Converted c = e2e::convert_in(dir, f.name, "real");
        std::string want = f.name + ": ";
        if (f.index > 0)
            want += std::to_string(f.index) + " scans in the index, " + std::to_string(f.ms1) +
                    " written to " + f.name + ".ms1, " + std::to_string(f.ms2) + " written to " +
                    f.name + ".ms2, " + std::to_string(f.rejected) + " rejected";
        EXPECT_EQ(c.err, want + f.why + "\n");
        // D27: 1 when the file cannot be converted at all (an unsupported
        // version, no run header); an index without scans converts to two
        // empty files with 0, as every file with scans does.
        bool fails = f.index == 0 && std::string(f.why) != "the scan index holds no scans";
        EXPECT_EQ(c.status, fails ? 1 : 0);
        EXPECT_TRUE(testrun::is_completion(c.out, f.name)) << c.out;
        EXPECT_EQ(std::make_pair(e2e::digest(c.ms1), e2e::digest(c.ms2)), f.digests);
        // A patched copy differs only before the run header, where nothing
        // is read: the same bytes come out.
        fs::path path = f.name;
        std::string copy = path.stem().string() + ".patched" + path.extension().string();
        if (fs::exists(testrun::shared_data() + "/patched/" + copy)) {
            e2e::Converted p = e2e::convert_in(dir, copy, "patched");
            EXPECT_TRUE(p.ms1 == c.ms1 && p.ms2 == c.ms2) << copy << " converts otherwise";
            patched++;
        }
    }
    EXPECT_EQ(patched,
              std::distance(fs::directory_iterator(testrun::shared_data() + "/patched"), {}));
}

// The conversion of stem.raw measured against the independent reader's
// tables (see the data folder's README): each figure "agreeing/compared",
// by name.
std::string figures(const std::string& stem)
{
    testrun::TempDir dir;
    e2e::Converted c = e2e::convert_in(dir, stem + ".raw", "real");
    std::map<int, ScanText> scans = e2e::scans_of(c.ms1 + c.ms2);
    auto reference = [&](const char* table) {
        return e2e::table(testrun::read_file(testrun::shared_data() + "/reference/" +
                                                  stem + "." + table + ".tsv"));
    };
    std::map<std::string, std::pair<int, int>> figure;
    auto tally = [&](const char* what, bool agrees) {
        figure[what].first += agrees;
        figure[what].second++;
    };
    char text[64];
    for (auto& f : reference("spectra")) {
        int n = std::atoi(f["scan"].c_str());
        tally("written", scans.count(n) != 0);  // before scans[n] adds an empty scan
        if (f["ms_level"] == "2") {
            std::snprintf(text, sizeof text, "%.4f", std::atof(f["precursor_mz"].c_str()));
            tally("precursor", scans[n].s.size() > 3 && scans[n].s[3] == text);
        }
    }
    for (auto& f : reference("trailers")) {
        ScanText& scan = scans[std::atoi(f["scan"].c_str())];
        std::snprintf(text, sizeof text, "%.2f",
                      double(std::strtof(f["ion_injection_time"].c_str(), nullptr)));
        tally("injection", scan.info["IonInjectionTime"] == text);
        int z = std::atoi(f["charge_state"].c_str());  // 0 for "-": none given
        if (f["ms_level"] == "2" && z != 0)
            tally("charge", std::count_if(scan.z.begin(), scan.z.end(),
                                          [z](auto& line) { return line.first == z; }) != 0);
    }
    // The reference's float32 peaks written with exact decimals.
    std::map<int, std::vector<std::string>> want;
    for (auto& f : reference("centroids"))
        want[std::atoi(f["scan"].c_str())].push_back(
            expect::mz(std::strtof(f["mz"].c_str(), nullptr)) + " " +
            expect::intensity(std::strtof(f["intensity"].c_str(), nullptr)));
    for (const auto& [n, lines] : want) {
        std::vector<std::string> got;  // without the survey lines' columns 3 and 4
        for (const std::string& line : scans[n].peaks)
            got.push_back(line.substr(0, line.find(' ', line.find(' ') + 1)));
        tally("peaks", got == lines);
    }
    for (const auto& [n, scan] : scans)
        for (const auto& [z, mass] : scan.z)
            tally("Z up to 8", z <= 8);
    std::string out;
    for (const auto& [what, n] : figure)
        out += what + " " + std::to_string(n.first) + "/" + std::to_string(n.second) + "; ";
    return out;
}

TEST(RealFiles, ConversionsAgreeWithAnIndependentReader)
{
    // The reference gives no charges for this file.
    EXPECT_EQ(figures("v64-iontrap-2009"), "Z up to 8 157/157; injection 85/85; peaks 42/42; "
                                           "precursor 28/28; written 85/85; ");
    // 17 precursors differ: the reference gives the monoisotopic m/z, the S
    // line the isolation m/z.
    EXPECT_EQ(figures("v66-hybrid-sliced"), "Z up to 8 99/99; charge 90/90; injection 100/100; "
                                            "peaks 90/90; precursor 73/90; written 100/100; ");
}

}  // namespace
