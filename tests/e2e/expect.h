// expect.h -- the number text of peak lines, by exact decimal arithmetic:
// an independent reference for the converter's fast digit routines.
#pragma once

#include <string>

namespace expect {

// A float32 written with `places` truncated decimals: integer digits
// without leading zeros (none for 0), a point, exactly `places` digits.
// For non-negative values below 2^31 (negative ones get a leading "-").
std::string fixed(float v, int places);
inline std::string mz(float v) { return fixed(v, 4); }
inline std::string intensity(float v) { return fixed(v, 1); }

}  // namespace expect
