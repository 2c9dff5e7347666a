#!/usr/bin/env bash
# run.sh BUILD_DIR -- end-to-end throughput, memory and cost per scan and
# per peak of kolvex on synthetic data-dependent runs.
#
# For every file: writes it with the fixture tool, warms the page cache,
# converts it KOLVEX_BENCH_RUNS times (median wall time) and measures, in
# the same run, the I/O floor: reading the input once with large reads plus
# writing as many bytes as kolvex wrote with large writes. Peak resident
# memory is what /usr/bin/time -v reports. "cpu s" is the median user +
# system time of kolvex; on a machine shared with other work it shows the
# converter's own cost when the wall time does not. The file is removed before the
# next one is written, so the scratch folder holds one input at a time.
# Every timed run starts after a sync: no earlier run's dirty pages are
# still being written back, so each one meets the same page cache.
# A file kolvex does not convert (exit status other than 0) gets a row with
# the status and its last message instead of timings.
#
# A twin token writes a run in the style "rd" (below), then its sparse
# twin (kolvex-fixture --twin: the same scans at positions past 2^32, holes
# in between) and prints one line: the time to write the twin, its size and
# the disk it takes (blocks), the median conversion time and peak RSS of
# the twin, and whether its outputs equal the run's.
#
# Environment:
#   KOLVEX_BENCH_SIZES  "VERSION[FLAGS]:MiB ..." and "twinVERSION[:MiB]"
#                       (default "66:100 66:500 66:1000 62:1000 63:1000
#                       64:1000 66r:1000 66rd:3000 twin66"). Flags: r
#                       writes the file as instruments do: event records
#                       by their own counts,
#                       trailers by a field table with the monoisotopic m/z;
#                       d every peak packet self-described. So "66rd:3000"
#                       is a dense version 66 file of about 3 GB. A twin's
#                       run has 100 MiB unless given ("twin66:500").
#   KOLVEX_BENCH_RUNS   conversions per file (default 5)
#   KOLVEX_BENCH_TMP    where the scratch folder goes (default $TMPDIR or /tmp)
#   KOLVEX_BENCH_CPU    a core to pin kolvex and the floor to (default:
#                       none)
# MB in the table is 2^20 bytes.
set -euo pipefail

