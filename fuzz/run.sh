#!/usr/bin/env bash
# Fuzzes every harness, side by side on the machine's cores, and ends with
# one line per harness: inputs run, inputs a second, coverage, findings.
#
# fuzz/run.sh [SECONDS] [BUILD_DIR]   a campaign of SECONDS in all (default
#                                     600), the same time for each harness
# fuzz/run.sh --smoke [BUILD_DIR]     5 seconds a harness with a fixed
#                                     seed, nothing kept: for CI
#
# Seeds are written afresh into BUILD_DIR/seeds (the real files are read
# from ../shared/data when it is there). New inputs collect in
# fuzz/corpus-work/<harness> (not kept in git). A finding is written as
# BUILD_DIR/findings/<harness>/crash-*, leak-*, timeout-* or oom-*; once
# fixed, copy it into fuzz/regression/<harness>/ so that the test suite
# replays it. Exits 1 when there is a finding.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
smoke=0
if [ "${1:-}" = --smoke ]; then
    smoke=1
    shift
    seconds=0
else
    seconds="${1:-600}"
    shift || true
fi
out="${1:-$root/build-fuzz}"

# name:max_len. Whole files for the conversion and the header probe (the
# real files are up to 1 MiB); a unit's region for the others.
harnesses=(convert:1048576 run_header:1048576 event_layout:65536
           event_stream:65536 index:65536 trailer:65536 packet:65536 numtext:24)
cores=$(nproc)
[ "$cores" -le "${#harnesses[@]}" ] || cores=${#harnesses[@]}
if [ "$smoke" = 1 ]; then
    per=5
else
    # Rounds of $cores harnesses side by side, all within SECONDS.
    per=$(( seconds / ((${#harnesses[@]} + cores - 1) / cores) ))
    [ "$per" -ge 1 ] || per=1
fi

"$root/fuzz/build.sh" "$out"
data="$root/../shared/data"
rm -rf "$out/seeds" "$out/logs" "$out/findings" "$out/smoke"
mkdir -p "$out/seeds" "$out/logs"
if [ -d "$data" ]; then
    "$out/kolvex-seeds" "$out/seeds" "$data"
else
    echo "no $data: generated seeds only" >&2
    "$out/kolvex-seeds" "$out/seeds"
fi

run_one() {
    local name="$1" max_len="$2"
    local work="$root/fuzz/corpus-work/$name" opts=()
    if [ "$smoke" = 1 ]; then
        work="$out/smoke/$name"
        opts+=(-seed=1)
    fi
    [ "$name" = numtext ] || opts+=(-dict="$root/fuzz/raw.dict")
    mkdir -p "$work" "$out/findings/$name" "$root/fuzz/regression/$name"
    local rc=0
    "$out/fuzz_$name" -max_total_time="$per" -max_len="$max_len" \
        -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$out/findings/$name/" "${opts[@]}" \
        "$work" "$out/seeds/$name" "$root/fuzz/regression/$name" \
        > "$out/logs/$name.log" 2>&1 || rc=$?
    echo "$rc" > "$out/logs/$name.rc"
}

echo "fuzzing ${#harnesses[@]} harnesses, $per s each, $cores at a time"
for h in "${harnesses[@]}"; do
    while [ "$(jobs -rp | wc -l)" -ge "$cores" ]; do wait -n || true; done
    run_one "${h%%:*}" "${h##*:}" &
done
wait

# One line per harness from libFuzzer's final statistics.
status=0 total=0 failed=0
printf '%-13s %12s %10s %7s %7s %9s\n' harness inputs inputs/s cov ft findings
for h in "${harnesses[@]}"; do
    name="${h%%:*}" log="$out/logs/$name.log"
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1 || true)
    found=$(find "$out/findings/$name" -name 'crash-*' -o -name 'leak-*' \
            -o -name 'timeout-*' -o -name 'oom-*' | wc -l)
    rc=$(cat "$out/logs/$name.rc")
    if [ "$found" -gt 0 ] || [ "$rc" != 0 ]; then
        status=1 failed=$(( failed + 1 ))
        [ "$found" -gt 0 ] || found="rc $rc"
    fi
    set -- $cov
    printf '%-13s %12s %10s %7s %7s %9s\n' "$name" "${runs:-?}" "${rate:-?}" \
        "${2:-?}" "${4:-?}" "$found"
    total=$(( total + ${runs:-0} ))
done
echo "total: $total inputs"
echo "fuzz: $(( ${#harnesses[@]} - failed )) passed, $failed failed"
exit "$status"
