// precursor.cpp -- precursor lookup in the last survey scan and Z lines.
#include "precursor/precursor.h"

#include <cmath>

#include "output/outfile.h"

static const double tolerance_62 = 0.2;  // and 63
static const double tolerance_64 = 0.02;  // and 66

void reset_ms1(ScanContext& ctx)
{
    ctx.ms1.assign(ms1_initial_size, Ms1Peak{0, 0, 0});
}

/*
 * Sets ctx.precursor_index to the position in ms1 of the peak that matches
 * precursor_mz: a first guess interpolated over the m/z span of the last
 * survey scan (elements 0..ms1_last_peak), then a walk up past the peaks
 * that lie tol or more below p and a walk down past those tol or more
 * above it. The walks never leave the table.
 */
void find_precursor(double precursor_mz, int32_t version, ScanContext& ctx)
{
    const std::vector<Ms1Peak>& m = ctx.ms1;
    double p = precursor_mz;
    double tol = (version == 62 || version == 63) ? tolerance_62 : tolerance_64;
    int32_t last = static_cast<int32_t>(m.size()) - 1;
    // After a survey scan without peaks the list reads as the initial one.
    int32_t l = ctx.ms1_last_peak < 0 ? 0 : ctx.ms1_last_peak;
    if (l > last)
        l = last;

    int32_t k = 0;
    float d = m[static_cast<size_t>(l)].mz - m[0].mz;
    double m0 = m[0].mz;
    if (d != 0 && !std::isnan(d) && p - m0 > 0) {
        double guess = (p - m0) / static_cast<double>(d) * l;
        // A garbage precursor or an unordered list can put the guess
        // anywhere; the walks start from the nearest element.
        if (!(guess > 0))
            k = 0;
        else if (guess >= last)
            k = last;
        else
            k = static_cast<int32_t>(guess);
    }
    while (k < last && p - static_cast<double>(m[static_cast<size_t>(k)].mz) >= tol)
        k++;
    while (k > 0 && static_cast<double>(m[static_cast<size_t>(k)].mz) - p >= tol)
        k--;
    ctx.precursor_index = k;
    // Found only on a peak of the latest survey scan itself, not on one an
    // earlier, longer scan left behind (nor after a scan without peaks).
    ctx.precursor_found =
        k <= ctx.ms1_last_peak &&
        std::fabs(p - static_cast<double>(m[static_cast<size_t>(k)].mz)) < tol;
}

double reported_precursor(const ScanContext& ctx)
{
    double m = ctx.monoisotopic_mz;
    if (ctx.precursor_read && std::isfinite(m) && m > 0)
        return m;
    return ctx.precursor_mz;
}

int32_t lookup_charge(const ScanContext& ctx)
{
    if (ctx.trailer_table && ctx.precursor_read && !ctx.precursor_found)
        return 0;
    return ctx.ms1[static_cast<size_t>(ctx.precursor_index)].charge;
}

/*
 * Moves ctx.precursor_index to the most intense of its neighbours: the
 * window is centred on k (on 3 when k is below 3) and its candidates are
 * taken in the order k, w-2, w-1, w+1, w+2, w+3, w-3, a later one winning
 * only when strictly more intense. Candidates past the table are skipped.
 */
void refine_precursor(int32_t version, ScanContext& ctx)
{
    if (version == 63)
        return;
    const std::vector<Ms1Peak>& a = ctx.ms1;
    int32_t size = static_cast<int32_t>(a.size());
    int32_t k = ctx.precursor_index;
    int32_t w = k > 2 ? k : 3;
    int32_t best = k;
    float max = a[static_cast<size_t>(k)].intensity;
    static const int32_t after[5] = {-2, -1, 1, 2, 3};
    for (int32_t off : after) {
        int32_t j = w + off;
        if (j < size && a[static_cast<size_t>(j)].intensity > max) {
            max = a[static_cast<size_t>(j)].intensity;
            best = j;
        }
    }
    int32_t j = w - 3;
    if (j < size && a[static_cast<size_t>(j)].intensity > max)
        best = j;
    ctx.precursor_index = best;
}

static void z_line(OutFile& out, int32_t z, double mass)
{
    out_printf(out, "Z\t%d\t%.04f\n", z, mass);
}

static void z_pair(OutFile& out, double p)
{
    out_printf(out, "Z\t2\t%.04f\n", p + p - proton_mass);
    out_printf(out, "Z\t3\t%.04f\n", 3.0 * p - two_protons);
}

// Singly protonated mass of the precursor at charge z.
static double mass_at(double p, int32_t z)
{
    return (p - proton_mass) * static_cast<double>(z) + proton_mass;
}

/*
 * Writes the Z lines from the peak charge zp and the trailer charge zt; a
 * charge of 1 or less is unknown. With neither known: charges 2 and 3
 * (the pair). A known trailer charge is always written, last; a known
 * peak charge that differs from it comes before it, and when either is
 * above 4 the pair comes first as well.
 */
void print_charge_lines(OutFile& out, double p, int32_t zp, int16_t zt)
{
    bool peak_known = zp >= 2;
    if (zt <= 1) {
        if (!peak_known || zp > 4)
            z_pair(out, p);
        if (peak_known)
            z_line(out, zp, mass_at(p, zp));
        return;
    }
    if (peak_known && zp != zt) {
        if (zp > 4 || zt > 4)
            z_pair(out, p);
        z_line(out, zp, mass_at(p, zp));
    }
    z_line(out, zt, mass_at(p, zt));
}
