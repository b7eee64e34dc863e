#!/usr/bin/env bash
# One 100 MB file uploaded to the reference service through CHttpClientT (native socket twin and
# the Windows build under Wine with WinINet) and with curl to the same server in the same run.
# Prints MB/s of each and the ratios.  Needs the presets built (scripts/test.sh does that).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
size_mb="${1:-100}"
work="$(mktemp -d)"
trap 'kill $srv 2>/dev/null || true; rm -rf "$work"' EXIT
head -c $((size_mb * 1024 * 1024)) /dev/urandom > "$work/big.bin"

"$root/build/native-asan/tools/refserver/refserver" > "$work/port" &
srv=$!
for _ in $(seq 50); do grep -q listening "$work/port" 2>/dev/null && break; sleep 0.1; done
port=$(awk '{print $2}' "$work/port")
url="http://127.0.0.1:$port/bench"

rate() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.1f", b / s / 1e6 }'; }

# Release-like native build for the client figure (the sanitizer build would measure ASan).
native="$root/build/bench-native"
if [ ! -x "$native/bench/upload_bench" ]; then
  cmake -S "$root" -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$native" --target upload_bench >/dev/null
fi
native_line=$("$native/bench/upload_bench" "$url" "$work/big.bin")
native_rate=$(echo "$native_line" | awk '{print $4}')

source "$root/scripts/xvfb-wine-env.sh"
wine_line=$("$root/scripts/wine-run.sh" "$root/build/windows/bench/upload_bench.exe" "$url" "Z:${work//\//\\}\\big.bin" | tr -d '\r')
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
