// check.h -- run the real binary in a scratch folder, convert raw files
// with it and read the text back, and the scans the end-to-end tests build
// their files from.
#pragma once

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "fixture.h"

namespace testrun {

// A fresh empty folder under the system's temporary folder, removed with
// what it holds by the destructor.
struct TempDir {
    std::string path;
    TempDir()
    {
        const char* base = std::getenv("TMPDIR");
        path = std::string(base && *base ? base : "/tmp") + "/kolvex-test-XXXXXX";
        if (!mkdtemp(path.data()))
            std::abort();
    }
    ~TempDir()
    {
        std::error_code ignored;  // a leftover scratch folder harms no test
        std::filesystem::remove_all(path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string file(const std::string& name) const { return path + "/" + name; }
};

// A run's exit status (128 + the signal that ended it), standard output
// and standard error.
struct Result { int status = -1; std::string out, err; };

inline std::string read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
}

// The lines of text, without their line feeds.
inline std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Runs the program with args (args[0] is the program path) in folder cwd.
// shell_prefix, when set, is run by /bin/sh before exec (e.g. "ulimit -f 8;
// trap '' XFSZ;").
inline Result run(const std::vector<std::string>& args, const std::string& cwd,
                  const std::string& shell_prefix = "")
{
    auto quoted = [](const std::string& s) {  // a space, then s in single quotes
        std::string q = " '";
        for (char c : s)
            q += c == '\'' ? std::string("'\\''") : std::string(1, c);
        return q + "'";
    };
    TempDir io;
    // exec: the status is the program's own, or its signal.
    std::string cmd = "cd" + quoted(cwd) + " || exit 127; " + shell_prefix + " exec";
    for (const std::string& a : args)
        cmd += quoted(a);
    cmd += " </dev/null >" + quoted(io.file("out")) + " 2>" + quoted(io.file("err"));
    int st = std::system(cmd.c_str());
    return {WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st), read_file(io.file("out")),
            read_file(io.file("err"))};
}

// Runs the kolvex binary with args in folder cwd.
inline Result kolvex(const std::string& cwd, std::vector<std::string> args)
{
    args.insert(args.begin(), KOLVEX_BIN);
    return run(args, cwd);
}

// The folder of real raw files (../shared/data from the repository root).
inline std::string shared_data() { return KOLVEX_SHARED_DATA; }

}  // namespace testrun

