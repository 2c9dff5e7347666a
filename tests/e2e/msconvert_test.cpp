// msconvert_test.cpp -- an independent MS1/MS2 reader (msconvert) keeps
// every scan, peak, precursor m/z and Z-line charge of kolvex's text.
//
// msconvert reads each text file and dumps what it read in its own text
// form (numbers to 12 significant digits); both are compared scan by scan
// at the precision the text prints.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>

#include <gtest/gtest.h>

#include "e2e/consumer.h"
#include "fixture.h"

namespace {

// A spectrum with the values both sides hold.
struct Spectrum {
    int scan = 0, ms_level = 0;
    double precursor = 0;
    std::vector<int> charges;
    std::vector<double> mz, intensity;
};

// What msconvert read, from its dump.
std::vector<Spectrum> read_dump(const std::string& text)
{
    std::vector<Spectrum> spectra;
    std::vector<double>* array = nullptr;  // the one the next "binary:" fills
    for (std::string line : testrun::lines_of(text)) {
        line.erase(0, line.find_first_not_of(' '));
        const char* l = line.c_str();
        int z = 0;
        if (line == "spectrum:")
            spectra.emplace_back();
        if (spectra.empty())
            continue;
        Spectrum& s = spectra.back();
        std::sscanf(l, "id: scan=%d", &s.scan);
        std::sscanf(l, "cvParam: ms level, %d", &s.ms_level);
        std::sscanf(l, "cvParam: selected ion m/z, %lf", &s.precursor);
        if (std::sscanf(l, "cvParam: possible charge state, %d", &z) == 1 ||
            std::sscanf(l, "cvParam: charge state, %d", &z) == 1)
            s.charges.push_back(z);
        if (line.rfind("cvParam: m/z array", 0) == 0)
            array = &s.mz;
        if (line.rfind("cvParam: intensity array", 0) == 0)
            array = &s.intensity;
        if (line.rfind("binary: [", 0) == 0 && array != nullptr) {
            std::istringstream values(line.substr(line.find(']') + 1));
            for (double v; values >> v;)
                array->push_back(v);
        }
    }
    return spectra;
}

// What kolvex wrote, from its text.
std::vector<Spectrum> read_text(const std::string& text, int level)
{
    std::vector<Spectrum> spectra;
    for (const auto& [n, scan] : consumer::scans_of(text)) {
        Spectrum s{n, level, level == 2 ? std::strtod(scan.s.at(3).c_str(), nullptr) : 0, {},
                   std::vector<double>(scan.peaks.size()), std::vector<double>(scan.peaks.size())};
        for (const auto& [z, mass] : scan.z)
            s.charges.push_back(z);
        for (size_t k = 0; k < scan.peaks.size(); k++)
            std::istringstream(scan.peaks[k]) >> s.mz[k] >> s.intensity[k];
        spectra.push_back(s);
    }
    return spectra;
}

// A spectrum at the precision of kolvex's text.
std::string view(const Spectrum& s)
{
    char text[80];
    std::snprintf(text, sizeof text, "scan %d level %d, %zu/%zu peaks", s.scan, s.ms_level,
                  s.mz.size(), s.intensity.size());
    std::string v = text;
    if (s.ms_level == 2) {
        std::snprintf(text, sizeof text, ", precursor %.4f, Z", s.precursor);
        v += text;
    }
    for (int z : s.charges)
        v.append(" ").append(std::to_string(z));
    for (size_t k = 0; k < std::min(s.mz.size(), s.intensity.size()); k++) {
        std::snprintf(text, sizeof text, "\n%.4f %.1f", s.mz[k], s.intensity[k]);
        v += text;
    }
    return v;
}

// Compares one text file with what msconvert read of it; returns the
// number of scans.
size_t compare(const std::string& label, const std::string& text, const std::string& dump,
               int level)
{
    std::vector<Spectrum> wrote = read_text(text, level), got = read_dump(dump);
    EXPECT_EQ(got.size(), wrote.size()) << label << ": spectra read, scans written";
    for (size_t i = 0, bad = 0; i < std::min(got.size(), wrote.size()); i++)
        if (view(got[i]) != view(wrote[i]) && bad++ < 3)
            ADD_FAILURE() << label << ": kolvex wrote\n"
                          << view(wrote[i]) << "\nmsconvert read\n" << view(got[i]);
    return wrote.size();
}

// Number texts without a digit before the point (".5000", ".7") or with a
// truncated last digit, and a fragmentation scan without peaks.
fixture::File edge_number_run()
{
    fixture::File f;
    fixture::Scan survey, frag, empty;
    survey.extras = true;
    survey.peaks = {{0.5f, 0.75f, 2 * 256, 0.4f},
                    {100.05f, 0.0f, 0, 12.0f},
                    {445.12f, 1234.56f, 3 * 256, 900.0f},
                    {1999.9999f, 5.0f, 0, 1.0f}};
    frag.survey = empty.survey = false;
    frag.precursor_mz = 445.12;
    frag.charge_state = 3;
    frag.peaks = {{1.05f, 0.75f, 0, 0}, {1.0079f, 80.0f, 0, 0}, {350.0001f, 0.0f, 0, 0}};
    empty.trailing = 100;  // a packet long enough to be converted
    f.scans = {survey, frag, empty};
    return f;
}

class MsconvertReads : public testing::TestWithParam<const char*> {};

TEST_P(MsconvertReads, EveryScanPeakPrecursorAndCharge)
{
    KOLVEX_REQUIRE_TOOL(msconvert, "msconvert", "libpwiz-tools");
    const std::string input = GetParam();
    testrun::TempDir dir;
    consumer::Converted c;
    if (input.rfind("fixture", 0) != 0) {
        c = consumer::convert(dir, input, "real");
    } else {
        // Three cycles of a survey scan and six fragmentation scans.
        fixture::File f = input == "fixture_edge_numbers"
                              ? edge_number_run()
                              : fixture::realistic_run(std::atoi(&input[9]), 3, 120, 6, 50, 11);
        ASSERT_TRUE(fixture::write_file(dir.file(input), fixture::build(f)));
        c = consumer::convert(dir, input);
    }
    ASSERT_EQ(c.r.status, 0) << c.r.err;
    size_t scans = 0;
    for (int level : {1, 2}) {
        std::string ms = "ms" + std::to_string(level);
        testrun::Result m = testrun::run(
            {msconvert, input + "." + ms, "--text", "-o", dir.path, "--outfile", ms}, dir.path);
        ASSERT_EQ(m.status, 0) << m.out << m.err;
        scans += compare(input + "." + ms, level == 1 ? c.ms1 : c.ms2,
                         testrun::read_file(dir.file(ms + ".txt")), level);
    }
    EXPECT_GT(scans, 0u);
}

// Every version's fixture run, the awkward numbers, every real file that
// converts.
INSTANTIATE_TEST_SUITE_P(Outputs, MsconvertReads,
                         testing::Values("fixture_v62", "fixture_v63", "fixture_v64",
                                         "fixture_v66", "fixture_edge_numbers",
                                         "v62-hybrid-2007.RAW", "v63-hybrid-2010.raw",
                                         "v63-iontrap-2010.RAW", "v64-iontrap-2009.raw",
                                         "v64-hybrid-2011.raw", "v66-hybrid-sliced.raw",
                                         "v66-newer-2019.raw"),
                         [](const testing::TestParamInfo<const char*>& i) {
                             std::string name = i.param;
                             std::replace_if(name.begin(), name.end(), ispunct, '_');
                             return name;
                         });

}  // namespace
