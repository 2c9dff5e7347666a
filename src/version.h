// version.h -- kolvex's version: the output headers' ExtractorVersion and
// the answer to --version.
#pragma once

inline constexpr const char kolvex_version[] = "0.8";
