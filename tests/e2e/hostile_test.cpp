// hostile_test.cpp -- raw files with one field broken, and inputs that are
// no raw file at all: the converter ends in bounded time and memory, with
// the exit status and outputs the rules give and no sanitizer report.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>

#include "fixture.h"
#include "support/run.h"

namespace {

namespace fs = std::filesystem;
using testrun::TempDir;
using Bytes = std::vector<uint8_t>;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool sanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool sanitized = true;
#else
constexpr bool sanitized = false;
#endif
#else
constexpr bool sanitized = false;
#endif

// CPU seconds always; address space only without the sanitizers, whose
// shadow memory reserves terabytes of it.
std::string limits()
{
    std::string p = "ulimit -t 60;";
    if (!sanitized)
        p += " ulimit -v 4000000;";
    return p;
}

// Scan number -> number of peak lines, for one output file.
using ScanPeaks = std::map<int32_t, int32_t>;

struct Expected {
    ScanPeaks ms1, ms2;
};

// Every line of an output is a header, scan, info, charge or peak line,
// and the file ends with a line feed. Returns the scans with their peak
// line counts.
::testing::AssertionResult parse(const std::string& text, ScanPeaks& scans)
{
    scans.clear();
    if (!text.empty() && text.back() != '\n')
        return ::testing::AssertionFailure() << "no final line feed";
    std::istringstream in(text);
    std::string line;
    int32_t current = -1;
    while (std::getline(in, line)) {
        if (line.rfind("S\t", 0) == 0) {
            current = std::stoi(line.substr(2, line.find('\t', 2) - 2));
            if (scans.count(current))
                return ::testing::AssertionFailure() << "scan twice: " << line;
            scans[current] = 0;
        } else if (line.rfind("H\t", 0) == 0 || line.rfind("I\t", 0) == 0 ||
                   line.rfind("Z\t", 0) == 0) {
            continue;
        } else if (!line.empty() &&
                   line.find_first_not_of("0123456789.- naif") ==
                       std::string::npos &&
                   current >= 0) {
            scans[current]++;
        } else {
            return ::testing::AssertionFailure() << "odd line [" << line << "]";
        }
    }
    return ::testing::AssertionSuccess();
}

// Scan numbers and peak counts the fixture's own scan list gives, each
// scan converted: survey scans go to MS1, the others to MS2.
Expected from_fixture(const fixture::File& f)
{
    Expected e;
    for (size_t k = 0; k < f.scans.size(); k++) {
        const fixture::Scan& s = f.scans[k];
        (s.survey ? e.ms1 : e.ms2)[static_cast<int32_t>(k) + 1] =
            static_cast<int32_t>(s.peaks.size());
    }
    return e;
}

// Where the converter reads each run-header value, per version family.
struct Places {
    int32_t data_start, data_end, p;  // in the run header
    int32_t count, index_start;       // in the index block
    int32_t pp_start, pr_start;       // stream offsets
};

Places places(int32_t version, const fixture::Layout& l)
{
    if (version == 62 || version == 63)
        return {l.anchor + 42, l.anchor + 62, l.anchor + 74,  l.p + 12,
                l.p + 28,      l.data_end + 7368, l.data_end + 7372};
    return {l.anchor + 826, l.anchor + 842, l.anchor + 858, l.p + 12,
            l.p + 7408,     l.p + 7448,     l.p + 7456};
}

void put32(Bytes& b, int64_t at, int32_t v)
{
    std::memcpy(b.data() + at, &v, 4);
}

// Byte offset of entry k's packet offset in the stored index.
int64_t packet_offset_at(int32_t version, const fixture::Layout& l, int32_t k)
{
    int32_t width = version == 66 ? 88 : version == 64 ? 80 : 72;
    int32_t field = (version == 62 || version == 63) ? 0 : 72;
    return int64_t{l.index_start} + int64_t{k} * width + field;
}

int64_t data_size_at(int32_t version, const fixture::Layout& l, int32_t k)
{
    int32_t width = version == 66 ? 88 : version == 64 ? 80 : 72;
    return int64_t{l.index_start} + int64_t{k} * width + 20;
}

// The first packet's peak count, with a data_size that makes
// 8 x n = data_size - 44 in 32-bit arithmetic, so that every version
// converts the scan and the count alone decides its peaks.
void set_first_peak_count(Bytes& b, int32_t version, const fixture::Layout& l,
                          int32_t n)
{
    put32(b, l.packet_pos[0] + 40, n);
    uint32_t s = 44u + 8u * static_cast<uint32_t>(n);
    put32(b, data_size_at(version, l, 0), static_cast<int32_t>(s));
}

enum class Outcome {
    converted,    // exit 0; scans as `scans` gives them
    well_formed,  // exit 0; whatever the scans, every line well formed
    no_header,    // exit 0, empty outputs, "no run header found"
    no_scans,     // exit 0, empty outputs, "the scan index holds no scans"
};

struct Case {
    const char* name;
    std::vector<int32_t> versions;
    // Breaks one field of the clean file b.
    std::function<void(Bytes& b, int32_t v, const fixture::Layout& l,
                       const Places& at)>
        breaker;
    Outcome outcome;
    // For `converted`: the scans, changed from the clean file's.
    std::function<void(Expected& e, int32_t v, const fixture::Layout& l)> scans =
        nullptr;
    // Text that standard error and the MS2 file must hold, when set.
    const char* err_has = nullptr;
    const char* ms2_has = nullptr;
};

const std::vector<int32_t> all_versions = {62, 63, 64, 66};

// Two cycles of a survey scan (24 peaks) and three fragmentation scans
// (6 peaks): scans 1 and 5 go to MS1, the others to MS2.
fixture::File clean_run(int32_t version)
{
    return fixture::realistic_run(version, 2, 24, 3, 6, 11);
}

const std::vector<Case>& cases()
{
    auto same = [](Expected&, int32_t, const fixture::Layout&) {};
    auto first_empty = [](Expected& e, int32_t, const fixture::Layout&) {
        e.ms1[1] = 0;
    };
    static const std::vector<Case> all = {
        {"every run-header pointer past the end", all_versions,
         [](Bytes& b, int32_t, const fixture::Layout& l, const Places& at) {
             put32(b, at.data_start, l.filesize + 1000);
             put32(b, at.data_end, l.filesize + 2000);
             put32(b, at.p, l.filesize + 3000);
         },
         Outcome::no_header},
        {"data stream base past the end", all_versions,
         [](Bytes& b, int32_t, const fixture::Layout& l, const Places& at) {
             put32(b, at.data_start, l.filesize);
         },
         Outcome::no_header},
        {"data stream base negative", all_versions,
         [](Bytes& b, int32_t, const fixture::Layout&, const Places& at) {
             put32(b, at.data_start, -8);
         },
         Outcome::no_header},
        {"data stream base 0x7fffffff", all_versions,
         [](Bytes& b, int32_t, const fixture::Layout&, const Places& at) {
             put32(b, at.data_start, 0x7fffffff);
         },
         Outcome::no_header},
        {"first header pointer past the end", all_versions,
         [](Bytes& b, int32_t, const fixture::Layout& l, const Places& at) {
             put32(b, at.data_end, l.filesize + 5);
         },
         Outcome::converted, same},
        {"second header pointer past the end", all_versions,
         [](Bytes& b, int32_t, const fixture::Layout& l, const Places& at) {
             put32(b, at.p, l.filesize + 5);
         },
         Outcome::no_scans},
        {"second header pointer negative", all_versions,
         [](Bytes& b, int32_t, const fixture::Layout&, const Places& at) {
             put32(b, at.p, -0x7fffffff);
         },
         Outcome::no_scans},
        {"index offset past the end", all_versions,
         [](Bytes& b, int32_t, const fixture::Layout& l, const Places& at) {
             put32(b, at.index_start, l.filesize + 88);
         },
         Outcome::no_header},
        {"index offset negative", all_versions,
         [](Bytes& b, int32_t, const fixture::Layout&, const Places& at) {
             put32(b, at.index_start, -1);
         },
         Outcome::no_header},
        {"index offset 0x7fffffff", all_versions,
         [](Bytes& b, int32_t, const fixture::Layout&, const Places& at) {
             put32(b, at.index_start, 0x7fffffff);
         },
         Outcome::no_header},
        {"index that runs past the end of the file", all_versions,
         [](Bytes& b, int32_t, const fixture::Layout& l, const Places& at) {
             put32(b, at.index_start, l.filesize - 100);
         },
         Outcome::well_formed},
        {"file cut inside the index", all_versions,
         [](Bytes& b, int32_t v, const fixture::Layout& l, const Places&) {
             // Entries 0 and 1 whole, entry 2 cut, the streams gone.
             b.resize(static_cast<size_t>(packet_offset_at(v, l, 2) + 30));
         },
         Outcome::well_formed},
        // The count is clamped to the table; v64 would convert each of the
        // 99,999 entries (100 MB of text), which the count-negative and
        // cut-index rows already exercise for that version.
        {"scan count 0x7fffffff", {62, 63, 66},
         [](Bytes& b, int32_t, const fixture::Layout&, const Places& at) {
             put32(b, at.count, 0x7fffffff);
         },
         Outcome::well_formed, nullptr, ": 99999 scans in the index,",
         "H\tLastScan\t2147483647\n"},
        {"scan count negative", all_versions,
         [](Bytes& b, int32_t, const fixture::Layout&, const Places& at) {
             put32(b, at.count, -5);
         },
         Outcome::no_scans},
        {"scan count 0x80000000", all_versions,
         [](Bytes& b, int32_t, const fixture::Layout&, const Places& at) {
             put32(b, at.count, INT32_MIN);
         },
         Outcome::no_scans},
        {"peak count negative", all_versions,
         [](Bytes& b, int32_t v, const fixture::Layout& l, const Places&) {
             set_first_peak_count(b, v, l, -1);
         },
         Outcome::converted, first_empty},
        {"peak count 0x7fffffff", all_versions,
         [](Bytes& b, int32_t v, const fixture::Layout& l, const Places&) {
             set_first_peak_count(b, v, l, 0x7fffffff);
         },
         Outcome::converted, first_empty},
        {"peak count 0x80000000", all_versions,
         [](Bytes& b, int32_t v, const fixture::Layout& l, const Places&) {
             set_first_peak_count(b, v, l, INT32_MIN);  // 8 x n wraps to 0
         },
         Outcome::converted, first_empty},
        {"peak count just above filesize / 8", all_versions,
         [](Bytes& b, int32_t v, const fixture::Layout& l, const Places&) {
             set_first_peak_count(b, v, l, l.filesize / 8 + 1);
         },
         Outcome::converted, first_empty},
        {"peak count filesize / 8: zero peaks past the end", all_versions,
         [](Bytes& b, int32_t v, const fixture::Layout& l, const Places&) {
             set_first_peak_count(b, v, l, l.filesize / 8);
         },
         Outcome::converted,
         [](Expected& e, int32_t, const fixture::Layout& l) {
             e.ms1[1] = l.filesize / 8;
         }},
        {"packet offset whose sum with the base wraps", all_versions,
         [](Bytes& b, int32_t v, const fixture::Layout& l, const Places&) {
             // locator + offset passes 2^31 and wraps below 0: the header
             // of the first scan reads as zeros, n = 0.
             put32(b, packet_offset_at(v, l, 0), 0x7fffffff - l.data_start + 100);
         },
         Outcome::converted,
         [](Expected& e, int32_t v, const fixture::Layout&) {
             if (v == 64)
                 e.ms1[1] = 0;  // every scan converted, here without peaks
             else
                 e.ms1.erase(1);  // rejected: no rule takes n = 0 here
         }},
        {"packet offsets with high bits set", {64, 66},
         [](Bytes& b, int32_t v, const fixture::Layout& l, const Places&) {
             // Only the low 32 bits count.
             for (int32_t k = 0; k < l.index_num; k++)
                 put32(b, packet_offset_at(v, l, k) + 4, 0x5a5a5a5a);
         },
         Outcome::converted, same},
        {"packet offset past the end", all_versions,
         [](Bytes& b, int32_t v, const fixture::Layout& l, const Places&) {
             put32(b, packet_offset_at(v, l, 3), l.filesize);
         },
         Outcome::well_formed},
        {"event stream at 0", all_versions,
         [](Bytes& b, int32_t, const fixture::Layout&, const Places& at) {
             put32(b, at.pp_start, 0);
         },
         Outcome::converted, same},
        {"event stream past the end", all_versions,
         [](Bytes& b, int32_t, const fixture::Layout& l, const Places& at) {
             put32(b, at.pp_start, l.filesize + 7);
         },
         Outcome::converted, same},
        {"event stream at 0x7ffffff0", all_versions,
         [](Bytes& b, int32_t, const fixture::Layout&, const Places& at) {
             put32(b, at.pp_start, 0x7ffffff0);  // cursor moves wrap
         },
         Outcome::converted, same},
        {"trailer stream past the end", all_versions,
         [](Bytes& b, int32_t, const fixture::Layout& l, const Places& at) {
             put32(b, at.pr_start, l.filesize + 1);
         },
         Outcome::converted, same},
        {"trailer stream at 0x7fffff00", all_versions,
         [](Bytes& b, int32_t, const fixture::Layout&, const Places& at) {
             put32(b, at.pr_start, 0x7fffff00);  // the cursor wraps
         },
         Outcome::converted, same},
    };
    return all;
}

struct RunOutcome {
    testrun::Result r;
    std::string ms1, ms2;
    std::vector<std::string> others;  // files besides input and outputs
};

RunOutcome convert(const TempDir& dir, const std::string& input)
{
    RunOutcome o;
    o.r = testrun::run({KOLVEX_BIN, input}, dir.path, limits());
    o.ms1 = testrun::read_file(dir.file(input + ".ms1"));
    o.ms2 = testrun::read_file(dir.file(input + ".ms2"));
    for (const auto& e : fs::directory_iterator(dir.path)) {
        std::string n = e.path().filename().string();
        if (n != input && n != input + ".ms1" && n != input + ".ms2")
            o.others.push_back(n);
    }
    return o;
}

// What every run shares: it ended by itself, without a sanitizer report,
// printed the completion line and left no temporary file.
void check_common(const RunOutcome& o, const std::string& input)
{
    EXPECT_LT(o.r.status, 128) << "killed by signal " << o.r.status - 128;
    EXPECT_EQ(o.r.err.find("runtime error"), std::string::npos) << o.r.err;
    EXPECT_EQ(o.r.err.find("Sanitizer"), std::string::npos) << o.r.err;
    EXPECT_TRUE(testrun::is_completion(o.r.out, input)) << o.r.out;
    EXPECT_TRUE(o.others.empty()) << o.others.front();
}

void check_nothing_converted(const RunOutcome& o, const std::string& message)
{
    EXPECT_EQ(o.r.status, 0);
    EXPECT_EQ(o.r.err, message);
    EXPECT_EQ(o.ms1.size(), 0u);
    EXPECT_EQ(o.ms2.size(), 0u);
}

TEST(Hostile, BrokenFieldsOfARawFile)
{
    TempDir dir;
    const std::string input = "in.raw";
    for (const Case& c : cases()) {
        for (int32_t v : c.versions) {
            SCOPED_TRACE(std::string(c.name) + ", version " + std::to_string(v));
            fixture::File f = clean_run(v);
            fixture::Layout l;
            Bytes b = fixture::build(f, &l);
            ASSERT_EQ(l.packet_pos[0], l.data_start);
            c.breaker(b, v, l, places(v, l));
            testrun::write_bytes(dir.file(input), b);
            RunOutcome o = convert(dir, input);
            check_common(o, input);
            switch (c.outcome) {
            case Outcome::no_header:
                check_nothing_converted(o, input + ": no run header found\n");
                break;
            case Outcome::no_scans:
                check_nothing_converted(o, input + ": the scan index holds no scans\n");
                break;
            case Outcome::converted:
            case Outcome::well_formed: {
                EXPECT_EQ(o.r.status, 0) << o.r.err;
                ScanPeaks ms1, ms2;
                EXPECT_TRUE(parse(o.ms1, ms1));
                EXPECT_TRUE(parse(o.ms2, ms2));
                if (c.err_has) {
                    EXPECT_NE(o.r.err.find(c.err_has), std::string::npos) << o.r.err;
                }
                if (c.ms2_has) {
                    EXPECT_NE(o.ms2.find(c.ms2_has), std::string::npos);
                }
                if (c.outcome == Outcome::converted) {
                    Expected e = from_fixture(f);
                    c.scans(e, v, l);
                    EXPECT_EQ(ms1, e.ms1);
                    EXPECT_EQ(ms2, e.ms2);
                }
                break;
            }
            }
        }
    }
}

// Inputs that are no raw file at all.
struct NotRaw {
    const char* name;
    std::function<void(const TempDir& dir, const std::string& input)> make;
    std::string out_head;  // stdout before the completion line
    std::string err;       // standard error, the input name in front
};

Bytes clean_prefix(size_t n)
{
    Bytes b = fixture::build(clean_run(66));
    b.resize(n);
    return b;
}

TEST(Hostile, InputsThatAreNoRawFile)
{
    auto bytes = [](Bytes b) {
        return [b](const TempDir& dir, const std::string& input) {
            testrun::write_bytes(dir.file(input), b);
        };
    };
    const std::vector<NotRaw> table = {
        {"empty file", bytes({}), "", ": file format version 0 is not supported\n"},
        // Too short for the version word: version 0.
        {"39 bytes of a version 66 file", bytes(clean_prefix(39)), "",
         ": file format version 0 is not supported\n"},
        // The word is there; the method marker lies further on.
        {"40 bytes of a version 66 file", bytes(clean_prefix(40)), "",
         ": no run header found\n"},
        {"41 bytes of a version 66 file", bytes(clean_prefix(41)), "",
         ": no run header found\n"},
        {"all 0xFF", bytes(Bytes(1 << 16, 0xFF)), "",
         ": file format version -1 is not supported\n"},
        {"version 63 word, then all 0xFF", bytes([] {
             Bytes b(1 << 16, 0xFF);
             b[36] = 63, b[37] = b[38] = b[39] = 0;
             return b;
         }()),
         "", ": no run header found\n"},
        {"a directory",
         [](const TempDir& dir, const std::string& input) {
             fs::create_directory(dir.file(input));
         },
         "File not found!\n", ""},
    };
    for (const NotRaw& t : table) {
        SCOPED_TRACE(t.name);
        TempDir dir;
        const std::string input = "in.raw";
        t.make(dir, input);
        RunOutcome o = convert(dir, input);
        check_common(o, input);
        EXPECT_EQ(o.r.status, 0);
        EXPECT_EQ(o.r.out.substr(0, t.out_head.size()), t.out_head);
        EXPECT_EQ(o.r.err, t.err.empty() ? "" : input + t.err);
        EXPECT_TRUE(testrun::file_exists(dir.file(input + ".ms1")));
        EXPECT_TRUE(testrun::file_exists(dir.file(input + ".ms2")));
        EXPECT_EQ(o.ms1.size(), 0u);
        EXPECT_EQ(o.ms2.size(), 0u);
    }
}

}  // namespace
