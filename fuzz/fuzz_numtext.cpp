// fuzz_numtext.cpp -- the number text of peak lines: float bits in, text
// out, into buffers of exactly the size the routines promise to stay in.
//
// Properties: a finite number is an optional "-", digits, and with
// decimals one point and exactly that many digits (for the 1 and 4 of
// the peak columns); every text equals the one the digit rules give,
// computed here the slow way; a peak pair is the two texts and a blank.
#include <cmath>
#include <memory>
#include <string>

#include "harness.h"
#include "output/numtext.h"

namespace {

struct Numbers {
    float mz;          // 0
    float intensity;   // 4
    int32_t integer;   // 8: itoa, intToStr
    uint8_t decimals;  // 12: ftoa's afterpoint, 0..10
    uint8_t width;     // 13: intToStr's minimum width, 0..10
    uint8_t pad[2];
    double wide;       // 16: float2int
};

// Truncated, never rounded; a fraction keeps its leading zeros; an
// integer part of 0 writes no digit; the product is rounded to float
// before the truncation.
std::string slow_ftoa(float n, int32_t decimals)
{
    if (std::isnan(n))
        return "nan";
    if (n < 0)
        return slow_ftoa(-n, decimals).insert(0, 1, '-');
    if (std::isinf(n))
        return "inf";
    std::string text;
    float frac = 0;
    if (n >= 2147483648.0f) {
        char big[64];
        std::snprintf(big, sizeof big, "%.0f", static_cast<double>(n));
        text = big;
    } else {
        int32_t ip = static_cast<int32_t>(n);
        frac = n - static_cast<float>(ip);
        if (ip != 0)
            text = std::to_string(ip);
    }
    if (decimals == 0)
        return text;
    double scaled = static_cast<double>(frac) * std::pow(10.0, decimals);
    int64_t f = static_cast<int64_t>(static_cast<float>(scaled));
    std::string digits = f != 0 ? std::to_string(f) : "";
    if (digits.size() < static_cast<size_t>(decimals))
        digits.insert(0, static_cast<size_t>(decimals) - digits.size(), '0');
    return text + "." + digits;
}

std::string slow_value(float v)
{
    if (std::isnan(v))
        return "nan";
    if (std::isinf(v))
        return v < 0 ? "-inf" : "inf";
    double t = std::trunc(static_cast<double>(v));
    if (t == 0)
        return "";
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", t);
    return text;
}

// "-"? digits* ("." and decimals digits)?
bool well_formed(const std::string& s, int32_t decimals)
{
    size_t i = s.size() > 0 && s[0] == '-' ? 1 : 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        i++;
    if (decimals == 0)
        return i == s.size();
    if (i == s.size() || s[i] != '.')
        return false;
    return s.size() - i - 1 == static_cast<size_t>(decimals) &&
           s.find_first_not_of("0123456789", i + 1) == std::string::npos;
}

// A heap buffer of exactly n bytes: a write past it is a finding.
std::unique_ptr<char[]> exact(size_t n)
{
    return std::unique_ptr<char[]>(new char[n]);
}

void check_ftoa(float n, int32_t decimals)
{
    auto text = exact(ftoa_max);
    int32_t len = ftoa(n, text.get(), decimals);
    std::string got(text.get());
    FUZZ_CHECK(len == static_cast<int32_t>(got.size()));
    FUZZ_CHECK(got == slow_ftoa(n, decimals));
    if (std::isfinite(n) && (decimals == 1 || decimals == 4))
        FUZZ_CHECK(well_formed(got, decimals));
}

}  // namespace

int fuzz_numtext(const uint8_t* data, size_t size)
{
    Numbers v{};
    std::memcpy(&v, data, size < sizeof v ? size : sizeof v);
    int32_t decimals = v.decimals % 11;
    int32_t width = v.width % 11;

    check_ftoa(v.mz, 4);
    check_ftoa(v.intensity, 1);
    check_ftoa(v.mz, decimals);

    auto pair = exact(2 * ftoa_max);
    int32_t len = peak_pair_text(v.mz, v.intensity, pair.get());
    FUZZ_CHECK(std::string(pair.get(), static_cast<size_t>(len)) ==
               slow_ftoa(v.mz, 4) + " " + slow_ftoa(v.intensity, 1));

    auto value = exact(ftoa_max);
    len = value_text(v.intensity, value.get());
    FUZZ_CHECK(std::string(value.get(), static_cast<size_t>(len)) ==
               slow_value(v.intensity));

    auto itext = exact(12);
    FUZZ_CHECK(std::string(itoa(v.integer, itext.get())) ==
               std::to_string(v.integer));
    if (v.integer >= 0) {
        auto digits = exact(11);
        len = intToStr(v.integer, digits.get(), width);
        std::string expect = v.integer != 0 ? std::to_string(v.integer) : "";
        if (expect.size() < static_cast<size_t>(width))
            expect.insert(0, static_cast<size_t>(width) - expect.size(), '0');
        FUZZ_CHECK(std::string(digits.get()) == expect &&
                   len == static_cast<int32_t>(expect.size()));
    }

    int32_t whole = float2int(v.wide);
    if (std::isfinite(v.wide) && std::fabs(v.wide) < 2147483647.0)
        FUZZ_CHECK(whole == static_cast<int32_t>(std::trunc(v.wide)));
    return 0;
}

FUZZ_ENTRY(fuzz_numtext)
