#!/usr/bin/env bash
# Builds and runs the tests: natively under AddressSanitizer+UBSan and under ThreadSanitizer, and
# the Windows build under Wine (with Xvfb for the windows and the tray).
#   scripts/test.sh                 every preset
#   scripts/test.sh windows         one preset: native-asan, native-tsan, windows or release
# The release preset builds the stripped .exe and its installer and runs scripts/install_test.sh.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
all=(native-asan native-tsan windows release)
presets=("${all[@]}")
if [ $# -gt 0 ]; then
  case " ${all[*]} " in
    *" $1 "*) presets=("$1") ;;
    *) echo "usage: scripts/test.sh [native-asan|native-tsan|windows|release]" >&2; exit 2 ;;
  esac
fi
source "$root/scripts/xvfb-wine-env.sh"
trap 'zk_stop_wineserver; zk_stop_display' EXIT
"$root/scripts/setup.sh"
start=$(date +%s)

jobs="${ZK_JOBS:-$(nproc)}"
for preset in "${presets[@]}"; do
  echo "== build $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

case " ${presets[*]} " in
  *" windows "*)
    zk_start_display
    zk_start_wineserver
    ;;
esac

status=0
python3 "$root/scripts/layers.py" || status=1
for preset in "${presets[@]}"; do
  echo "== test $preset"
  if [ "$preset" = release ]; then
    "$root/scripts/install_test.sh" || status=1
  else
    ctest --preset "$preset" -j "$jobs" --output-on-failure || status=1
  fi
done
echo "== tests of ${presets[*]} done in $(( $(date +%s) - start )) s, status $status"
exit $status
