#!/usr/bin/env bash
# Builds the libFuzzer targets (preset "fuzz", clang with AddressSanitizer and UBSan) and runs
# each from its seeds in fuzz/seeds/<target>, for a time or a number of inputs:
#   scripts/fuzz.sh                 60 s per target
#   scripts/fuzz.sh 300             300 s per target
#   scripts/fuzz.sh --runs 1000000  one million inputs per target
# Prints the inputs run per target; a crash leaves its input in build/fuzz/findings/ and makes
# the script fail.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
"$root/scripts/setup.sh" fuzz
limit=(-max_total_time="${1:-60}")
if [ "${1:-}" = "--runs" ]; then limit=(-runs="${2:?number of inputs}"); fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)" >/dev/null
work="$root/build/fuzz/work"
findings="$root/build/fuzz/findings"
mkdir -p "$findings"
status=0
for target in auth_answer page_resource settings_text chunk_name url_analyzer multipart; do
  corpus="$work/$target"
  mkdir -p "$corpus"
  cp -n "$root/fuzz/seeds/$target"/* "$corpus/"
  log="$work/$target.log"
  if "$root/build/fuzz/fuzz/fuzz_$target" "${limit[@]}" -print_final_stats=1 -artifact_prefix="$findings/$target-" "$corpus" >"$log" 2>&1; then
    result=ok
  else
    result="CRASH (see $log and $findings)"
    status=1
  fi
  runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | awk '{print $2}')
  printf '%-14s %12s inputs  %s\n' "$target" "${runs:-?}" "$result"
done
exit $status
