// comet_test.cpp -- a search engine (Comet) identifies the peptides of a
// synthetic run from kolvex's MS2 text, and searches a real file's.
//
// Comet takes each scan's charge and precursor mass from the Z lines, so a
// wrong Z line, precursor or peak text loses the identification.
#include <algorithm>
#include <fstream>
#include <numeric>
#include <random>

#include <gtest/gtest.h>

#include "e2e/consumer.h"
#include "fixture.h"

namespace {

constexpr double proton = 1.007276, water = 18.0105646863;

// Monoisotopic residue masses of the 20 standard amino acids, cysteine
// unmodified.
const std::map<char, double> residue = {
    {'A', 71.03711381},  {'C', 103.00918451}, {'D', 115.02694303}, {'E', 129.04259309},
    {'F', 147.06841391}, {'G', 57.02146372},  {'H', 137.05891186}, {'I', 113.08406398},
    {'K', 128.09496302}, {'L', 113.08406398}, {'M', 131.04048491}, {'N', 114.04292744},
    {'P', 97.05276385},  {'Q', 128.05857751}, {'R', 156.10111103}, {'S', 87.03202841},
    {'T', 101.04767847}, {'V', 99.06841391},  {'W', 186.07931295}, {'Y', 163.06332853}};

const std::vector<std::string> peptides = {
    "LVNELTEFAK", "HLVDEPQNLIK", "YLYEIAR",     "AEFVEVTK",
    "SLHTLFGDELCK", "DDNPNLPR",  "QTALVELLK", "GFVIDDGLITK",
};

double neutral_mass(const std::string& seq)
{
    return std::accumulate(seq.begin(), seq.end(), water,
                           [](double m, char c) { return m + residue.at(c); });
}

// One survey scan holding every peptide's doubly charged precursor (charge
// 2) among weak noise, then one fragmentation scan per peptide with trailer
// charge 2: its singly charged b and y ions among weaker noise.
fixture::File peptide_run()
{
    std::mt19937 rng(1);  // the same run on every platform
    auto noise = [&rng](double lo, double hi) {
        return static_cast<float>(lo + (hi - lo) * static_cast<double>(rng() % 1000000) / 1e6);
    };
    auto by_mz = [](const fixture::Peak& a, const fixture::Peak& b) { return a.mz < b.mz; };
    fixture::File f;
    fixture::Scan survey;
    survey.extras = true;
    for (const std::string& seq : peptides)
        survey.peaks.push_back(
            {static_cast<float>((neutral_mass(seq) + 2 * proton) / 2), noise(2e6, 9e6), 2 * 256});
    for (int i = 0; i < 80; i++)
        survey.peaks.push_back({noise(300, 2000), noise(1e3, 5e4)});
    std::sort(survey.peaks.begin(), survey.peaks.end(), by_mz);
    f.scans.push_back(survey);
    for (const std::string& seq : peptides) {
        fixture::Scan s;
        s.survey = false;
        s.charge_state = 2;
        s.precursor_mz = (neutral_mass(seq) + 2 * proton) / 2;
        double b = proton, y = water + proton;
        for (size_t i = 0; i + 1 < seq.size(); i++) {
            b += residue.at(seq[i]);
            y += residue.at(seq[seq.size() - 1 - i]);
            s.peaks.push_back({static_cast<float>(b), noise(2e4, 1e5)});
            s.peaks.push_back({static_cast<float>(y), noise(2e4, 1e5)});
        }
        for (int i = 0; i < 20; i++)
            s.peaks.push_back({noise(100, neutral_mass(seq)), noise(5e2, 4e3)});
        std::sort(s.peaks.begin(), s.peaks.end(), by_mz);
        f.scans.push_back(s);
    }
    return f;
}

// One protein per peptide, with tryptic neighbours on both sides; Comet
// adds the reversed decoys itself.
std::string fasta()
{
    std::string text;
    for (size_t i = 0; i < peptides.size(); i++)
        text += ">sp|KVX" + std::to_string(i) + "|KVX" + std::to_string(i) + "_TEST\nMADEK" +
                peptides[i] + "AGLVR\n";
    return text;
}

// Searches the MS2 file ms2 of dir in database with the project's
// parameters; returns Comet's result rows, column name -> text.
std::vector<std::map<std::string, std::string>> search(const std::string& comet,
                                                       const testrun::TempDir& dir,
                                                       const std::string& ms2,
                                                       const std::string& database)
{
    std::ofstream(dir.file("db.fasta")) << database;
    testrun::Result c = testrun::run({comet, "-P" KOLVEX_SOURCE_DIR "/tests/data/comet.params",
                                      "-Ddb.fasta", "-Nresult", ms2},
                                     dir.path);
    EXPECT_EQ(c.status, 0) << c.out << c.err;
    // Line 1 names the version, input and database; line 2 the columns.
    return consumer::table(testrun::read_file(dir.file("result.txt")), 1);
}

TEST(CometSearch, IdentifiesEveryPeptideFromTheMs2Text)
{
    KOLVEX_REQUIRE_TOOL(comet, "comet-ms", "comet-ms");
    testrun::TempDir dir;
    ASSERT_TRUE(fixture::write_file(dir.file("peptides.raw"), fixture::build(peptide_run())));
    ASSERT_EQ(consumer::convert(dir, "peptides.raw").r.status, 0);
    auto rows = search(comet, dir, "peptides.raw.ms2", fasta());
    // Scan 1 is the survey scan; peptide i is fragmented in scan i + 2.
    for (size_t i = 0; i < peptides.size(); i++) {
        const std::string& seq = peptides[i];
        auto top = std::find_if(rows.begin(), rows.end(), [&](auto& r) {
            return r.at("scan") == std::to_string(i + 2) && r.at("num") == "1";
        });
        ASSERT_NE(top, rows.end()) << seq << ": no match";
        EXPECT_EQ(top->at("plain_peptide"), seq);
        EXPECT_EQ(top->at("charge"), "2") << seq;
        EXPECT_LT(std::strtod(top->at("e-value").c_str(), nullptr), 0.01) << seq;
        // The searched mass is the Z line's mass less one proton.
        EXPECT_NEAR(std::strtod(top->at("exp_neutral_mass").c_str(), nullptr),
                    neutral_mass(seq), 1e-3) << seq;
    }
}

// The real file is a slice of a run of unknown origin: the database is the
// test proteins plus random ones that give its precursors candidates, and
// what Comet identifies means nothing; that it reads and searches the
// scans does. (The text itself is pinned with the real files.)
TEST(CometSearch, SearchesARealInstrumentsFile)
{
    KOLVEX_REQUIRE_TOOL(comet, "comet-ms", "comet-ms");
    testrun::TempDir dir;
    ASSERT_EQ(consumer::convert(dir, "v66-hybrid-sliced.raw", "real").r.status, 0);
    std::string db = fasta();
    std::mt19937 rng(7);
    for (int p = 0; p < 2000; p++) {
        db += ">sp|RND" + std::to_string(p) + "|RND" + std::to_string(p) + "_RANDOM\n";
        for (int i = 0; i < 400; i++)
            db += "ACDEFGHIKLMNPQRSTVWY"[rng() % 20];
        db += "\n";
    }
    auto rows = search(comet, dir, "v66-hybrid-sliced.raw.ms2", db);
    EXPECT_GT(std::count_if(rows.begin(), rows.end(), [](auto& r) { return r.at("num") == "1"; }),
              50);
}

}  // namespace
