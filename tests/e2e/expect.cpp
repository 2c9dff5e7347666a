// expect.cpp -- expected MS1/MS2 text for synthetic raw files, built from
// the fixture's scan list and the format rules, independently of src/.
#include "e2e/expect.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdarg>
#include <cstdlib>

namespace expect {
namespace {

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

std::string format(const char* fmt, ...)
{
    char buf[512];
    va_list ap;
    va_start(ap, fmt);
    int n = std::vsnprintf(buf, sizeof buf, fmt, ap);
    va_end(ap);
    return std::string(buf, static_cast<size_t>(n < 0 ? 0 : n));
}

int32_t wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

constexpr double proton = 1.007276;

}  // namespace

std::string fixed(float v, int places)
{
    if (std::isnan(v))
        return "nan";
    if (v < 0) {
        std::string text(1, '-');
        text += fixed(-v, places);
        return text;
    }
    // long double holds 64 significant bits: a float's fraction times
    // 10^places (at most 24 + 14 bits) is exact, so the one rounding is
    // the one to single precision that the number text does.
    long double x = v;
    long double ip = std::truncl(x);
    std::string text;
    for (auto u = static_cast<uint64_t>(ip); u != 0; u /= 10)
        text.insert(text.begin(), static_cast<char>('0' + u % 10));
    long double scale = 1;
    for (int i = 0; i < places; i++)
        scale *= 10;
    float product = static_cast<float>((x - ip) * scale);
    auto digits = static_cast<int64_t>(product);
    std::string frac;
    for (int i = 0; i < places; i++, digits /= 10)
        frac.insert(frac.begin(), static_cast<char>('0' + digits % 10));
    return text + "." + frac;
}

std::string value_column(float v)
{
    auto t = static_cast<int32_t>(std::trunc(v));
    return t == 0 ? std::string() : std::to_string(t);
}

static std::string head(bool ms2, const std::string& instrument, int32_t index_num)
{
    std::string h = "H\tCreation Date\t \n";
    h += ms2 ? "H\tExtractor\tkolvex\n" : "H\tExtractor\tkolvex by Ostrel 2015\n";
    h += "H\tExtractorVersion\t0.8\n";
    h += ms2 ? "H\tComments\tkolvex by Ostrel 2015\n" : "H\tComments\tkolvex by Ostrel\n";
    h += "H\tExtractorOptions\tMSn\n";
    h += "H\tAcquisitionMethod\tData-Dependent\n";
    h += "H\tInstrumentType\t" + instrument + "\n";
    h += ms2 ? "H\tScanType\tMS2\n" : "H\tScanType\tMS1\n";
    h += "H\tDataType\tCentroid\n";
    h += "H\tResolution\t\n";
    h += "H\tIsolationWindow\t\n";
    h += "H\tFirstScan\t1\n";
    h += "H\tLastScan\t" + std::to_string(index_num) + "\n";
    return h;
}

std::string head_ms1(const std::string& instrument, int32_t index_num)
{
    return head(false, instrument, index_num);
}

std::string head_ms2(const std::string& instrument, int32_t index_num)
{
    return head(true, instrument, index_num);
}

std::string s_ms1(int32_t scan) { return format("S\t%06d\t%06d\n", scan, scan); }

std::string s_ms2(int32_t scan, double precursor_mz)
{
    return format("S\t%06d\t%06d\t%.04f\n", scan, scan, precursor_mz);
}

std::string scan_ms1(int32_t scan, double rt, float injection, const std::string& instrument)
{
    return s_ms1(scan) + format("I\tRetTime\t%.06f\n", rt) +
           format("I\tIonInjectionTime\t%.02f\n", static_cast<double>(injection)) +
           "I\tInstrumentType\t" + instrument + "\n";
}

std::string scan_ms2(int32_t scan, double precursor_mz, double rt, float injection,
                     const std::string& instrument, double low, double high,
                     int32_t precursor_scan, float precursor_int)
{
    return s_ms2(scan, precursor_mz) + format("I\tRetTime\t%.06f\n", rt) +
           format("I\tIonInjectionTime\t%.02f\n", static_cast<double>(injection)) +
           "I\tActivationType\tCID\n" + "I\tInstrumentType\t" + instrument + "\n" +
           "I\tTemperatureFTAnalyzer\t-1\n" +
           format("I\tFilter\t%s + c ESI d Full ms2 %.02f@cid35.00 [%.02f-%.02f]\n",
                  instrument.c_str(), precursor_mz, low, high) +
           format("I\tPrecursorScan\t%d\n", precursor_scan) +
           format("I\tPrecursorInt\t%.04f\n", static_cast<double>(precursor_int));
}

std::string z_lines(double p, int32_t zp, int32_t zt)
{
    auto pair = [&] {
        return format("Z\t2\t%.04f\n", p + p - proton) +
               format("Z\t3\t%.04f\n", 3.0 * p - 2 * proton);
    };
    auto one = [&](int32_t z) {
        return format("Z\t%d\t%.04f\n", z, (p - proton) * static_cast<double>(z) + proton);
    };
    bool zp_known = zp >= 2, zt_known = zt >= 2;
    if (!zt_known) {
        // A trailer charge of 1 or less is unknown and gets no line.
        if (zp >= 2 && zp <= 4)
            return one(zp);
        if (zp > 4)
            return pair() + one(zp);
        return pair();
    }
    if (!zp_known || zp == zt)
        return one(zt);
    if (zp > 4 || zt > 4)
        return pair() + one(zp) + one(zt);
    return one(zp) + one(zt);
}

std::string peak_line(float mz_v, float inten)
{
    return mz(mz_v) + " " + intensity(inten) + "\n";
}

std::string peak_line4(float mz_v, float inten, int32_t charge, float value)
{
    return mz(mz_v) + " " + intensity(inten) + " " + std::to_string(charge) + " " +
           value_column(value) + "\n";
}

int32_t packet_bytes(const fixture::Scan& s)
{
    if (!s.write_packet)
        return 0;
    auto n = static_cast<int32_t>(s.peaks.size());
    int32_t size = 44 + 8 * n;
    if (s.extras)
        size += 4 * n + 4 + 4 * n;
    int32_t trailing = s.trailing.value_or(s.extras ? 100 : 0);
    return size + std::max(trailing, 0);
}

bool converts(int32_t version, int32_t n, int32_t s)
{
    if (n != 0 && wrap32(int64_t{8} * n) == wrap32(int64_t{s} - 44))
        return true;
    if (version == 64)
        return true;
    int32_t m = wrap32(int64_t{16} * n);
    return m < wrap32(int64_t{s} - 139) && m >= wrap32(int64_t{s} - 200);
}

namespace {

struct Record {
    int32_t pos, width;
    int8_t level;
    uint8_t analyzer;
    double precursor;
};

struct Ms1 {
    float mz = 0, intensity = 0;
    int32_t charge = 0;
};

int32_t level_width(const fixture::File& f, int8_t level)
{
    bool survey = level == 1;
    switch (f.version) {
    case 62: return survey ? 212 : 188;
    case 63: return survey ? (f.v63_wide ? 220 : 164) : 196;
    case 64: return survey ? f.v64_ms1_w : f.v64_ms2_w;
    default: return survey ? 232 : (f.elite_layout ? 288 : 232);
    }
}

// The record width the fixture writes when a scan names none.
int32_t written_width(const fixture::File& f, const fixture::Scan& s, int32_t n, int32_t size)
{
    int8_t level = s.ms_level.value_or(s.survey ? 1 : 2);
    if (converts(f.version, n, size))
        return level_width(f, level);
    if (n != 0)
        return 0;
    if (f.version == 62)
        return s.survey ? 212 : 188;
    if (f.version == 63)
        return level_width(f, level);
    if (s.survey)
        return 0;
    return f.elite_layout ? 288 : 232;
}

struct Replay {
    const fixture::File& f;
    const fixture::Layout& lay;
    Outputs out;
    std::vector<Record> recs;
    int32_t cursor = 0;
    int32_t pp_w = 0, pr_w = 0, ms1_w = 0, ms2_w = 0, elite = 0;
    std::vector<Ms1> ms1 = std::vector<Ms1>(20000);
    int32_t ms1_last = 0;

