// msconvert_test.cpp -- an independent MS1/MS2 reader (msconvert) keeps
// every scan, peak, precursor m/z and Z-line charge of kolvex's text.
//
// kolvex converts a raw file; msconvert turns each text file into mzML with
// uncompressed 64-bit arrays; the mzML is decoded here and compared with
// the text, scan by scan, to the precision the text prints.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "e2e/consumer.h"
#include "fixture.h"
#include "support/run.h"

namespace {

static_assert(std::endian::native == std::endian::little,
              "mzML arrays are little-endian; decoding copies them as they are");

// ---- kolvex's text, as printed ----

struct ZLine {
    int charge = 0;
    double mass = 0;  // singly protonated mass, four decimals
};

struct TextScan {
    int number = 0;
    bool has_precursor = false;  // MS2 S lines carry one
    double precursor = 0;
    std::vector<ZLine> z;
    std::vector<std::pair<double, double>> peaks;  // m/z, intensity
};

std::vector<std::string> split(const std::string& s, char sep)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = s.find(sep, start);
        parts.push_back(s.substr(start, end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

std::vector<TextScan> parse_text(const std::string& text)
{
    std::vector<TextScan> scans;
    for (const std::string& line : split(text, '\n')) {
        if (line.empty() || line[0] == 'H' || line[0] == 'I')
            continue;
        if (line[0] == 'S') {
            std::vector<std::string> f = split(line, '\t');
            TextScan s;
            s.number = std::atoi(f.at(1).c_str());
            if (f.size() > 3) {
                s.has_precursor = true;
                s.precursor = std::strtod(f[3].c_str(), nullptr);
            }
            scans.push_back(s);
        } else if (line[0] == 'Z') {
            std::vector<std::string> f = split(line, '\t');
            scans.back().z.push_back(
                {std::atoi(f.at(1).c_str()), std::strtod(f.at(2).c_str(), nullptr)});
        } else {
            std::vector<std::string> f = split(line, ' ');
            scans.back().peaks.emplace_back(std::strtod(f.at(0).c_str(), nullptr),
                                            std::strtod(f.at(1).c_str(), nullptr));
        }
    }
    return scans;
}

// ---- msconvert's mzML ----

struct MzSpectrum {
    std::string id;
    int ms_level = 0;
    bool has_selected = false;
    double selected_mz = 0;
    std::vector<int> charges;                     // charge state cvParams
    std::vector<std::pair<int, double>> ms2_z;    // "ms2 file charge state": z, m/z
    std::vector<double> mz, intensity;
    std::string problem;                          // an array it could not decode
};

// Value of attribute name in the tag that starts at tag.
std::string attr(const std::string& tag, const std::string& name)
{
    std::string key = " " + name + "=\"";
    size_t at = tag.find(key);
    if (at == std::string::npos)
        return "";
    at += key.size();
    return tag.substr(at, tag.find('"', at) - at);
}

std::vector<uint8_t> base64(const std::string& text)
{
    static const std::string alphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::vector<uint8_t> out;
    uint32_t bits = 0;
    int held = 0;
    for (char c : text) {
        if (c == '=')
            break;
        size_t v = alphabet.find(c);
        if (v == std::string::npos)
            continue;  // line breaks and blanks
        bits = (bits << 6) | static_cast<uint32_t>(v);
        held += 6;
        if (held >= 8) {
            held -= 8;
            out.push_back(static_cast<uint8_t>(bits >> held));
        }
    }
    return out;
}

// Every tag of the given element name in text, from "<name " to ">".
std::vector<std::string> tags(const std::string& text, const std::string& name)
{
    std::vector<std::string> found;
    std::string open = "<" + name + " ";
    for (size_t at = text.find(open); at != std::string::npos;
         at = text.find(open, at + 1))
        found.push_back(text.substr(at, text.find('>', at) - at + 1));
    return found;
}

void decode_array(const std::string& block, MzSpectrum& s)
{
    bool is_mz = block.find("MS:1000514") != std::string::npos;
    bool is_int = block.find("MS:1000515") != std::string::npos;
    if (block.find("MS:1000523") == std::string::npos)
        s.problem = "an array that is not 64-bit float";
    if (block.find("MS:1000576") == std::string::npos)
        s.problem = "a compressed array";
    size_t b = block.find("<binary>");
    size_t e = block.find("</binary>");
    std::string payload = (b == std::string::npos || e == std::string::npos)
                              ? ""
                              : block.substr(b + 8, e - b - 8);
    std::vector<uint8_t> bytes = base64(payload);
    if (bytes.size() % 8 != 0)
        s.problem = "an array of " + std::to_string(bytes.size()) + " bytes";
    std::vector<double> values(bytes.size() / 8);
    if (!values.empty())
        std::memcpy(values.data(), bytes.data(), values.size() * 8);
    if (is_mz)
        s.mz = values;
    else if (is_int)
        s.intensity = values;
}

std::vector<MzSpectrum> parse_mzml(const std::string& xml)
{
    std::vector<MzSpectrum> spectra;
    for (size_t at = xml.find("<spectrum "); at != std::string::npos;
         at = xml.find("<spectrum ", at + 1)) {
        size_t end = xml.find("</spectrum>", at);
        std::string chunk = xml.substr(at, end - at);
        MzSpectrum s;
        s.id = attr(chunk.substr(0, chunk.find('>')), "id");
        for (const std::string& p : tags(chunk, "cvParam")) {
            std::string acc = attr(p, "accession");
            std::string value = attr(p, "value");
            if (acc == "MS:1000511")
                s.ms_level = std::atoi(value.c_str());
            else if (acc == "MS:1000744") {
                s.has_selected = true;
                s.selected_mz = std::strtod(value.c_str(), nullptr);
            } else if (acc == "MS:1000041" || acc == "MS:1000633")
                s.charges.push_back(std::atoi(value.c_str()));
        }
        for (const std::string& p : tags(chunk, "userParam")) {
            if (attr(p, "name") != "ms2 file charge state")
                continue;
            std::vector<std::string> f = split(attr(p, "value"), ' ');
            s.ms2_z.emplace_back(std::atoi(f.at(0).c_str()),
                                 f.size() > 1 ? std::strtod(f[1].c_str(), nullptr) : 0.0);
        }
        for (size_t b = chunk.find("<binaryDataArray "); b != std::string::npos;
             b = chunk.find("<binaryDataArray ", b + 1))
            decode_array(chunk.substr(b, chunk.find("</binaryDataArray>", b) - b), s);
        spectra.push_back(std::move(s));
    }
    return spectra;
}

// ---- the comparison ----

constexpr double mz_unit = 1e-4;         // peak m/z and Z masses: four decimals
constexpr double intensity_unit = 1e-1;  // peak intensity: one decimal
constexpr double slack = 1e-9;           // binary noise around a half unit

// Compares the scans of one text file with the spectra of its mzML.
void compare(const std::string& label, const std::vector<TextScan>& text,
             const std::vector<MzSpectrum>& mz, int ms_level)
{
    ASSERT_EQ(mz.size(), text.size()) << label << ": scans in mzML vs S lines";
    int reported = 0;  // mismatches shown; the rest only counted
    int mismatches = 0;
    auto miss = [&](const std::string& what) {
        mismatches++;
        if (reported++ < 10)
            ADD_FAILURE() << label << ": " << what;
    };
    for (size_t i = 0; i < text.size(); i++) {
        const TextScan& t = text[i];
        const MzSpectrum& m = mz[i];
        std::string scan = "scan " + std::to_string(t.number);
        if (m.id != "scan=" + std::to_string(t.number))
            miss(scan + ": mzML id " + m.id);
        if (m.ms_level != ms_level)
            miss(scan + ": ms level " + std::to_string(m.ms_level));
        if (!m.problem.empty())
            miss(scan + ": " + m.problem);
        if (m.mz.size() != t.peaks.size() || m.intensity.size() != t.peaks.size()) {
            miss(scan + ": " + std::to_string(t.peaks.size()) + " peaks in the text, " +
                 std::to_string(m.mz.size()) + " m/z and " +
                 std::to_string(m.intensity.size()) + " intensities in mzML");
            continue;
        }
        for (size_t k = 0; k < t.peaks.size(); k++) {
            if (std::fabs(m.mz[k] - t.peaks[k].first) > mz_unit / 2 + slack ||
                std::fabs(m.intensity[k] - t.peaks[k].second) > intensity_unit / 2 + slack)
                miss(scan + " peak " + std::to_string(k) + ": text " +
                     std::to_string(t.peaks[k].first) + " " +
                     std::to_string(t.peaks[k].second) + ", mzML " +
                     std::to_string(m.mz[k]) + " " + std::to_string(m.intensity[k]));
        }
        if (ms_level == 1)
            continue;

        if (!m.has_selected ||
            std::fabs(m.selected_mz - t.precursor) > mz_unit / 2 + slack)
            miss(scan + ": precursor " + std::to_string(t.precursor) +
                 ", mzML selected ion " +
                 (m.has_selected ? std::to_string(m.selected_mz) : "none"));
        std::vector<int> z_charges;
        for (const ZLine& z : t.z)
            z_charges.push_back(z.charge);
        if (m.charges != z_charges)
            miss(scan + ": the Z-line charges are not the mzML charge states");
        if (m.ms2_z.size() != t.z.size()) {
            miss(scan + ": " + std::to_string(t.z.size()) + " Z lines, " +
                 std::to_string(m.ms2_z.size()) + " kept by msconvert");
            continue;
        }
        // msconvert keeps each Z line as its charge and the m/z of that
        // mass at that charge, printed to four decimals.
        for (size_t k = 0; k < t.z.size(); k++) {
            int z = m.ms2_z[k].first;
            double mh = m.ms2_z[k].second * z - (z - 1) * 1.007276;
            double tol = mz_unit / 2 * (std::abs(z) + 1) + slack;
            if (z != t.z[k].charge || std::fabs(mh - t.z[k].mass) > tol)
                miss(scan + " Z line " + std::to_string(k) + ": text " +
                     std::to_string(t.z[k].charge) + " " + std::to_string(t.z[k].mass) +
                     ", mzML " + std::to_string(z) + " " + std::to_string(mh));
        }
    }
    EXPECT_EQ(mismatches, 0) << label;
}

// ---- the inputs ----

struct Case {
    const char* name;
    int version;            // fixture version; 0 for a real file
    const char* real_file;  // under shared/data/real
    bool edge_numbers;      // the hand-made run of awkward number texts
    size_t ms1_scans, ms2_scans;
};

// Values whose text has no digit before the point, or a truncated last
// digit: msconvert must read ".5000" and ".7" as numbers.
fixture::File edge_number_run()
{
    fixture::File f;
    f.version = 66;
    fixture::Scan survey;
    survey.survey = true;
    survey.extras = true;
    survey.start_time = 0.5;
    survey.peaks = {{0.5f, 0.75f, 2 * 256, 0.4f},
                    {100.05f, 0.0f, 0, 12.0f},
                    {445.12f, 1234.56f, 3 * 256, 900.0f},
                    {1999.9999f, 5.0f, 0, 1.0f}};
    fixture::Scan frag;
    frag.survey = false;
    frag.start_time = 0.6;
    frag.precursor_mz = 445.12;
    frag.charge_state = 3;
    frag.peaks = {{1.05f, 0.75f, 0, 0}, {1.0079f, 80.0f, 0, 0}, {350.0001f, 0.0f, 0, 0}};
    fixture::Scan empty = frag;  // a fragmentation scan without peaks; its
    empty.peaks.clear();         // packet is long enough to be converted
    empty.trailing = 100;
    empty.start_time = 0.7;
    f.scans = {survey, frag, empty};
    return f;
}

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class MsconvertReads : public testing::TestWithParam<Case> {};

TEST_P(MsconvertReads, EveryScanPeakPrecursorAndCharge)
{
    KOLVEX_REQUIRE_TOOL(msconvert, "msconvert", "libpwiz-tools");
    const Case& c = GetParam();
    testrun::TempDir dir;
    std::string input;
    if (c.real_file) {
        input = c.real_file;
        std::string src = testrun::shared_data() + "/real/" + input;
        ASSERT_TRUE(testrun::file_exists(src)) << src;
        ASSERT_EQ(testrun::run({"/bin/cp", src, dir.file(input)}, dir.path).status, 0);
    } else {
        input = std::string(c.name) + ".raw";
        fixture::File f = c.edge_numbers
                              ? edge_number_run()
                              : fixture::realistic_run(c.version, 3, 120, 6, 50, 11);
        ASSERT_TRUE(fixture::write_file(dir.file(input), fixture::build(f)));
    }
    testrun::Result k = testrun::kolvex(dir.path, {input});
    ASSERT_EQ(k.status, 0) << k.err;

    struct Side {
        const char* ext;
        int ms_level;
        size_t expected;
    };
    for (const Side& side : {Side{".ms1", 1, c.ms1_scans}, Side{".ms2", 2, c.ms2_scans}}) {
        std::string text_name = input + side.ext;
        std::string mzml_name = text_name + ".mzML";
        testrun::Result m = testrun::run(
            {msconvert, text_name, "--mzML", "--64", "-o", dir.path, "--outfile", mzml_name},
            dir.path);
        ASSERT_EQ(m.status, 0) << "msconvert " << text_name << ":\n" << m.out << m.err;
        std::vector<TextScan> text = parse_text(testrun::read_file(dir.file(text_name)));
        ASSERT_EQ(text.size(), side.expected) << text_name;
        std::vector<MzSpectrum> mz = parse_mzml(testrun::read_file(dir.file(mzml_name)));
        compare(text_name, text, mz, side.ms_level);
    }
}

// Fixture counts: 3 cycles of one survey scan and 6 fragmentation scans.
// Real files: the scan counts their conversion is known to give.
const Case cases[] = {
    {"fixture_v62", 62, nullptr, false, 3, 18},
    {"fixture_v63", 63, nullptr, false, 3, 18},
    {"fixture_v64", 64, nullptr, false, 3, 18},
    {"fixture_v66", 66, nullptr, false, 3, 18},
    {"edge_numbers", 66, nullptr, true, 1, 2},
    {"v62_hybrid_2007", 0, "v62-hybrid-2007.RAW", false, 26, 77},
    {"v63_hybrid_2010", 0, "v63-hybrid-2010.raw", false, 10, 0},
    {"v63_iontrap_2010", 0, "v63-iontrap-2010.RAW", false, 264, 528},
    {"v64_iontrap_2009", 0, "v64-iontrap-2009.raw", false, 15, 84},
    {"v64_hybrid_2011", 0, "v64-hybrid-2011.raw", false, 0, 55},
    {"v66_hybrid_sliced", 0, "v66-hybrid-sliced.raw", false, 10, 90},
    {"v66_newer_2019", 0, "v66-newer-2019.raw", false, 0, 101},
};

INSTANTIATE_TEST_SUITE_P(Outputs, MsconvertReads, testing::ValuesIn(cases),
                         [](const testing::TestParamInfo<Case>& i) {
                             return std::string(i.param.name);
                         });

}  // namespace
