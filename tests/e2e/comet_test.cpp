// comet_test.cpp -- a search engine (Comet) identifies the peptides of a
// synthetic run from kolvex's MS2 text.
//
// The run holds one survey scan and one fragmentation scan per tryptic
// peptide (its b and y ions among noise). Comet takes each scan's charge
// and precursor mass from the Z lines, so a wrong Z line, precursor or
// peak text loses the identification.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/consumer.h"
#include "fixture.h"
#include "peptide.h"
#include "support/run.h"

namespace {

const std::vector<std::string> peptides = {
    "LVNELTEFAK", "HLVDEPQNLIK", "YLYEIAR",   "AEFVEVTK",
    "SLHTLFGDELCK", "DDNPNLPR",  "QTALVELLK", "GFVIDDGLITK",
};

// One protein per peptide, with tryptic neighbours on both sides; Comet
// adds the reversed decoys itself.
std::string fasta()
{
    std::ostringstream text;
    for (size_t i = 0; i < peptides.size(); i++)
        text << ">sp|KVX" << 100 + i << "|KVX" << i << "_TEST test protein " << i
             << "\nMADEK" << peptides[i] << "AGLVR\n";
    return text.str();
}

std::vector<std::string> split_tabs(const std::string& line)
{
    std::vector<std::string> f;
    size_t start = 0;
    for (;;) {
        size_t end = line.find('\t', start);
        f.push_back(line.substr(start, end - start));
        if (end == std::string::npos)
            return f;
        start = end + 1;
    }
}

// Comet's tab-separated results: one map of column name to text per row.
std::vector<std::map<std::string, std::string>> read_results(const std::string& text)
{
    std::vector<std::map<std::string, std::string>> rows;
    std::vector<std::string> head;
    size_t start = 0;
    int line_no = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        if (++line_no == 1)
            continue;  // version, base name, date, database
        std::vector<std::string> f = split_tabs(line);
        if (head.empty()) {
            head = f;
            continue;
        }
        std::map<std::string, std::string> row;
        for (size_t i = 0; i < f.size() && i < head.size(); i++)
            row[head[i]] = f[i];
        rows.push_back(row);
    }
    return rows;
}

TEST(CometSearch, IdentifiesEveryPeptideFromTheMs2Text)
{
    KOLVEX_REQUIRE_TOOL(comet, "comet-ms", "comet-ms");
    testrun::TempDir dir;
    ASSERT_TRUE(fixture::write_file(dir.file("peptides.raw"),
                                    fixture::build(fixture::peptide_run(peptides))));
    testrun::Result k = testrun::kolvex(dir.path, {"peptides.raw"});
    ASSERT_EQ(k.status, 0) << k.err;
    {
        std::ofstream db(dir.file("peptides.fasta"));
        db << fasta();
    }
    std::string params = std::string(KOLVEX_SOURCE_DIR) + "/tests/data/comet.params";
    testrun::Result c = testrun::run(
        {comet, "-P" + params, "-Dpeptides.fasta", "-Nresult", "peptides.raw.ms2"},
        dir.path);
    ASSERT_EQ(c.status, 0) << c.out << c.err;
    auto rows = read_results(testrun::read_file(dir.file("result.txt")));
    ASSERT_FALSE(rows.empty()) << c.out << c.err;

    // Scan 1 is the survey scan; peptide i is fragmented in scan i + 2.
    for (size_t i = 0; i < peptides.size(); i++) {
        const std::string& seq = peptides[i];
        std::string scan = std::to_string(i + 2);
        const std::map<std::string, std::string>* top = nullptr;
        for (const auto& r : rows)
            if (r.at("scan") == scan && r.at("num") == "1")
                top = &r;
        ASSERT_NE(top, nullptr) << seq << ": no match for scan " << scan;
        EXPECT_EQ(top->at("plain_peptide"), seq) << "scan " << scan;
        EXPECT_EQ(top->at("protein").rfind("DECOY_", 0), std::string::npos)
            << seq << " matched a decoy: " << top->at("protein");
        EXPECT_EQ(top->at("charge"), "2") << seq;
        EXPECT_LT(std::strtod(top->at("e-value").c_str(), nullptr), 0.01) << seq;
        // The searched mass is the Z line's mass less one proton.
        EXPECT_NEAR(std::strtod(top->at("exp_neutral_mass").c_str(), nullptr),
                    fixture::peptide_mass(seq), 1e-3)
            << seq;
    }
}

// A real instrument's file: Comet must read every fragmentation scan that
// kolvex wrote and search it without error. The file is a slice of a run
// of unknown origin, so the database is the fixture proteins plus random
// ones that give every precursor candidates; the identifications mean
// nothing, but each rank-1 match must carry a charge and a mass that one
// of its scan's Z lines gave.
TEST(CometSearch, SearchesARealInstrumentsFile)
{
    KOLVEX_REQUIRE_TOOL(comet, "comet-ms", "comet-ms");
    testrun::TempDir dir;
    const std::string name = "v66-hybrid-sliced.raw";
    ASSERT_EQ(testrun::run({"/bin/cp", testrun::shared_data() + "/real/" + name,
                            dir.file(name)}, dir.path).status, 0);
    testrun::Result k = testrun::kolvex(dir.path, {name});
    ASSERT_EQ(k.status, 0) << k.err;
    {
        std::ofstream db(dir.file("db.fasta"));
        db << fasta();
        uint32_t x = 7;  // xorshift: the same database everywhere
        const char amino[] = "ACDEFGHIKLMNPQRSTVWY";
        for (int p = 0; p < 2000; p++) {
            db << ">sp|RND" << p << "|RND" << p << "_RANDOM\n";
            for (int i = 0; i < 400; i++) {
                x ^= x << 13;
                x ^= x >> 17;
                x ^= x << 5;
                db << amino[x % 20];
            }
            db << "\n";
        }
    }
    std::string params = std::string(KOLVEX_SOURCE_DIR) + "/tests/data/comet.params";
    testrun::Result c = testrun::run(
        {comet, "-P" + params, "-Ddb.fasta", "-Nresult", name + ".ms2"}, dir.path);
    ASSERT_EQ(c.status, 0) << c.out << c.err;

    // Z lines of every scan: charge -> singly protonated mass.
    std::map<std::string, std::map<std::string, double>> z;
    std::string scan;
    for (const std::string& line : testrun::lines_of(testrun::read_file(dir.file(name + ".ms2")))) {
        std::vector<std::string> f = split_tabs(line);
        if (f[0] == "S")
            scan = std::to_string(std::atoi(f.at(1).c_str()));
        else if (f[0] == "Z")
            z[scan][f.at(1)] = std::strtod(f.at(2).c_str(), nullptr);
    }
    ASSERT_EQ(z.size(), 90u);
    int rank1 = 0;
    for (const auto& r : read_results(testrun::read_file(dir.file("result.txt")))) {
        if (r.at("num") != "1")
            continue;
        rank1++;
        SCOPED_TRACE("scan " + r.at("scan"));
        ASSERT_EQ(z.count(r.at("scan")), 1u);
        ASSERT_EQ(z[r.at("scan")].count(r.at("charge")), 1u);
        EXPECT_NEAR(std::strtod(r.at("exp_neutral_mass").c_str(), nullptr),
                    z[r.at("scan")][r.at("charge")] - 1.007276, 1e-3);
    }
    EXPECT_GT(rank1, 0);
    std::printf("rank-1 matches: %d\n", rank1);
}

}  // namespace