    void fail(const std::string& why)
    {
        if (out.modelled) {
            out.modelled = false;
            out.why = why;
        }
    }

    const Record* at(int32_t pos) const
    {
        for (const Record& r : recs)
            if (r.pos == pos)
                return &r;
        return nullptr;
    }

    // The first record whose signature lies 5..1999 bytes past r + 0,
    // i.e. whose start lies 1..1995 bytes past r.
    const Record* next_after(int32_t r) const
    {
        for (const Record& rec : recs)
            if (rec.pos >= int64_t{r} + 1 && rec.pos <= int64_t{r} + 1995)
                return &rec;
        return nullptr;
    }

    int32_t advance(int8_t level) const
    {
        bool survey = level == 1;
        switch (f.version) {
        case 62: return survey ? 212 : 188;
        case 63: return survey ? (pp_w <= 196 ? 164 : 220) : 196;
        case 64: return survey ? ms1_w : ms2_w;
        default: return survey ? 232 : (elite ? 288 : 232);
        }
    }

    void measure()
    {
        int32_t num = lay.index_num;
        if (f.version == 62 || f.version == 63) {
            if (num != 0) {
                pp_w = (lay.pr_header - lay.pp_start) / num;
                pr_w = (lay.filesize - lay.pr_header) / num;
            }
        } else if (f.version == 64) {
            const Record* prev = nullptr;
            int k = 0;
            for (const Record& r : recs) {
                k++;
                if (prev && prev->level == 2)
                    ms2_w = r.pos - prev->pos;
                if (prev && prev->level == 1)
                    ms1_w = r.pos - prev->pos;
                prev = &r;
                if ((ms1_w != 0 && ms2_w != 0) || k == 100)
                    break;
            }
        } else if (recs.size() >= 3) {
            // The end mark of each record is the only run of four 0xFF.
            elite = (recs[1].pos - recs[0].pos) != (recs[2].pos - recs[1].pos) ? 1 : 0;
        }
    }

