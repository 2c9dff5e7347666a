// consumers_test.cpp -- the programs that read kolvex's output: an
// independent MS1/MS2 reader (msconvert), a search engine (Comet) and the
// batch workflow (Snakemake).
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <random>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2e/check.h"

namespace {

// Absolute path of a program on PATH, or "" when there is none.
std::string find_tool(const std::string& name)
{
    std::string out = testrun::run({"/bin/sh", "-c", "command -v \"$0\"", name}, "/").out;
    return out.empty() || out[0] != '/' ? "" : out.substr(0, out.size() - 1);
}

// Declares var as the path of program name. A missing program skips the
// test on a developer's machine, but fails it in CI (CI set), so that a
// broken install step cannot pass as a green run.
#define KOLVEX_REQUIRE_TOOL(var, name, package)                                          \
    const std::string var = find_tool(name);                                             \
    if (var.empty() && std::getenv("CI") != nullptr && *std::getenv("CI") != '\0')       \
        FAIL() << name " not found on PATH (CI is set): install " package;               \
    if (var.empty())                                                                     \
        GTEST_SKIP() << name " not found on PATH: install the Debian package " package;

// Number texts equal to the seven significant digits msconvert writes.
bool near(const std::string& a, const std::string& b)
{
    double x = std::strtod(a.c_str(), nullptr), y = std::strtod(b.c_str(), nullptr);
    return std::fabs(x - y) <= 1e-6 * std::fabs(x) + 1e-4;
}

// Where the scans msconvert read from a text file and wrote back in the
// same format differ from what kolvex wrote: scan numbers, precursor m/z,
// Z charges, peaks.
std::string differences(const std::string& wrote, const std::string& read)
{
    std::map<int, e2e::ScanText> a = e2e::scans_of(wrote), b = e2e::scans_of(read);
    std::string diff = a.size() == b.size() ? "" : "scan count\n";
    for (auto& [n, s] : a) {
        e2e::ScanText& t = b[n];
        std::string at = "scan " + std::to_string(n) + ": ";
        if (s.s.size() != t.s.size() || (s.s.size() > 3 && !near(s.s[3], t.s[3])))
            diff += at + "precursor\n";
        for (size_t k = 0; k < std::max(s.z.size(), t.z.size()); k++)
            if (k >= s.z.size() || k >= t.z.size() || s.z[k].first != t.z[k].first)
                diff += at + "Z line " + std::to_string(k) + "\n";
        for (size_t k = 0; k < std::max(s.peaks.size(), t.peaks.size()); k++) {
            std::vector<std::string> x = e2e::fields(k < s.peaks.size() ? s.peaks[k] : "", ' ');
            std::vector<std::string> y = e2e::fields(k < t.peaks.size() ? t.peaks[k] : "", ' ');
            if (x.size() < 2 || y.size() != 2 || !near(x[0], y[0]) || !near(x[1], y[1]))
                diff += at + "peak " + std::to_string(k) + "\n";
        }
    }
    return diff;
}

// Number texts without a digit before the point (".5000", ".7") or with a
// truncated last digit, and a fragmentation scan without peaks (its packet
// long enough to be converted).
fixture::File edge_numbers()
{
    fixture::Scan survey, frag, empty;
    survey.extras = true;
    survey.peaks = {{0.5f, 0.75f, 2 * 256, 0.4f}, {100.05f, 0.0f, 0, 12.0f},
                    {445.12f, 1234.56f, 3 * 256, 900.0f}, {1999.9999f, 5.0f, 0, 1.0f}};
    frag.survey = empty.survey = false;
    frag.precursor_mz = 445.12;
    frag.charge_state = 3;
    frag.peaks = {{1.05f, 0.75f}, {1.0079f, 80.0f}, {350.0001f, 0.0f}};
    empty.trailing = 100;
    return e2e::run_of(66, {survey, frag, empty});
}

// msconvert reads each text file and writes what it read back. As
// real_files_test.cpp holds the text to an independent reader's precursors
// and charges, msconvert then reads those too.
class MsconvertReads : public testing::TestWithParam<const char*> {};

TEST_P(MsconvertReads, EveryScanPeakPrecursorAndCharge)
{
    KOLVEX_REQUIRE_TOOL(msconvert, "msconvert", "libpwiz-tools");
    const std::string input = GetParam();
    const bool generated = input.rfind("fixture", 0) == 0;
    testrun::TempDir dir;
    if (generated)
        fixture::write_file(dir.file(input), fixture::build(edge_numbers()));
    e2e::Converted c = e2e::convert_in(dir, input, generated ? "" : "real");
    ASSERT_EQ(c.status, 0) << c.err;
    for (const std::string ms : {"ms1", "ms2"}) {
        // timeout: msconvert can hang on malformed text instead of failing.
        testrun::Result m = testrun::run(
            {"timeout", "120", msconvert, input + "." + ms, "--" + ms, "-o", dir.path, "--outfile", "back"}, dir.path);
        ASSERT_EQ(m.status, 0) << m.out << m.err;
        EXPECT_EQ(differences(ms == "ms1" ? c.ms1 : c.ms2, testrun::read_file(dir.file("back." + ms))), "")
            << ms;
    }
    EXPECT_FALSE(e2e::scans_of(c.ms1 + c.ms2).empty());
    // Where an independent reader has seen the file, msconvert reads its
    // selected ion on every MS2 scan, and its charge alone where it has one.
    const std::string ref = testrun::shared_data() + "/reference/" + std::filesystem::path(input).stem().string();
    if (generated || !std::filesystem::exists(ref + ".spectra.tsv"))
        return;
    std::map<int, e2e::ScanText> back = e2e::scans_of(testrun::read_file(dir.file("back.ms2")));
    for (auto& f : e2e::table(testrun::read_file(ref + ".spectra.tsv"))) {
        double want = std::atof(f["precursor_mz"].c_str());  // msconvert: 7 digits
        if (f["ms_level"] != "2")
            continue;
        EXPECT_NEAR(std::atof(back[std::stoi(f["scan"])].s.at(3).c_str()), want, 1e-6 * want + 1e-4)
                << f["scan"];
    }
    for (auto& f : e2e::table(testrun::read_file(ref + ".trailers.tsv")))
        if (f["ms_level"] == "2" && f["charge_state"] != "-") {
            const auto& z = back[std::stoi(f["scan"])].z;
            EXPECT_TRUE(z.size() == 1 && z[0].first == std::stoi(f["charge_state"])) << f["scan"];
        }
}

// The awkward numbers, and every real file that converts (every version).
INSTANTIATE_TEST_SUITE_P(Outputs, MsconvertReads,
                         testing::Values("fixture_edge_numbers",
                                         "v62-hybrid-2007.RAW", "v63-hybrid-2010.raw",
                                         "v63-iontrap-2010.RAW", "v64-iontrap-2009.raw",
                                         "v64-hybrid-2011.raw", "v66-hybrid-sliced.raw",
                                         "v66-newer-2019.raw"),
                         [](const testing::TestParamInfo<const char*>& i) {
                             std::string name = i.param;
                             std::replace_if(name.begin(), name.end(), ispunct, '_');
                             return name;
                         });

constexpr double proton = 1.007276, water = 18.0105646863;

// Monoisotopic residue masses of the 20 standard amino acids, cysteine
// unmodified.
const std::map<char, double> residue = {
    {'A', 71.03711381},  {'C', 103.00918451}, {'D', 115.02694303}, {'E', 129.04259309},
    {'F', 147.06841391}, {'G', 57.02146372},  {'H', 137.05891186}, {'I', 113.08406398},
    {'K', 128.09496302}, {'L', 113.08406398}, {'M', 131.04048491}, {'N', 114.04292744},
    {'P', 97.05276385},  {'Q', 128.05857751}, {'R', 156.10111103}, {'S', 87.03202841},
    {'T', 101.04767847}, {'V', 99.06841391},  {'W', 186.07931295}, {'Y', 163.06332853}};

const std::vector<std::string> peptides = {"LVNELTEFAK", "HLVDEPQNLIK", "YLYEIAR",
                                           "AEFVEVTK",   "SLHTLFGDELCK", "DDNPNLPR",
                                           "QTALVELLK",  "GFVIDDGLITK"};

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

// Searches the MS2 file ms2 of dir with the project's parameters in a
// database of one protein per peptide, with tryptic neighbours on both sides
// (Comet adds the reversed decoys itself), and random proteins that give a
// real file's precursors candidates; returns Comet's result rows.
auto search(const std::string& comet, const testrun::TempDir& dir, const std::string& ms2,
            int random, int* loaded = nullptr)
{
    std::ofstream db(dir.file("db.fasta"));
    for (size_t i = 0; i < peptides.size(); i++)
        db << ">sp|KVX" << i << "|KVX" << i << "_TEST\nMADEK" << peptides[i] << "AGLVR\n";
    std::mt19937 rng(7);
    for (int p = 0; p < random; p++) {
        db << ">sp|RND" << p << "|RND" << p << "_RANDOM\n";
        for (int i = 0; i < 400; i++)
            db << "ACDEFGHIKLMNPQRSTVWY"[rng() % 20];
        db << "\n";
    }
    db.close();
    testrun::Result c = testrun::run(
        {"timeout", "300", comet, "-P" KOLVEX_SOURCE_DIR "/tests/data/comet.params", "-Ddb.fasta", "-Nresult", ms2},
        dir.path);
    EXPECT_EQ(c.status, 0) << c.out << c.err;
    if (loaded != nullptr)  // "Load spectra: N": the scans Comet took in
        *loaded = std::atoi(e2e::between(c.out, "Load spectra: ", "\n").c_str());
    // Line 1 names the version, input and database; line 2 the columns.
    return e2e::table(testrun::read_file(dir.file("result.txt")), 1);
}

// Comet takes each scan's charge and precursor mass from the Z lines, so a
// wrong Z line, precursor or peak text loses the identification. A real
// file's run is of unknown origin: what Comet identifies there means
// nothing; that it reads and searches the scans does.
TEST(CometSearch, IdentifiesEveryPeptideAndSearchesARealFile)
{
    KOLVEX_REQUIRE_TOOL(comet, "comet-ms", "comet-ms");
    testrun::TempDir dir;
    ASSERT_TRUE(fixture::write_file(dir.file("peptides.raw"), fixture::build(peptide_run())));
    ASSERT_EQ(e2e::convert_in(dir, "peptides.raw").status, 0);
    auto rows = search(comet, dir, "peptides.raw.ms2", 0);
    // Scan 1 is the survey scan; peptide i is fragmented in scan i + 2.
    for (size_t i = 0; i < peptides.size(); i++) {
        auto top = std::find_if(rows.begin(), rows.end(), [&](auto& r) {
            return r.at("scan") == std::to_string(i + 2) && r.at("num") == "1";
        });
        ASSERT_NE(top, rows.end()) << peptides[i] << ": no match";
        EXPECT_EQ(top->at("plain_peptide"), peptides[i]);
        EXPECT_LT(std::strtod(top->at("e-value").c_str(), nullptr), 0.01) << peptides[i];
        // The searched mass is the Z line's mass less one proton (charge 2).
        EXPECT_NEAR(std::strtod(top->at("exp_neutral_mass").c_str(), nullptr),
                    neutral_mass(peptides[i]), 1e-3)
            << peptides[i];
    }
    // Real files of two instrument generations: Comet takes in every MS2
    // scan that has the 10 peaks its parameters ask for, and searches them
    // without error.
    for (const char* file : {"v66-hybrid-sliced.raw", "v66-newer-2019.raw"}) {
        e2e::Converted c = e2e::convert_in(dir, file, "real");
        ASSERT_EQ(c.status, 0);
        int searchable = 0, loaded = 0;
        for (const auto& [n, scan] : e2e::scans_of(c.ms2))
            searchable += scan.peaks.size() >= 10;
        rows = search(comet, dir, file + std::string(".ms2"), 2000, &loaded);
        EXPECT_EQ(loaded, searchable) << file;
        EXPECT_FALSE(rows.empty()) << file;
    }
}

// The batch workflow converts every raw file of a folder, one kolvex job
// per file. A file that kolvex cannot convert (a real file of version 57)
// fails its job, with kolvex's reason in its log and among Snakemake's
// messages; with --keep-going every other file is converted.
TEST(SnakemakeWorkflow, ConvertsTheFolderAndAFailingFileFailsOnlyItsJob)
{
    KOLVEX_REQUIRE_TOOL(snakemake, "snakemake", "snakemake");
    testrun::TempDir dir;
    const std::string runs = dir.path + "/";
    // Both extensions, a blank in a name; 2 cycles of 1 survey and 4
    // fragmentation scans each.
    const std::pair<const char*, int> files[] = {{"a.raw", 66}, {"b.RAW", 64}, {"c d.raw", 63}};
    for (auto [name, version] : files)
        fixture::write_file(runs + name, fixture::build(fixture::realistic_run(version, 2, 40, 4, 20, 3)));
    fixture::write_file(runs + "notes.txt", {'n', '\n'});
    std::filesystem::copy_file(testrun::shared_data() + "/real/v57-older.RAW", runs + "old.RAW");
    const std::string reason = runs + "old.RAW: file format version 57 is not supported\n";

    auto workflow = [&] {
        return testrun::run({snakemake, "-s", KOLVEX_SOURCE_DIR "/workflow/Snakefile", "--cores", "2",
                             "--directory", dir.path, "--keep-going", "--config", "input=" + runs,
                             std::string("kolvex=") + KOLVEX_BIN}, dir.path);
    };
    testrun::Result r = workflow();
    EXPECT_NE(r.status, 0) << r.out << r.err;
    EXPECT_THAT(r.err, testing::HasSubstr("Error in rule convert"));
    EXPECT_THAT(r.err, testing::HasSubstr(reason));
    // Of 4 conversions and the closing `all`, the 3 good conversions ran.
    EXPECT_THAT(r.err, testing::HasSubstr("\n3 of 5 steps (60%) done\n"));
    for (auto [name, version] : files) {
        std::string in = runs + name;
        std::string log = testrun::read_file(runs + "kolvex-logs/" + name + ".log");
        EXPECT_THAT(log, testing::HasSubstr(e2e::summary(in, 10, 2, 8)));
        std::string both = testrun::read_file(in + ".ms1") + testrun::read_file(in + ".ms2");
        EXPECT_EQ(e2e::scans_of(both).size(), 10u) << name;
    }
    EXPECT_FALSE(std::filesystem::exists(runs + "notes.txt.ms1"));
    // Snakemake removes a failed job's outputs, so that a rerun tries again.
    EXPECT_FALSE(std::filesystem::exists(runs + "old.RAW.ms1") ||
                 std::filesystem::exists(runs + "old.RAW.ms2"));
    EXPECT_THAT(testrun::read_file(runs + "kolvex-logs/old.RAW.log"), testing::HasSubstr(reason));

    // A rerun tries the failing file alone, and fails again.
    testrun::Result retry = workflow();
    EXPECT_NE(retry.status, 0) << retry.out << retry.err;
    EXPECT_THAT(retry.err, testing::HasSubstr(reason));
    // One conversion in Snakemake's plan: the job stats row "convert 1 1 1".
    EXPECT_THAT(retry.out + retry.err, testing::ContainsRegex("\nconvert +1 +1 +1\n"));

    // Without the failing file the rest is up to date.
    ASSERT_EQ(unlink((runs + "old.RAW").c_str()), 0);
    testrun::Result again = workflow();
    EXPECT_EQ(again.status, 0) << again.out << again.err;
    EXPECT_THAT(again.out + again.err, testing::HasSubstr("Nothing to be done"));
}

}  // namespace
