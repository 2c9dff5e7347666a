// corpus.cpp -- builds the fuzzer's seed inputs with the fixture writer.
#include "corpus.h"

#include <cstring>
#include <functional>
#include <limits>

#include "fixture.h"

namespace corpus {
namespace {

using fixture::File;
using fixture::HeaderPath;
using fixture::Scan;

// Two short cycles of a survey scan and three fragmentation scans: small
// enough for quick mutations, long enough to reach every stream.
File base(int32_t version)
{
    return fixture::realistic_run(version, 2, 24, 3, 6, 7);
}

using Patch = std::function<void(std::vector<uint8_t>&, const fixture::Layout&,
                                 int32_t version)>;

struct Kind {
    const char* name;
    std::function<void(File&)> edit;
    Patch patch = nullptr;  // bytes changed after the file is built
};

void put32(std::vector<uint8_t>& b, int64_t at, int32_t v)
{
    if (at >= 0 && at + 4 <= static_cast<int64_t>(b.size()))
        std::memcpy(b.data() + at, &v, 4);
}

// Where entry k of the stored index keeps its packet offset.
int64_t packet_offset_at(const fixture::Layout& l, int32_t version, int32_t k)
{
    int32_t width = version == 66 ? 88 : version == 64 ? 80 : 72;
    int32_t field = version == 62 || version == 63 ? 0 : 72;
    return int64_t{l.index_start} + int64_t{k} * width + field;
}

// One knob each; applied to the clean run of every version.
const std::vector<Kind>& kinds()
{
    static const std::vector<Kind> all = {
        {"clean", [](File&) {}},
        {"p-zero", [](File& f) { f.path = HeaderPath::p_zero; }},
        {"p-count-zero", [](File& f) { f.path = HeaderPath::p_count_zero; }},
        {"streams-at-p", [](File& f) { f.streams_at_p = true; }},
        {"streams-at-p-zero",
         [](File& f) {
             f.path = HeaderPath::p_zero;
             f.streams_at_p = true;
         }},
        {"no-marker", [](File& f) { f.marker = false; }},
        {"no-terminator", [](File& f) { f.terminator = false; }},
        {"layouts-other",
         [](File& f) {
             f.elite_layout = 0;
             f.v63_wide = 1;
             f.v63_trailer_wide = 0;
             f.v64_ms1_w = 0;
             f.v64_ms2_w = 0;
         }},
        {"data-start-pad", [](File& f) { f.data_start_pad = 333; }},
        {"rejected",
         [](File& f) {
             // A size no triage rule accepts, once with peaks, once without.
             f.scans[1].data_size = 7;
             f.scans[2].peaks.clear();
             f.scans[2].data_size = 139;
         }},
        {"zero-peaks",
         [](File& f) {
             for (Scan& s : f.scans) {
                 s.peaks.clear();
                 s.extras = false;
                 s.trailing = 150;
             }
         }},
        {"odd-levels",
         [](File& f) {
             f.scans[0].ms_level = 3;
             f.scans[1].ms_level = -1;
             f.scans[2].ms_level = 1;
             f.scans[4].ms_level = 2;  // a survey entry with a fragment event
             f.scans[1].analyzer = 1;
             f.scans[3].analyzer = 255;
         }},
        {"frag-first",
         [](File& f) { f.scans.erase(f.scans.begin()); }},
        {"event-gaps",
         [](File& f) {
             for (Scan& s : f.scans)
                 s.event_gap = true;
         }},
        {"event-widths",
         [](File& f) {
             f.scans[1].event_width = 400;
             f.scans[2].event_width = 8;
         }},
        {"truncated-index", [](File& f) { f.truncate_at = 8192 + 900; }},
        {"truncated-streams",
         [](File& f) {
             std::vector<uint8_t> whole = fixture::build(f);
             f.truncate_at = static_cast<int32_t>(whole.size()) - 700;
         }},
        {"count-huge", [](File& f) { f.index_num = 0x7fffffff; }},
        {"count-negative", [](File& f) { f.index_num = -5; }},
        {"count-short",
         [](File& f) { f.index_num = static_cast<int32_t>(f.scans.size()) + 3; }},
        {"peak-count-huge", [](File& f) { f.scans[0].peak_count = 0x7fffffff; }},
        {"peak-count-negative",
         [](File& f) {
             f.scans[0].peak_count = -1;
             f.scans[0].data_size = 36;  // 8 x -1 = 36 - 44: passes triage
         }},
        {"peak-count-past-end",
         [](File& f) {
             std::vector<uint8_t> whole = fixture::build(f);
             int32_t n = static_cast<int32_t>(whole.size()) / 8 + 1;
             f.scans[0].peak_count = n;
             f.scans[0].data_size = 44 + 8 * n;
         }},
        {"packet-offset-wrap", [](File&) {},
         [](std::vector<uint8_t>& b, const fixture::Layout& l, int32_t v) {
             // Sums with the data-stream base that pass 2^31 either way,
             // and (64, 66) high bits that must not count.
             put32(b, packet_offset_at(l, v, 1), 0x7ffffff0);
             put32(b, packet_offset_at(l, v, 2), -0x7ffffff0);
             if (v == 64 || v == 66)
                 put32(b, packet_offset_at(l, v, 3) + 4, 0x100);
         }},
        {"survey-large",
         [](File& f) {
             // More peaks than the precursor table starts with.
             Scan& s = f.scans[0];
             Scan big = s;
             big.peaks.clear();
             for (int32_t i = 0; i < 2100; i++) {
                 fixture::Peak p;
                 p.mz = 300.0f + static_cast<float>(i) * 0.5f;
                 p.intensity = static_cast<float>(1000 + i % 97);
                 p.charge_code = static_cast<int16_t>((i % 5) * 256);
                 big.peaks.push_back(p);
             }
             s = big;
         }},
        {"survey-over-table",
         [](File& f) {
             // More peaks than the 20,000 the precursor table starts with;
             // the fragmentation scans after it search the grown table.
             // Zero peaks write the shortest lines, which keeps the text
             // inside the fuzzer's bound.
             Scan& s = f.scans[0];
             s.peaks.assign(20300, fixture::Peak{});
             for (size_t i = 20000; i < s.peaks.size(); i++) {
                 s.peaks[i].mz = 200.0f + static_cast<float>(i - 20000) * 0.5f;
                 s.peaks[i].intensity = static_cast<float>(i % 1000);
             }
             f.scans[1].precursor_mz = 200.0 + 250 * 0.5;
         }},
        {"odd-values",
         [](File& f) {
             Scan& s = f.scans[0];
             s.peaks[0].mz = -12.5f;
             s.peaks[1].intensity = 3.0e38f;
             s.peaks[2].value = -7.0e20f;
             s.peaks[3].charge_code = -32768;
             s.peaks[4].mz = std::numeric_limits<float>::infinity();
             s.start_time = -1.0e300;
             f.scans[1].precursor_mz = -4.0e30;
             f.scans[2].precursor_mz = std::numeric_limits<double>::quiet_NaN();
             f.scans[2].charge_state = -3;
             f.scans[3].charge_state = 9;
         }},
    };
    return all;
}

}  // namespace

std::vector<Seed> seeds()
{
    std::vector<Seed> out;
    for (int32_t version : {62, 63, 64, 66}) {
        for (const Kind& k : kinds()) {
            File f = base(version);
            k.edit(f);
            fixture::Layout l;
            std::vector<uint8_t> bytes = fixture::build(f, &l);
            if (k.patch)
                k.patch(bytes, l, version);
            std::string name = "v";
            name += std::to_string(version);
            name += '-';
            name += k.name;
            name += ".raw";
            out.push_back({name, std::move(bytes)});
        }
    }
    // Inputs that are not raw files at all.
    out.push_back({"empty.raw", {}});
    out.push_back({"short-39.raw", std::vector<uint8_t>(39, 0)});
    std::vector<uint8_t> v66_40(40, 0);
    v66_40[36] = 66;
    out.push_back({"short-40.raw", v66_40});
    out.push_back({"all-ff.raw", std::vector<uint8_t>(4096, 0xFF)});
    return out;
}

}  // namespace corpus