    void find_precursor(double p, ScanResult& r) const
    {
        double tol = f.version <= 63 ? 0.2 : 0.02;
        auto last = static_cast<int32_t>(ms1.size()) - 1;
        int32_t l = std::min(std::max(ms1_last, 0), last);
        auto m = [&](int32_t i) { return static_cast<double>(ms1[static_cast<size_t>(i)].mz); };
        int32_t k = 0;
        float d = ms1[static_cast<size_t>(l)].mz - ms1[0].mz;
        if (d != 0 && !std::isnan(d) && p - m(0) > 0) {
            double guess = (p - m(0)) / static_cast<double>(d) * static_cast<double>(l);
            k = guess >= last ? last : static_cast<int32_t>(guess);
        }
        while (k < last && p - m(k) >= tol)
            k++;
        while (k > 0 && m(k) - p >= tol)
            k--;
        r.precursor_index = k;
    }

    void refine(ScanResult& r) const
    {
        auto size = static_cast<int32_t>(ms1.size());
        int32_t k = r.precursor_index;
        int32_t w = k > 2 ? k : 3;
        auto a = [&](int32_t i) { return ms1[static_cast<size_t>(i)].intensity; };
        int32_t best = k;
        float max = a(k);
        for (int32_t j : {w - 2, w - 1, w + 1, w + 2, w + 3})
            if (j < size && a(j) > max) {
                max = a(j);
                best = j;
            }
        if (a(w - 3) > max)
            best = w - 3;
        r.precursor_index = best;
    }

