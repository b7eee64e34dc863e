#!/usr/bin/env bash
# Runs one Windows program under Wine in the build's own throw-away prefix (the cross-compiling
# emulator of the windows preset). The prefix is made on first use, with the Arial replacement
# that GDI+ needs and without the crash dialog (a crashing test ends at once instead of waiting
# for a click). Keep one `wineserver -p` running around a test run to save the start-up cost.
# ZK_WINE_DPI=144 (say) makes the prefix with that LogPixels: its programs run at 150 %. Give
# such a prefix its own ZK_WINEPREFIX; Wine reads the value when each program starts.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${ZK_WINEPREFIX:-$root/build/windows/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# The users' Windows is Russian: ANSI code page 1251 (scripts/setup.sh generates the locale).
if locale -a 2>/dev/null | grep -qi '^ru_RU\.utf8$'; then
  export LC_ALL=ru_RU.UTF-8 LANG=ru_RU.UTF-8
else
  echo "wine-run: the ru_RU.UTF-8 locale is missing (./scripts/setup.sh generates it): Cyrillic names and code page 1251 will be wrong" >&2
fi
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
ready="$WINEPREFIX/.zk-ready-2"
if [ ! -f "$ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$ready" ]; then
      # A prefix is marked ready only when every step worked; a half-made one is made again
      # on the next use.
      if ! wineboot -i >/dev/null 2>&1; then
        echo "wine-run: wineboot failed for $WINEPREFIX (remove the folder to start afresh)" >&2
        exit 1
      fi
      wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /t REG_SZ /d 'Liberation Sans' /f >/dev/null 2>&1 &&
        wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 &&
        { [ -z "${ZK_WINE_DPI:-}" ] || wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$ZK_WINE_DPI" /f >/dev/null 2>&1; } || {
        echo "wine-run: cannot write the prefix's registry in $WINEPREFIX" >&2
        exit 1
      }
      wineserver -w
      touch "$ready"
    fi
  ) 9>"$(dirname "$WINEPREFIX")/.wineprefix.lock"
fi
exec wine "$@"
