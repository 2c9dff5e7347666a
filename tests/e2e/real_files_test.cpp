// real_files_test.cpp -- raw files written by real instruments (the shared
// data folder): what each one and its patched copy convert to, and how two
// of them agree with an independent reader.
#include <cinttypes>
#include <cstdio>
#include <sstream>

#include <gtest/gtest.h>

#include "e2e/check.h"
#include "e2e/consumer.h"
#include "e2e/expect.h"
#include "raw/raw.h"

namespace {

namespace fs = std::filesystem;
using consumer::Scan;

// What a file of real/ converts to: the run-header anchor the structure
// search finds (-1: none), the counts of the summary line and the reason
// that ends it (with no anchor: the message that replaces it), and the
// digests of both outputs, which the figures below vouch for.
struct RealFile {
    const char* name;
    int64_t anchor;
    int index, ms1, ms2, rejected;
    const char* why;
    const char* digests;
};

const RealFile real_files[] = {
    {"v62-hybrid-2007.RAW", 1698, 103, 26, 77, 0, "", "a1e131909c94e700 fba19a85694575ab"},
    {"v63-hybrid-2010.raw", 1626, 33, 10, 0, 23, " (profile packets without a centroid list)",
     "465eaab07ae78215 60097981345e8957"},
    {"v63-iontrap-2010.RAW", 1832, 792, 264, 528, 0, "", "c387bd70a102b2a1 2c917a9ee4a6dde3"},
    {"v64-iontrap-2009.raw", 1668, 99, 15, 84, 0, "", "9d8b65af7ddf8adb a7c1b4a2e6b3f81e"},
    {"v64-hybrid-2011.raw", 1646, 55, 0, 55, 0, "", "1f45861049d22002 3fb4c377ace86b8f"},
    {"v66-hybrid-sliced.raw", 1660, 100, 10, 90, 0, "", "70ac941d8dc257ed e92a9ded52da8f8c"},
    {"v66-newer-2019.raw", 1694, 101, 0, 101, 0, "", "5be532cebac46b58 d4e761aa136ef64a"},
    // Both outputs empty.
    {"v66-truncated.raw", -1, 0, 0, 0, 0, "the scan index holds no scans",
     "cbf29ce484222325 cbf29ce484222325"},
    {"v57-older.RAW", -1, 0, 0, 0, 0, "file format version 57 is not supported",
     "cbf29ce484222325 cbf29ce484222325"},
};

TEST(RealFiles, EachFileConvertsAsItsRowSays)
{
    // With every row's file there, a row for every file.
    EXPECT_EQ(std::distance(fs::directory_iterator(testrun::shared_data() + "/real"), {}),
              std::size(real_files));
    int patched = 0;
    for (const RealFile& f : real_files) {
        SCOPED_TRACE(f.name);
        const std::string name = f.name;
        testrun::TempDir dir;
        consumer::Converted c = consumer::convert(dir, name, "real");
        std::ostringstream want;
        want << name << ": ";
        if (f.anchor >= 0)
            want << f.index << " scans in the index, " << f.ms1 << " written to " << name
                 << ".ms1, " << f.ms2 << " written to " << name << ".ms2, " << f.rejected
                 << " rejected";
        EXPECT_EQ(c.r.err, want.str() + f.why + "\n");
        EXPECT_EQ(c.r.status, 0);
        EXPECT_TRUE(testrun::is_completion(c.r.out, name)) << c.r.out;
        char digests[40];
        std::snprintf(digests, sizeof digests, "%016" PRIx64 " %016" PRIx64,
                      e2e::digest(c.ms1), e2e::digest(c.ms2));
        EXPECT_EQ(digests, std::string(f.digests));
        // A patched copy differs only before the anchor, where nothing is
        // read: the same bytes come out.
        fs::path path = name;
        std::string copy = path.stem().string() + ".patched" + path.extension().string();
        if (fs::exists(testrun::shared_data() + "/patched/" + copy)) {
            consumer::Converted p = consumer::convert(dir, copy, "patched");
            EXPECT_TRUE(p.ms1 == c.ms1 && p.ms2 == c.ms2) << copy << " converts otherwise";
            patched++;
        }

        Input in;
        ASSERT_EQ(open_input(in, dir.file(name)), 0);
        int32_t version = 0;
        read_at(in, 36, &version, 4);
        EXPECT_EQ(find_anchor_by_structure(in, version), f.anchor);
        close_input(in);
    }
    EXPECT_EQ(patched,
              std::distance(fs::directory_iterator(testrun::shared_data() + "/patched"), {}));
}

// A conversion measured against the independent reader's tables (see the
// data folder's README): each figure "agreeing/compared".
std::string figures(const std::string& stem)
{
    testrun::TempDir dir;
    consumer::Converted c = consumer::convert(dir, stem + ".raw", "real");
    std::map<int, Scan> ms1 = consumer::scans_of(c.ms1), ms2 = consumer::scans_of(c.ms2);
    auto find = [&](const std::string& n) {
        int scan = std::atoi(n.c_str());
        return ms1.count(scan) ? &ms1[scan] : ms2.count(scan) ? &ms2[scan] : nullptr;
    };
    auto reference = [&](const char* table) {
        return consumer::table(testrun::read_file(testrun::shared_data() + "/reference/" +
                                                  stem + "." + table + ".tsv"));
    };
    int written = 0, listed = 0, precursor = 0, precursors = 0, time = 0, times = 0;
    int charge = 0, charges = 0, peaks = 0, spectra = 0, z_above_8 = 0;
    char text[64];
    for (auto& f : reference("spectra")) {
        Scan* scan = find(f["scan"]);
        listed++;
        written += scan != nullptr;
        if (f["ms_level"] != "2")
            continue;
        precursors++;
        std::snprintf(text, sizeof text, "%.4f", std::strtod(f["precursor_mz"].c_str(), nullptr));
        precursor += scan && scan->s.size() > 3 && scan->s[3] == text;
    }
    for (auto& f : reference("trailers")) {
        Scan* scan = find(f["scan"]);
        times++;
        std::snprintf(text, sizeof text, "%.2f",
                      double(std::strtof(f["ion_injection_time"].c_str(), nullptr)));
        time += scan && scan->info["IonInjectionTime"] == text;
        if (f["ms_level"] == "2" && f["charge_state"] != "-") {
            charges++;
            for (const auto& [z, mass] : scan ? scan->z : std::vector<std::pair<int, double>>{})
                charge += z == std::atoi(f["charge_state"].c_str());
        }
    }
    // The reference's float32 peaks written with exact decimals.
    std::map<std::string, std::vector<std::string>> want;
    for (auto& f : reference("centroids"))
        want[f["scan"]].push_back(expect::mz(std::strtof(f["mz"].c_str(), nullptr)) + " " +
                                  expect::intensity(std::strtof(f["intensity"].c_str(), nullptr)));
    for (const auto& [n, lines] : want) {
        Scan* scan = find(n);
        std::vector<std::string> got;  // without the survey lines' columns 3 and 4
        for (const std::string& line : scan ? scan->peaks : std::vector<std::string>{})
            got.push_back(line.substr(0, line.find(' ', line.find(' ') + 1)));
        spectra++;
        peaks += got == lines;
    }
    for (const auto& [n, scan] : ms2)
        for (const auto& [z, mass] : scan.z)
            z_above_8 += z > 8;
    std::ostringstream o;
    o << "written " << written << "/" << listed << ", peaks " << peaks << "/" << spectra
      << ", injection " << time << "/" << times << ", precursor " << precursor << "/"
      << precursors << ", charge " << charge << "/" << charges << ", Z above 8: " << z_above_8;
    return o.str();
}

TEST(RealFiles, ConversionsAgreeWithAnIndependentReader)
{
    // The reference gives no charges for this file.
    EXPECT_EQ(figures("v64-iontrap-2009"), "written 85/85, peaks 42/42, injection 85/85, "
                                           "precursor 28/28, charge 0/0, Z above 8: 0");
    // 17 precursors differ: the reference gives the monoisotopic m/z, the S
    // line the isolation m/z.
    EXPECT_EQ(figures("v66-hybrid-sliced"), "written 100/100, peaks 90/90, injection 100/100, "
                                            "precursor 73/90, charge 90/90, Z above 8: 0");
}

}  // namespace