    void run();
};

void Replay::run()
{
    const auto& scans = f.scans;
    auto count = static_cast<int32_t>(scans.size());
    if (f.truncate_at)
        fail("truncated file");
    if (!f.marker || !f.terminator)
        fail("no run header");
    if (lay.index_num > count)
        fail("index_num beyond the written entries");
    std::vector<int32_t> sizes, ns;
    for (int32_t k = 0; k < count; k++) {
        const fixture::Scan& s = scans[static_cast<size_t>(k)];
        if (!s.write_packet || s.packet_offset)
            fail("packet not where it was written");
        int32_t n = s.peak_count.value_or(static_cast<int32_t>(s.peaks.size()));
        int32_t size = s.data_size.value_or(packet_bytes(s));
        ns.push_back(n);
        sizes.push_back(size);
        int32_t width = s.event_width.value_or(written_width(f, s, n, size));
        if (width <= 0)
            continue;
        int32_t l = f.version == 62 ? 120 : f.version == 66 ? 136 : 128;
        if (width < 16 + l)
            fail("event record too short to model");
        recs.push_back(Record{lay.event_pos[static_cast<size_t>(k)], width,
                              s.ms_level.value_or(s.survey ? 1 : 2), s.analyzer,
                              s.precursor_mz});
    }
    measure();
    if (f.version == 63 && (pr_w > 300) != (f.v63_trailer_wide != 0))
        fail("trailer layout not the one written");
    bool charge_read = f.version != 63 || pr_w > 300;

    cursor = lay.pp_start;
    float injection = 0;
    int32_t charge_state = 0;
    bool header_written = false;
    int32_t last_ms1_index = 0;
    std::string ms1_text, ms2_text;
    int32_t entries = std::min(lay.index_num, count);
    for (int32_t k = 0; k < entries; k++) {
        const fixture::Scan& s = scans[static_cast<size_t>(k)];
        ScanResult res;
        injection = s.injection_time;
        if (charge_read)
            charge_state = s.charge_state;
        int32_t n = ns[static_cast<size_t>(k)];
        int32_t size = sizes[static_cast<size_t>(k)];
        if (!converts(f.version, n, size)) {
            out.scans.push_back(res);
            if (n != 0) {
                continue;
            } else if (f.version == 62) {
                cursor = wrap32(int64_t{cursor} + (s.survey ? 212 : 188));
            } else if (f.version == 63) {
                const Record* r = next_after(cursor);
                cursor = r ? r->pos : 0;
            } else if (f.version == 66 && !s.survey) {
                cursor = wrap32(int64_t{cursor} + (elite ? 288 : 232));
            }
            continue;
        }
        res.converted = true;
        int32_t n_eff = (n < 0 || int64_t{8} * n > lay.filesize) ? 0 : n;
        if (n_eff > static_cast<int32_t>(s.peaks.size()))
            fail("peak count beyond the written peaks");
        n_eff = std::min(n_eff, static_cast<int32_t>(s.peaks.size()));

        // Label and value arrays as the scan's peak lines and ms1 see them.
        bool extras_read = f.version >= 64 || wrap32(int64_t{16} * n_eff) < size;
        std::vector<int32_t> charges(static_cast<size_t>(n_eff), 0);
        std::vector<float> values(static_cast<size_t>(n_eff), 0);
        if (extras_read && s.extras) {
            for (int32_t i = 0; i < n_eff; i++) {
                charges[static_cast<size_t>(i)] = s.peaks[static_cast<size_t>(i)].charge_code / 256;
                values[static_cast<size_t>(i)] = s.peaks[static_cast<size_t>(i)].value;
            }
        } else if (extras_read && s.survey) {
            // Zeros follow the peaks: the trailing bytes, then the first
            // 40 bytes of the next packet header (12 of a header block).
            int32_t zeros = std::max(s.trailing.value_or(0), 0) + (k + 1 < count ? 40 : 12);
            if (8 * n_eff + 4 > zeros)
                fail("extras read from bytes the replay does not model");
        }

        // Scan event, with the signature check before the read.
        if (at(cursor) == nullptr) {
            const Record* r = next_after(cursor);
            if (r == nullptr) {
                fail("event read where no record starts");
                out.scans.push_back(res);
                continue;
            }
            cursor = r->pos;
        }
        const Record& rec = *at(cursor);
        res.ms_level = rec.level;
        res.instrument = rec.analyzer == 0 ? "ITMS" : rec.analyzer == 4 ? "FTMS" : "?";
        cursor = wrap32(int64_t{cursor} + advance(rec.level));
        if (rec.level == 2) {
            res.precursor_mz = rec.precursor;
            find_precursor(rec.precursor, res);
        }
        if (f.version != 63)
            refine(res);

        if (!header_written) {
            ms2_text += head_ms2(res.instrument, lay.index_num);
            ms1_text += head_ms1(res.instrument, lay.index_num);
            header_written = true;
        }
        int32_t number = k + 1;
        if (s.survey) {
            ms1_text += scan_ms1(number, s.start_time, injection, res.instrument);
            last_ms1_index = k;
            if (ms1.size() < static_cast<size_t>(n_eff))
                ms1.resize(static_cast<size_t>(n_eff));
            for (int32_t i = 0; i < n_eff; i++) {
                const fixture::Peak& p = s.peaks[static_cast<size_t>(i)];
                int32_t c = charges[static_cast<size_t>(i)];
                ms1[static_cast<size_t>(i)] = Ms1{p.mz, p.intensity, c};
                if (f.version >= 64)
                    ms1_text += peak_line4(p.mz, p.intensity, c, values[static_cast<size_t>(i)]);
                else
                    ms1_text += peak_line(p.mz, p.intensity);
            }
            ms1_last = n_eff - 1;
            out.converted_ms1++;
        } else {
            const Ms1& pre = ms1[static_cast<size_t>(res.precursor_index)];
            ms2_text += scan_ms2(number, res.precursor_mz, s.start_time, injection,
                                 res.instrument, s.low_mass, s.high_mass,
                                 last_ms1_index + 1, pre.intensity);
            ms2_text += z_lines(res.precursor_mz, pre.charge, charge_state);
            for (int32_t i = 0; i < n_eff; i++) {
                const fixture::Peak& p = s.peaks[static_cast<size_t>(i)];
                ms2_text += peak_line(p.mz, p.intensity);
            }
            out.converted_ms2++;
        }
        out.scans.push_back(res);
    }
    out.ms1 = ms1_text;
    out.ms2 = ms2_text;
}

}  // namespace

Outputs replay(const fixture::File& f, const fixture::Layout& lay)
{
    Replay r{f, lay, {}, {}};
    r.run();
    return r.out;
}

}  // namespace expect
