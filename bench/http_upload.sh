#!/usr/bin/env bash
# One 100 MB file uploaded to the reference service through CHttpClientT (native socket twin and
# the Windows build under Wine with WinINet) and with curl to the same server in the same run.
# Prints MB/s of each and the ratios. Builds what it needs (the service optimised).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
root="$zk_root"
size_mb="${1:-100}"
zk_build_native refserver upload_bench
zk_build_windows upload_bench
work="$(mktemp -d)"
srv=""
trap '[ -n "$srv" ] && kill $srv 2>/dev/null; rm -rf "$work"' EXIT
head -c $((size_mb * 1024 * 1024)) /dev/urandom > "$work/big.bin"

"$zk_refserver" --lean > "$work/port" &
srv=$!
for _ in $(seq 50); do grep -q listening "$work/port" 2>/dev/null && break; sleep 0.1; done
port=$(awk '{print $2}' "$work/port")
url="http://127.0.0.1:$port/bench"

rate() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.1f", b / s / 1e6 }'; }

native_line=$("$zk_native/bench/upload_bench" "$url" "$work/big.bin")
native_rate=$(echo "$native_line" | awk '{print $4}')

source "$root/scripts/xvfb-wine-env.sh"
wine_line=$("$root/scripts/wine-run.sh" "$ZK_BENCH_WINDOWS/bench/upload_bench.exe" "$url" "Z:${work//\//\\}\\big.bin" | tr -d '\r')
wine_rate=$(echo "$wine_line" | awk '{print $4}')

t0=$(date +%s.%N)
curl -s -o /dev/null --data-binary @"$work/big.bin" "$url"
t1=$(date +%s.%N)
curl_rate=$(rate $((size_mb * 1024 * 1024)) "$(echo "$t1 - $t0" | bc -l)")
t0=$(date +%s.%N)
curl -s -o /dev/null -F "IMAGE=@$work/big.bin" "$url"
t1=$(date +%s.%N)
curlf_rate=$(rate $((size_mb * 1024 * 1024)) "$(echo "$t1 - $t0" | bc -l)")

echo "file: ${size_mb} MiB"
echo "CHttpClientT native (socket twin):   $native_rate MB/s"
echo "CHttpClientT Windows (WinINet/Wine): $wine_rate MB/s"
echo "curl --data-binary:                  $curl_rate MB/s"
echo "curl -F (multipart):                 $curlf_rate MB/s"
awk -v a="$native_rate" -v b="$wine_rate" -v c="$curl_rate" 'BEGIN {
  printf "ratio native/curl:  %.3f\nratio wine/curl:    %.3f\n", a / c, b / c }'