namespace e2e {

using Bytes = std::vector<uint8_t>;

// A conversion's run as Result, both outputs' text, and the files the run
// left besides its input and outputs.
struct Converted { int status = -1; std::string out, err, ms1, ms2; std::vector<std::string> others; };

// Converts name in folder dir, where its outputs land, behind the shell
// prefix when one is given. With from set, name is first copied there from
// that folder of the shared data, which is read-only.
inline Converted convert_in(const testrun::TempDir& dir, const std::string& name,
                            const std::string& from = "", const std::string& prefix = "")
{
    if (!from.empty())
        std::filesystem::copy_file(testrun::shared_data() + "/" + from + "/" + name,
                                   dir.file(name));
    testrun::Result r = testrun::run({KOLVEX_BIN, name}, dir.path, prefix);
    Converted c{r.status, r.out, r.err, testrun::read_file(dir.file(name + ".ms1")),
                testrun::read_file(dir.file(name + ".ms2")), {}};
    for (const auto& e : std::filesystem::directory_iterator(dir.path)) {
        std::string file = e.path().filename().string();
        if (file != name && file != name + ".ms1" && file != name + ".ms2")
            c.others.push_back(file);
    }
    return c;
}

// Writes bytes as in.raw in a fresh folder and converts them.
inline Converted convert(const Bytes& bytes, const std::string& prefix = "")
{
    testrun::TempDir dir;
    fixture::write_file(dir.file("in.raw"), bytes);
    return convert_in(dir, "in.raw", "", prefix);
}

// The completion line kolvex ends its standard output with, for input,
// its seconds written T.
inline std::string done(const std::string& input) { return "\n" + input + " completed, time spent T s"; }

// Standard output with the completion line's seconds written T.
inline std::string seconds_as_t(const std::string& out)
{
    static const std::regex seconds("time spent [0-9]+\\.[0-9]{4} s$");
    return std::regex_replace(out, seconds, "time spent T s");
}

// The summary line that ends standard error of a conversion of n index
// entries; why: the reason given for rejected scans.
inline std::string summary(const std::string& input, int n, int ms1, int ms2, const std::string& why = "")
{
    return input + ": " + std::to_string(n) + " scans in the index, " + std::to_string(ms1) + " written to " +
           input + ".ms1, " + std::to_string(ms2) + " written to " + input + ".ms2, " +
           std::to_string(n - ms1 - ms2) + " rejected" + why + "\n";
}

// 64-bit FNV-1a: small enough to write into a table row.
inline uint64_t digest(const std::string& text)
{
    uint64_t h = 14695981039346656037ull;
    for (unsigned char c : text)
        h = (h ^ c) * 1099511628211ull;
    return h;
}

inline size_t count_of(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

// The text between the first open and the close that follows it, or "".
inline std::string between(const std::string& text, const std::string& open,
                           const std::string& close)
{
    size_t a = text.find(open);
    size_t b = a == std::string::npos ? a : text.find(close, a + open.size());
    return b == std::string::npos ? "" : text.substr(a + open.size(), b - a - open.size());
}

inline std::vector<std::string> fields(const std::string& line, char sep)
{
    std::vector<std::string> out;
    for (size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
        end = line.find(sep, start);
        out.push_back(line.substr(start, end - start));
    }
    return out;
}

// The rows of tab-separated text whose column names are on line head
// (earlier lines skipped): column name -> field.
inline std::vector<std::map<std::string, std::string>> table(const std::string& text,
                                                             size_t head = 0)
{
    std::vector<std::string> lines = testrun::lines_of(text);
    std::vector<std::map<std::string, std::string>> rows;
    for (size_t i = head + 1; i < lines.size(); i++) {
        std::vector<std::string> names = fields(lines[head], '\t'), f = fields(lines[i], '\t');
        rows.emplace_back();
        for (size_t k = 0; k < f.size() && k < names.size(); k++)
            rows.back()[names[k]] = f[k];
    }
    return rows;
}

// One scan of an MS1 or MS2 file as written.
struct ScanText {
    std::vector<std::string> s;               // fields of the S line
    std::map<std::string, std::string> info;  // I lines: name -> value
    std::vector<std::pair<int, double>> z;    // Z lines: charge, mass
    std::vector<std::string> peaks;           // peak lines
};

// The scans of a file, or of an MS1 and an MS2 file one after the other,
// by scan number.
inline std::map<int, ScanText> scans_of(const std::string& text)
{
    std::map<int, ScanText> scans;
    ScanText* cur = nullptr;
    for (const std::string& line : testrun::lines_of(text)) {
        std::vector<std::string> f = fields(line, '\t');
        if (f[0] == "S")
            (cur = &scans[std::atoi(f.at(1).c_str())])->s = f;
        else if (cur != nullptr && f[0] == "I")
            cur->info[f.at(1)] = f.at(2);
        else if (cur != nullptr && f[0] == "Z")
            cur->z.emplace_back(std::atoi(f.at(1).c_str()), std::strtod(f.at(2).c_str(), nullptr));
        else if (cur != nullptr && f[0] != "H")  // H: the next file's header
            cur->peaks.push_back(line);
    }
    return scans;
}

// Eight survey peaks at m/z 100..800 with charges and values; `flat`
// gives them one intensity, so that the refinement keeps the peak found.
inline fixture::Scan survey(double t, bool flat = false)
{
    const float intensity[8] = {10, 20, 30, 25, 15, 5, 1, 2};
    const int16_t charge[8] = {0, 2, 3, 4, 0, 5, 0, 0};
    fixture::Scan s;
    s.start_time = t;
    s.injection_time = 2.5f;
    s.extras = true;
    for (int i = 0; i < 8; i++)
        s.peaks.push_back({100.0f * static_cast<float>(i + 1), flat ? 10 : intensity[i],
                           static_cast<int16_t>(charge[i] * 256), 7.0f});
    return s;
}

inline fixture::Scan frag(double p, uint8_t analyzer = 0, int16_t zt = 0, double t = 0.2)
{
    fixture::Scan s;
    s.survey = false;
    s.peaks = {{150.5f, 12.0f}, {151.0625f, 13.0f}};
    s.analyzer = analyzer;
    s.precursor_mz = p;
    s.start_time = t;
    s.low_mass = 95.5;
    s.high_mass = 1999.996;
    s.injection_time = 40.0f;
    s.charge_state = zt;
    return s;
}

// The scan with a packet whose header counts n peaks and whose entry says
// s bytes; it keeps its peaks only when it has n of them.
inline fixture::Scan sized(fixture::Scan x, int32_t n, int32_t s)
{
    if (static_cast<size_t>(n) != x.peaks.size())
        x.peaks.clear();
    x.extras = false;
    x.peak_count = n;
    x.data_size = s;
    return x;
}

inline fixture::File run_of(int32_t v, std::vector<fixture::Scan> scans)
{
    fixture::File f;
    f.version = v;
    f.scans = std::move(scans);
    return f;
}

// A run as newer instruments write it: event records by their own counts,
// index words that are not the level, trailers by a field table with the
// monoisotopic m/z. Scans: 1 survey (word 65535); 2 a zoom survey without
// peaks; 3 MS2 of 300 (word 0), monoisotopic one isotope step below; 4
// MS3 of 300 then 150.5; 5 rejected; 6 MS2 of 700.01, monoisotopic equal;
// 7 MS2 of 430, which no survey peak matches, monoisotopic NaN.
inline fixture::File counted_run(int32_t v)
{
    fixture::Scan zoom = sized(survey(0.15), 0, 150), ms2 = frag(300, 4, 2, 0.2);
    fixture::Scan ms3 = frag(150.5, 0, 0, 0.25), other = frag(700.01, 4, 2, 0.3), miss = frag(430);
    zoom.low_mass = 450, zoom.high_mass = 460;
    fixture::File f = run_of(v, {survey(0.1), zoom, ms2, ms3, sized(frag(612, 3), 2, 10), other, miss});
    f.scans[0].scan_event_word = 65535;
    f.scans[2].survey = true, f.scans[2].ms_level = 2;  // word 0
    f.scans[2].mono_mz = 300 - 1.00335 / 2;
    f.scans[3].ms_level = 3;
    f.scans[3].reactions = {300, 150.5};
    f.scans[5].mono_mz = 700.01;
    f.scans[6].mono_mz = std::nan("");
    f.counted_events = true;
    f.trailer_table = fixture::realistic_trailer_table();
    return f;
}

}  // namespace e2e
