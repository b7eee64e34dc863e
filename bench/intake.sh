#!/usr/bin/env bash
# Intake figures with the agent's own pauses in place (1 ms per listed file, 3 x 50 ms per chunk):
#  - time for the folder audit to list one order of 10,000 small files (native and under Wine);
#  - splitter throughput on a 1 GiB file at 10 MiB chunks against `split -b` on the same disk.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
root="$zk_root"
files="${1:-10000}"
mib="${2:-1024}"
work="$(mktemp -d -p "$root/build")"
trap 'rm -rf "$work"' EXIT
native="$zk_native"
zk_build_native intake_bench
zk_build_windows intake_bench

echo "== audit: one order of $files small files"
"$native/bench/intake_bench" audit "$work/native" "$files"
source "$root/scripts/xvfb-wine-env.sh"
"$root/scripts/wine-run.sh" "$ZK_BENCH_WINDOWS/bench/intake_bench.exe" audit "Z:${work//\//\\}\\wine" "$files" | tr -d '\r'

echo "== split: $mib MiB file at 10 MiB chunks"
head -c $((mib * 1024 * 1024)) /dev/urandom > "$work/big.bin"
sync
split_line=$("$native/bench/intake_bench" split "$work/big.bin" 10)
echo "splitter native: $split_line"
wine_line=$("$root/scripts/wine-run.sh" "$ZK_BENCH_WINDOWS/bench/intake_bench.exe" split "Z:${work//\//\\}\\big.bin" 10 | tr -d '\r')
echo "splitter wine:   $wine_line"
mkdir -p "$work/split"
t0=$(date +%s.%N)
split -b 10M "$work/big.bin" "$work/split/part."
t1=$(date +%s.%N)
secs=$(echo "$t1 - $t0" | bc -l)
rate=$(awk -v b=$((mib * 1024 * 1024)) -v s="$secs" 'BEGIN { printf "%.1f", b / s / 1e6 }')
echo "split -b 10M:    $(printf '%.3f' "$secs") s $rate MB/s"
n=$(echo "$split_line" | awk '{print $6}')
w=$(echo "$wine_line" | awk '{print $6}')
awk -v n="$n" -v w="$w" -v r="$rate" 'BEGIN { printf "ratio splitter/split: native %.3f, wine %.3f\n", n / r, w / r }'
