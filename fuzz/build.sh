#!/usr/bin/env bash
# Builds the libFuzzer target and the seed writer with clang.
#
# fuzz/build.sh [BUILD_DIR]     (default: build-fuzz in the repository)
#
# BUILD_DIR/fuzz_convert   the fuzzer (-fsanitize=fuzzer,address,undefined)
# BUILD_DIR/kolvex-corpus  writes the seed inputs
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/build-fuzz}"
mkdir -p "$out"
cxx="${CXX_FUZZ:-clang++}"
flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -Wall -Wextra -Wconversion)

core=()
for f in "$root"/src/*.cpp "$root"/src/*/*.cpp; do
    case "$f" in */main0.85.cpp) continue ;; esac
    core+=("$f")
done

"$cxx" "${flags[@]}" -fsanitize=fuzzer,address,undefined \
    -fno-sanitize-recover=all -I "$root/src" \
    "${core[@]}" "$root/fuzz/fuzz_convert.cpp" -o "$out/fuzz_convert"
# The fixture library is every tools/ source without a main of its own.
fixture=()
for f in "$root"/tools/*.cpp; do
    grep -q '^int main' "$f" || fixture+=("$f")
done
"$cxx" "${flags[@]}" -I "$root/tools" "${fixture[@]}" \
    "$root/tools/make_corpus.cpp" -o "$out/kolvex-corpus"
echo "built $out/fuzz_convert and $out/kolvex-corpus"
