#!/usr/bin/env bash
# Builds every preset and runs every test: natively under AddressSanitizer+UBSan and under
# ThreadSanitizer, and the Windows build under Wine (with Xvfb for the windows and the tray).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
"$root/scripts/setup.sh"
start=$(date +%s)

jobs="${ZK_JOBS:-$(nproc)}"
for preset in native-asan native-tsan windows; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

source "$root/scripts/xvfb-wine-env.sh"
zk_start_display
zk_start_wineserver
trap 'zk_stop_wineserver; zk_stop_display' EXIT

status=0
for preset in native-asan native-tsan windows; do
  echo "== test $preset"
  ctest --preset "$preset" -j "$jobs" || status=1
done
echo "== all tests done in $(( $(date +%s) - start )) s, status $status"
exit $status
