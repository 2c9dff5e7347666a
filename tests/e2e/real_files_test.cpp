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
struct RealFile { std::string name; int index, ms1, ms2; const char* why; std::pair<uint64_t, uint64_t> digests; };

const RealFile real_files[] = {
    {"v62-hybrid-2007.RAW", 103, 26, 77, "", {0xa1e131909c94e700, 0xd23ed486e64e09fb}},
    {"v63-hybrid-2010.raw", 33, 10, 0, " (profile packets without a centroid list)",
     {0x465eaab07ae78215, 0x60097981345e8957}},
    {"v63-iontrap-2010.RAW", 792, 0, 792, "", {0xbc16ece09d9896f9, 0x530fcbb39a3676b2}},
    {"v64-iontrap-2009.raw", 99, 58, 41, "", {0x820acf9a1ef8a904, 0xc834490452d811f4}},
    {"v64-hybrid-2011.raw", 55, 55, 0, "", {0xeb7c8f05ee26710b, 0x71c263813e85257b}},
    {"v66-hybrid-sliced.raw", 100, 10, 90, "", {0x70ac941d8dc257ed, 0x93e0ad3ebe4a1850}},
    {"v66-newer-2019.raw", 101, 67, 34, "", {0x996c616709f0651d, 0x5b89d2ce3d02dc0c}},
    // Both outputs empty.
    {"v66-truncated.raw", 0, 0, 0, "the scan index holds no scans", {0xcbf29ce484222325, 0xcbf29ce484222325}},
    {"v57-older.RAW", 0, 0, 0, "file format version 57 is not supported",
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
        EXPECT_EQ(c.err, f.index > 0 ? e2e::summary(f.name, f.index, f.ms1, f.ms2, f.why)
                                     : f.name + ": " + f.why + "\n");
        // D27: 1 when the file cannot be converted at all (an unsupported
        // version, no run header); an index without scans converts to two
        // empty files with 0, as every file with scans does.
        bool fails = f.index == 0 && std::string(f.why) != "the scan index holds no scans";
        EXPECT_EQ(c.status, fails ? 1 : 0);
        EXPECT_EQ(e2e::seconds_as_t(c.out), e2e::done(f.name));
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
    std::map<int, ScanText> in_ms1 = e2e::scans_of(c.ms1), in_ms2 = e2e::scans_of(c.ms2);
    std::map<int, ScanText> scans = e2e::scans_of(c.ms1 + c.ms2);
    auto reference = [&](const char* table) {
        return e2e::table(testrun::read_file(testrun::shared_data() + "/reference/" +
                                                  stem + "." + table + ".tsv"));
    };
    std::map<std::string, std::pair<int, int>> figure;
    auto tally = [&](const char* what, bool agrees) { figure[what].first += agrees, figure[what].second++; };
    auto text = [](const char* format, double v) {
        char t[64];
        std::snprintf(t, sizeof t, format, v);
        return std::string(t);
    };
    for (auto& f : reference("spectra")) {
        int n = std::atoi(f["scan"].c_str());
        bool survey = f["ms_level"] == "1", ms3 = f["ms_level"] == "3";
        tally("written", scans.count(n) != 0);  // before scans[n] adds an empty scan
        tally("level", (survey ? in_ms1 : in_ms2).count(n) != 0);
        if (survey)
            continue;
        // MS3: the last reaction's precursor.
        tally(ms3 ? "precursor ms3" : "precursor",
              scans[n].s.size() > 3 && scans[n].s[3] == text("%.4f", std::atof(f["precursor_mz"].c_str())));
        if (ms3)
            continue;
        // The isolation m/z: its own column, or the filter's text "ms2 X@".
        std::string isolation = f.count("isolation_mz")
                                    ? text("%.2f", std::atof(f["isolation_mz"].c_str()))
                                    : e2e::between(f["filter"], "ms2 ", "@");
        tally("filter", e2e::between(scans[n].info["Filter"], "ms2 ", "@") == isolation);
    }
    for (auto& f : reference("trailers")) {
        ScanText& scan = scans[std::atoi(f["scan"].c_str())];
        tally("injection",
              scan.info["IonInjectionTime"] ==
                  text("%.2f", double(std::strtof(f["ion_injection_time"].c_str(), nullptr))));
        int z = std::atoi(f["charge_state"].c_str());  // 0 for "-": none given
        if (f["ms_level"] == "2" && z != 0)
            tally("charge", scan.z.size() == 1 && scan.z[0].first == z);
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
            tally("Z 1..8", z >= 1 && z <= 8);
    std::string out;
    for (const auto& [what, n] : figure)
        out += what + " " + std::to_string(n.first) + "/" + std::to_string(n.second) + "; ";
    return out;
}

TEST(RealFiles, ConversionsAgreeWithAnIndependentReader)
{
    // The reference gives no charges for this file.
    EXPECT_EQ(figures("v64-iontrap-2009"),
              "Z 1..8 82/82; filter 28/28; injection 85/85; level 85/85; peaks 42/42; "
              "precursor 28/28; precursor ms3 13/13; written 85/85; ");
    EXPECT_EQ(figures("v66-hybrid-sliced"),
              "Z 1..8 90/90; charge 90/90; filter 90/90; injection 100/100; level 100/100; "
              "peaks 90/90; precursor 90/90; written 100/100; ");
    EXPECT_EQ(figures("v66-newer-2019"),
              "Z 1..8 34/34; charge 34/34; filter 34/34; injection 101/101; level 101/101; "
              "peaks 101/101; precursor 34/34; written 101/101; ");
}

}  // namespace
