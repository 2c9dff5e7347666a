// expect.cpp -- truncated decimal text of a float32, computed exactly.
#include "e2e/expect.h"

#include <cmath>
#include <cstdint>

namespace expect {

std::string fixed(float v, int places)
{
    if (std::isnan(v))
        return "nan";
    if (v < 0)
        return fixed(-v, places).insert(0, 1, '-');
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
    auto digits = static_cast<int64_t>(static_cast<float>((x - ip) * scale));
    std::string frac;
    for (int i = 0; i < places; i++, digits /= 10)
        frac.insert(frac.begin(), static_cast<char>('0' + digits % 10));
    return text + "." + frac;
}

}  // namespace expect