if [ $# -ne 1 ]; then
    echo "usage: bench/run.sh BUILD_DIR" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
kolvex="$build/kolvex"
fixture="$build/tools/kolvex-fixture"
for tool in "$kolvex" "$fixture" /usr/bin/time; do
    if [ ! -x "$tool" ]; then
        echo "run.sh: $tool is missing (build first: make build)" >&2
        exit 1
    fi
done

sizes=${KOLVEX_BENCH_SIZES:-"66:100 66:500 66:1000 62:1000 63:1000 64:1000 66r:1000 66rd:3000 twin66"}
runs=${KOLVEX_BENCH_RUNS:-5}
cpu=${KOLVEX_BENCH_CPU-}
pin=()
if [ -n "$cpu" ] && command -v taskset >/dev/null; then
    pin=(taskset -c "$cpu")
fi

scratch=$(mktemp -d "${KOLVEX_BENCH_TMP:-${TMPDIR:-/tmp}}/kolvex-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"

now_ns() { date +%s%N; }

# Median of the numbers on standard input.
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# The floor for one input: read it once, write out_bytes bytes, both with
# 8 MiB transfers. Prints the seconds taken.
floor_once() {
    local input=$1 out_bytes=$2 t0 t1
    rm -f floor.out
    sync
    t0=$(now_ns)
    "${pin[@]}" dd if="$input" of=/dev/null bs=8M status=none
    "${pin[@]}" dd if=/dev/zero of=floor.out bs=8M count="$out_bytes" iflag=count_bytes status=none
    t1=$(now_ns)
    rm -f floor.out
    awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.4f\n", (b - a) / 1e9 }'
}

# One conversion; prints "seconds max_rss_kib cpu_seconds" (cpu: user +
# system time, which other work on a busy machine does not inflate) and
# leaves kolvex's exit status in status.txt.
convert_once() {
    local input=$1 t0 t1 status=0
    rm -f "$input.ms1" "$input.ms2"
    sync
    t0=$(now_ns)
    /usr/bin/time -v -o time.txt "${pin[@]}" "$kolvex" "$input" >stdout.txt 2>stderr.txt ||
        status=$?
    t1=$(now_ns)
    echo "$status" >status.txt
    awk -F': ' -v a="$t0" -v b="$t1" '
        /Maximum resident set size/ { r = $2 }
        /User time/ { c += $2 }
        /System time/ { c += $2 }
        END { printf "%.4f %d %.2f\n", (b - a) / 1e9, r, c }' time.txt
}

# The row of a file kolvex did not convert: its status and last message.
refused_row() {
    printf '%-14s %8.1f  kolvex exit %s: %s\n' "$1" "$(awk -v b="$2" 'BEGIN { print b / 1048576 }')" \
        "$(cat status.txt)" "$(tail -n 1 stderr.txt)"
}

# The twin line for token twinVERSION[:MiB].
twin_row() {
    local token=$1 version mb src twin line write_s bytes blocks status same t rss
    version=${token%%:*}
    version=${version#twin}
    mb=100
    if [ "${token#*:}" != "$token" ]; then mb=${token#*:}; fi
    src="v${version}rd_${mb}.RAW"
    twin="twin${version}_${mb}.RAW"
    line=$("$fixture" --version "$version" --size-mb "$mb" --survey-peaks 2000 --frags 10 \
        --frag-peaks 300 --seed 1 --counted-events --real-trailers --described-packets \
        --twin "$twin" "$src" | tail -n 1)
    write_s=$(sed -n 's/.*written in \([0-9.]*\) s$/\1/p' <<<"$line")
    read -r bytes blocks < <(stat -c '%s %b' "$twin")
    convert_once "$src" >/dev/null
    mv "$src.ms1" src.ms1
    mv "$src.ms2" src.ms2
    convert_once "$twin" >/dev/null
    status=$(cat status.txt)
    same=no
    if [ "$status" = 0 ] && cmp -s src.ms1 "$twin.ms1" && cmp -s src.ms2 "$twin.ms2"; then
        same=yes
    fi
    : >times.txt
    : >rss.txt
    if [ "$status" = 0 ]; then
        for _ in $(seq "$runs"); do
            read -r t rss _ < <(convert_once "$twin")
            echo "$t" >>times.txt
            echo "$rss" >>rss.txt
        done
    fi
    t=$(median <times.txt)
    rss=$(sort -n rss.txt | tail -1)
    awk -v name="$twin" -v mb="$mb" -v w="$write_s" -v b="$bytes" -v k="$blocks" \
        -v status="$status" -v t="$t" -v rss="$rss" -v same="$same" 'BEGIN {
        printf "%-14s twin of %d MB written in %.3f s: %.2f GiB, %.1f MB on disk; kolvex exit %d",
               name, mb, w, b / 1073741824, k * 512 / 1048576, status
        if (status == 0)
            printf ", median %.3f s, RSS %.1f MB, outputs equal the run'"'"'s: %s", t, rss / 1024, same
        printf "\n"
    }'
    if [ "$status" != 0 ]; then echo "               $(tail -n 1 stderr.txt)"; fi
    rm -f "$src" "$twin" src.ms1 src.ms2 "$twin.ms1" "$twin.ms2"
}

echo "kolvex end-to-end benchmark: $runs runs a file, median; MB = 2^20 bytes"
echo "kolvex: $kolvex"
printf '%-14s %8s %8s %10s %8s %7s %7s %7s %7s %7s %7s %7s\n' \
    file "size MB" scans peaks "median s" "MB/s" "floor s" "/floor" "cpu s" "RSS MB" \
    "us/scan" "ns/peak"

for entry in $sizes; do
    if [ "${entry#twin}" != "$entry" ]; then
        twin_row "$entry"
        continue
    fi
    version=${entry%%:*}
    mb=${entry##*:}
    flags=${version##*[0-9]}
    version=${version%"$flags"}
    style=()
    case $flags in *r*) style+=(--counted-events --real-trailers) ;; esac
    case $flags in *d*) style+=(--described-packets) ;; esac
    input="v${version}${flags}_${mb}.RAW"
    "$fixture" --version "$version" --size-mb "$mb" --survey-peaks 2000 --frags 10 \
        --frag-peaks 300 --seed 1 "${style[@]}" "$input" >/dev/null
    in_bytes=$(stat -c %s "$input")
    cat "$input" >/dev/null  # warm the page cache

    # One untimed conversion warms the cache for the outputs as well and
    # gives the counts.
    convert_once "$input" >/dev/null
    if [ "$(cat status.txt)" != 0 ]; then
        refused_row "$input" "$in_bytes"
        rm -f "$input" "$input.ms1" "$input.ms2"
        continue
    fi
    scans=$(sed -n 's/.*: \([0-9]*\) scans in the index,.*/\1/p' stderr.txt)
    out_bytes=$(( $(stat -c %s "$input.ms1") + $(stat -c %s "$input.ms2") ))
    peaks=$(cat "$input.ms1" "$input.ms2" | grep -vc '^[HSIZ]' || true)

    : >times.txt
    : >rss.txt
    : >cpus.txt
    : >floors.txt
    for _ in $(seq "$runs"); do
        read -r s r c < <(convert_once "$input")
        echo "$s" >>times.txt
        echo "$r" >>rss.txt
        echo "$c" >>cpus.txt
        floor_once "$input" "$out_bytes" >>floors.txt
    done
    t=$(median <times.txt)
    f=$(median <floors.txt)
    c=$(median <cpus.txt)
    rss=$(sort -n rss.txt | tail -1)
    awk -v name="$input" -v b="$in_bytes" -v scans="$scans" -v peaks="$peaks" \
        -v t="$t" -v f="$f" -v c="$c" -v rss="$rss" 'BEGIN {
        mb = b / 1048576
        printf "%-14s %8.1f %8d %10d %8.3f %7.0f %7.3f %7.2f %7.2f %7.1f %7.2f %7.2f\n",
               name, mb, scans, peaks, t, mb / t, f, t / f, c, rss / 1024,
               t * 1e6 / scans, t * 1e9 / peaks
    }'
    rm -f "$input" "$input.ms1" "$input.ms2"
done
