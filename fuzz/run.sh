#!/usr/bin/env bash
# Fuzzes the whole conversion for SECONDS seconds on one core.
#
# fuzz/run.sh [SECONDS] [BUILD_DIR]   (defaults: 600, build-fuzz)
#
# Starts from the seed inputs and fuzz/regression; new inputs collect in
# fuzz/corpus-work (not kept in git). A finding is written as
# BUILD_DIR/crash-*, leak-*, timeout-* or oom-*; once fixed, copy it into
# fuzz/regression so that the test suite replays it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-600}"
out="${2:-$root/build-fuzz}"
"$root/fuzz/build.sh" "$out"
seeds="$out/seeds"
work="$root/fuzz/corpus-work"
mkdir -p "$seeds" "$work"
"$out/kolvex-corpus" "$seeds"
cd "$out"
# One process, one core: the machine is shared. -timeout and
# -rss_limit_mb turn a hang or a runaway allocation into a finding.
exec ./fuzz_convert -max_total_time="$seconds" \
    -timeout=10 -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
    -dict="$root/fuzz/raw.dict" \
    "$work" "$seeds" "$root/fuzz/regression"
