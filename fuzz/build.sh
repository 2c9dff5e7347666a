#!/usr/bin/env bash
# Builds every libFuzzer harness and the seed writer with clang.
#
# fuzz/build.sh [BUILD_DIR]     (default: build-fuzz in the repository)
#
# BUILD_DIR/fuzz_<name>   one fuzzer per fuzz/fuzz_<name>.cpp
#                         (-fsanitize=fuzzer,address,undefined)
# BUILD_DIR/kolvex-seeds  writes the seed inputs of every harness
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/build-fuzz}"
make -s -f "$root/fuzz/fuzz.mk" -j "$(nproc)" OUT="$out"
echo "built $(ls "$out"/fuzz_* | wc -l) fuzzers and kolvex-seeds in $out"
