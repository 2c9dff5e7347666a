// expect.h -- the number text of peak lines, by exact decimal arithmetic:
// an independent reference for the converter's fast digit routines.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

namespace expect {

// A float32 written with `places` truncated decimals: integer digits
// without leading zeros (none for 0), a point, exactly `places` digits.
// For values below 2^31 in magnitude.
inline std::string fixed(float v, int places)
{
    if (std::isnan(v))
        return "nan";
    if (v < 0)
        return fixed(-v, places).insert(0, 1, '-');
    // long double holds 64 significant bits: a float's fraction times
    // 10^places (at most 24 + 14 bits) is exact, so the one rounding is
    // the one to single precision that the number text does.
    long double x = v, ip = std::truncl(x), scale = 1;
    std::string text;
    for (auto u = static_cast<uint64_t>(ip); u != 0; u /= 10)
        text.insert(text.begin(), static_cast<char>('0' + u % 10));
    for (int i = 0; i < places; i++)
        scale *= 10;
    auto digits = static_cast<int64_t>(static_cast<float>((x - ip) * scale));
    std::string frac;
    for (int i = 0; i < places; i++, digits /= 10)
        frac.insert(frac.begin(), static_cast<char>('0' + digits % 10));
    return text + "." + frac;
}
inline std::string mz(float v) { return fixed(v, 4); }
inline std::string intensity(float v) { return fixed(v, 1); }

}  // namespace expect
