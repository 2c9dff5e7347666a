// hostile_test.cpp -- raw files with one field broken: the converter ends
// in bounded time and memory, with the message, exit status and scans the
// rules give, every line well formed and no sanitizer report.
#include <gtest/gtest.h>

#include <regex>

#include "e2e/check.h"
#include "raw/bytes.h"

namespace {

// CPU seconds always; address space only without the address sanitizer,
// whose shadow memory reserves terabytes of it.
#ifdef __SANITIZE_ADDRESS__
const std::string limits = "ulimit -t 60;";
#else
const std::string limits = "ulimit -t 60; ulimit -v 4000000;";
#endif

// Fails on a missing last line feed, a line that is no header, scan, info,
// charge or peak line, a peak line before the first scan, and a scan
// written twice.
::testing::AssertionResult well_formed(const std::string& text)
{
    static const std::regex line("[HSIZ]\t.*|[-0-9. naif]+");
    if (!text.empty() && text.back() != '\n')
        return ::testing::AssertionFailure() << "no final line feed";
    bool in_scans = false;
    for (const std::string& l : testrun::lines_of(text)) {
        in_scans = in_scans || l[0] == 'S';
        if (!std::regex_match(l, line) || !(in_scans || l[0] == 'H'))
            return ::testing::AssertionFailure() << "odd line [" << l << "]";
    }
    if (e2e::scans_of(text).size() != e2e::count_of("\n" + text, "\nS\t"))
        return ::testing::AssertionFailure() << "a scan written twice";
    return ::testing::AssertionSuccess();
}

// Where the broken field lies, and what its value is added to.
enum Place { data_start, data_end, p, count, index_start, pp_start, pr_start, peak_count, offset_0,
             offset_3, offset_high_words, cut_in_index };
enum Base { zero, filesize, filesize_8, wrap };
const char* const no_header = "in.raw: no run header found\n";
const char* const no_scans = "in.raw: the scan index holds no scans\n";
// Peak lines of scan 1 besides a count: all of them, rejected (converted
// without peaks in version 64), filesize / 8 of them, or any number.
enum { same = 24, rejected = -1, eighth = -2, any = -3 };

// err: standard error of a run that converts nothing (null: the summary
// line). peaks: scan 1's peak lines in the .ms1 text. v64: also for
// version 64.
struct Case { const char* name; Place at; Base base; int64_t value; const char* err; int peaks = same;
              bool v64 = true; };

const Case cases[] = {
    {"data stream base past the end", data_start, filesize, 0, no_header},
    {"data stream base at the last byte", data_start, filesize, -1, nullptr, any},
    {"data stream base negative", data_start, zero, -8, no_header},
    {"first header pointer past the end", data_end, filesize, 5, nullptr},
    {"second header pointer past the end", p, filesize, 5, no_scans},
    {"index past the end", index_start, filesize, 88, no_header},
    {"index at the end of the file", index_start, filesize, 0, no_header},
    {"index at the last byte", index_start, filesize, -1, nullptr, any},
    {"index running past the end", index_start, filesize, -100, nullptr, any},
    {"file cut inside the index", cut_in_index, zero, 0, nullptr, any},
    {"scan count 0", count, zero, 0, no_scans},  {"scan count negative", count, zero, -5, no_scans},
    // Version 64 would convert each of the 99,999 entries (100 MB of text).
    {"scan count 0x7fffffff", count, zero, 0x7fffffff, nullptr, any, false},
    {"peak count negative", peak_count, zero, -1, nullptr, 0},
    {"peak count 0x7fffffff", peak_count, zero, 0x7fffffff, nullptr, 0},
    {"peak count just above filesize / 8", peak_count, filesize_8, 1, nullptr, 0},
    {"peak count filesize / 8", peak_count, filesize_8, 0, nullptr, eighth},
    {"packet offset wrapping past 2^31", offset_0, wrap, 100, nullptr, rejected},
    {"packet offsets with high words", offset_high_words, zero, 0x5a5a5a5a, nullptr, same, false},
    {"packet offset past the end", offset_3, filesize, 0, nullptr, any},
    {"event stream at 0", pp_start, zero, 0, nullptr},  {"event stream past the end", pp_start, filesize, 7, nullptr},
    {"trailer stream past the end", pr_start, filesize, 1, nullptr},
    {"trailer stream at 0x7fffff00", pr_start, zero, 0x7fffff00, nullptr},
};

Bytes broken(int32_t v, const Case& c)
{
    fixture::Layout l;
    // Two cycles of a survey scan (24 peaks) and three fragmentation scans.
    Bytes b = fixture::build(fixture::realistic_run(v, 2, 24, 3, 6, 11), &l);
    bool f62 = v <= 63;
    int64_t entry = v == 66 ? 88 : v == 64 ? 80 : 72, offset_field = f62 ? 0 : 72;
    const int64_t places[] = {l.anchor + (f62 ? 42 : 826), l.anchor + (f62 ? 62 : 842),
                              l.anchor + (f62 ? 74 : 858), l.p + 12, l.p + (f62 ? 28 : 7408),
                              f62 ? l.data_end + 7368 : l.p + 7448,
                              f62 ? l.data_end + 7372 : l.p + 7456, l.packet_pos[0] + 40,
                              l.index_start + offset_field, l.index_start + 3 * entry + offset_field};
    const int64_t bases[] = {0, l.filesize, l.filesize / 8, 0x7fffffff - int64_t{l.data_start}};
    int64_t value = bases[c.base] + c.value;
    if (c.at == cut_in_index)
        b.resize(static_cast<size_t>(l.index_start + 2 * entry + 30));
    else if (c.at == offset_high_words)
        for (int32_t k = 0; k < l.index_num; k++)
            put(b, l.index_start + k * entry + offset_field + 4, static_cast<int32_t>(value));
    else
        put(b, places[c.at], static_cast<int32_t>(value));
    if (c.at == peak_count)  // a data_size that fits n, so that every version converts
        put(b, l.index_start + 20, static_cast<int32_t>(44 + 8 * value));
    return b;
}

TEST(Hostile, BrokenFieldsOfARawFile)
{
    for (int32_t v : {62, 63, 64, 66})
        for (const Case& c : cases) {
            if (v == 64 && !c.v64)
                continue;
            SCOPED_TRACE(testing::Message() << c.name << ", version " << v);
            Bytes b = broken(v, c);
            e2e::Converted o = e2e::convert(b, limits);
            EXPECT_EQ(o.status, c.err == no_header ? 1 : 0) << o.err;  // D27
            EXPECT_EQ(o.err.find("runtime error"), std::string::npos) << o.err;
            EXPECT_EQ(o.err.find("Sanitizer"), std::string::npos) << o.err;
            EXPECT_EQ(e2e::seconds_as_t(o.out), e2e::done("in.raw"));
            EXPECT_EQ(o.others, std::vector<std::string>{});
            if (c.err != nullptr) {
                EXPECT_EQ(o.err, c.err);
                EXPECT_EQ(o.ms1 + o.ms2, "");
                continue;
            }
            EXPECT_TRUE(well_formed(o.ms1) && well_formed(o.ms2));
            auto survey = e2e::scans_of(o.ms1);
            int peaks = survey.count(1) ? static_cast<int>(survey[1].peaks.size()) : -1;
            // The index is capped at 99,999 entries; LastScan is the count as read.
            bool capped = c.at == count;
            EXPECT_NE(o.err.find(capped ? "in.raw: 99999 scans in the index, "
                                        : " scans in the index, "),
                      std::string::npos) << o.err;
            EXPECT_EQ(o.ms2.find("H\tLastScan\t2147483647\n") != std::string::npos, capped);
            int want = c.peaks == eighth     ? static_cast<int>(b.size() / 8)
                       : c.peaks == rejected ? (v == 64 ? 0 : -1)
                       : c.peaks == any      ? peaks
                                             : c.peaks;
            EXPECT_EQ(peaks, want);
        }
}

}  // namespace
