// hostile_test.cpp -- raw files with one field broken: the converter ends
// in bounded time and memory, with the message, exit status and scans the
// rules give, every line well formed and no sanitizer report.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "e2e/check.h"

namespace {

using e2e::Bytes;
using ScanPeaks = std::map<int32_t, int32_t>;  // scan number -> peak lines

// CPU seconds always; address space only without the address sanitizer,
// whose shadow memory reserves terabytes of it.
#ifdef __SANITIZE_ADDRESS__
const std::string limits = "ulimit -t 60;";
#else
const std::string limits = "ulimit -t 60; ulimit -v 4000000;";
#endif

// The scans of an output with their peak lines. Fails on a line that is
// no header, scan, info, charge or peak line, and on a missing last newline.
::testing::AssertionResult scans_of(const std::string& text, ScanPeaks& scans)
{
    scans.clear();
    if (!text.empty() && text.back() != '\n')
        return ::testing::AssertionFailure() << "no final line feed";
    int32_t current = -1;
    for (const std::string& line : testrun::lines_of(text)) {
        bool record = line.size() > 1 && line[1] == '\t' &&
                      std::string("HSIZ").find(line[0]) != std::string::npos;
        bool peak = !line.empty() && line.find_first_not_of("0123456789.- naif") == std::string::npos;
        if (record && line[0] == 'S' && !scans.count(current = std::stoi(line.substr(2))))
            scans[current] = 0;
        else if (!record && peak && current >= 0)
            scans[current]++;
        else if (!record || line[0] == 'S')
            return ::testing::AssertionFailure() << "odd line [" << line << "]";
    }
    return ::testing::AssertionSuccess();
}

// Where the broken field lies, and what its value is added to.
enum Place { data_start, data_end, p, count, index_start, pp_start, pr_start, peak_count, offset_0,
             offset_3, offset_high_words, cut_in_index };
enum Base { zero, filesize, filesize_8, wrap };
const char* const no_header = "in.raw: no run header found\n";
const char* const no_scans = "in.raw: the scan index holds no scans\n";
// Peak lines of scan 1 besides a count: rejected (converted without peaks
// in version 64), filesize / 8 of them, or any number and other scans too.
enum { same = 24, rejected = -1, eighth = -2, any = -3 };

// err: standard error of a run that converts nothing (null: the summary
// line). peaks: scan 1's peak lines; the other scans are the clean file's.
struct Case {
    const char* name;
    Place at;
    Base base;
    int64_t value;
    const char* err;
    int peaks = same;
    bool v64 = true;  // also for version 64
};

const Case cases[] = {
    {"data stream base past the end", data_start, filesize, 0, no_header},
    {"data stream base at the last byte", data_start, filesize, -1, nullptr, any},
    {"data stream base negative", data_start, zero, -8, no_header},
    {"data stream base 0x7fffffff", data_start, zero, 0x7fffffff, no_header},
    {"first header pointer past the end", data_end, filesize, 5, nullptr},
    {"second header pointer past the end", p, filesize, 5, no_scans},
    {"second header pointer negative", p, zero, -0x7fffffff, no_scans},
    {"index past the end", index_start, filesize, 88, no_header},
    {"index at the end of the file", index_start, filesize, 0, no_header},
    {"index at the last byte", index_start, filesize, -1, nullptr, any},
    {"index negative", index_start, zero, -1, no_header},
    {"index at 0x7fffffff", index_start, zero, 0x7fffffff, no_header},
    {"index running past the end", index_start, filesize, -100, nullptr, any},
    {"file cut inside the index", cut_in_index, zero, 0, nullptr, any},
    {"scan count 0", count, zero, 0, no_scans},
    {"scan count negative", count, zero, -5, no_scans},
    {"scan count 0x80000000", count, zero, INT32_MIN, no_scans},
    // Version 64 would convert each of the 99,999 entries (100 MB of text).
    {"scan count 0x7fffffff", count, zero, 0x7fffffff, nullptr, any, false},
    {"peak count negative", peak_count, zero, -1, nullptr, 0},
    {"peak count 0x7fffffff", peak_count, zero, 0x7fffffff, nullptr, 0},
    {"peak count 0x80000000", peak_count, zero, INT32_MIN, nullptr, 0},
    {"peak count just above filesize / 8", peak_count, filesize_8, 1, nullptr, 0},
    {"peak count filesize / 8", peak_count, filesize_8, 0, nullptr, eighth},
    {"packet offset wrapping past 2^31", offset_0, wrap, 100, nullptr, rejected},
    {"packet offsets with high words", offset_high_words, zero, 0x5a5a5a5a, nullptr, same, false},
    {"packet offset past the end", offset_3, filesize, 0, nullptr, any},
    {"event stream at 0", pp_start, zero, 0, nullptr},
    {"event stream past the end", pp_start, filesize, 7, nullptr},
    {"event stream at 0x7ffffff0", pp_start, zero, 0x7ffffff0, nullptr},
    {"trailer stream past the end", pr_start, filesize, 1, nullptr},
    {"trailer stream at 0x7fffff00", pr_start, zero, 0x7fffff00, nullptr},
};

// Two cycles of a survey scan (24 peaks) and three fragmentation scans.
Bytes clean(int32_t v, fixture::Layout* l = nullptr)
{
    return fixture::build(fixture::realistic_run(v, 2, 24, 3, 6, 11), l);
}

Bytes broken(int32_t v, const Case& c)
{
    fixture::Layout l;
    Bytes b = clean(v, &l);
    bool f62 = v <= 63;
    int64_t entry = v == 66 ? 88 : v == 64 ? 80 : 72, offset_field = f62 ? 0 : 72;
    const int64_t places[] = {l.anchor + (f62 ? 42 : 826), l.anchor + (f62 ? 62 : 842),
                              l.anchor + (f62 ? 74 : 858), l.p + 12, l.p + (f62 ? 28 : 7408),
                              f62 ? l.data_end + 7368 : l.p + 7448,
                              f62 ? l.data_end + 7372 : l.p + 7456, l.packet_pos[0] + 40,
                              l.index_start + offset_field, l.index_start + 3 * entry + offset_field};
    const int64_t bases[] = {0, l.filesize, l.filesize / 8, 0x7fffffff - int64_t{l.data_start}};
    auto put = [&b](int64_t at, int64_t value) {
        auto w = static_cast<int32_t>(value);
        std::memcpy(&b[static_cast<size_t>(at)], &w, 4);
    };
    int64_t value = bases[c.base] + c.value;
    if (c.at == cut_in_index)
        b.resize(static_cast<size_t>(l.index_start + 2 * entry + 30));
    else if (c.at == offset_high_words)
        for (int32_t k = 0; k < l.index_num; k++)
            put(l.index_start + k * entry + offset_field + 4, value);
    else
        put(places[c.at], value);
    if (c.at == peak_count)  // a data_size that fits n, so that every version converts
        put(l.index_start + 20, 44 + 8 * value);
    return b;
}

TEST(Hostile, BrokenFieldsOfARawFile)
{
    for (int32_t v : {62, 63, 64, 66}) {
        ScanPeaks clean_ms1, clean_ms2, ms1, ms2;
        e2e::Converted ok = e2e::convert(clean(v));
        ASSERT_TRUE(scans_of(ok.ms1, clean_ms1) && scans_of(ok.ms2, clean_ms2));
        ASSERT_EQ(clean_ms1[1], same);
        for (const Case& c : cases) {
            if (v == 64 && !c.v64)
                continue;
            SCOPED_TRACE(testing::Message() << c.name << ", version " << v);
            Bytes b = broken(v, c);
            e2e::Converted o = e2e::convert(b, limits);
            EXPECT_EQ(o.status, 0) << o.err;
            EXPECT_EQ(o.err.find("runtime error"), std::string::npos) << o.err;
            EXPECT_EQ(o.err.find("Sanitizer"), std::string::npos) << o.err;
            EXPECT_TRUE(testrun::is_completion(o.out, "in.raw")) << o.out;
            EXPECT_EQ(o.others, std::vector<std::string>{});
            if (c.err != nullptr) {
                EXPECT_EQ(o.err, c.err);
                EXPECT_EQ(o.ms1 + o.ms2, "");
                continue;
            }
            EXPECT_TRUE(scans_of(o.ms1, ms1));
            EXPECT_TRUE(scans_of(o.ms2, ms2));
            // The index is capped at 99,999 entries; LastScan is the count as read.
            bool capped = c.at == count;
            EXPECT_NE(o.err.find(capped ? "in.raw: 99999 scans in the index, "
                                        : " scans in the index, "),
                      std::string::npos) << o.err;
            EXPECT_EQ(o.ms2.find("H\tLastScan\t2147483647\n") != std::string::npos, capped);
            if (c.peaks == any)
                continue;
            ScanPeaks want = clean_ms1;
            want[1] = c.peaks == eighth ? static_cast<int32_t>(b.size() / 8) : std::max(c.peaks, 0);
            if (c.peaks == rejected && v != 64)
                want.erase(1);
            EXPECT_EQ(ms1, want);
            EXPECT_EQ(ms2, clean_ms2);
        }
    }
}

}  // namespace
