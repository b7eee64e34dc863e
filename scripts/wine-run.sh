#!/usr/bin/env bash
# Runs one Windows program under Wine in the build's own throw-away prefix (the cross-compiling
# emulator of the windows preset). The prefix is made on first use, with the Arial replacement
# that GDI+ needs. Keep one `wineserver -p` running around a test run to save the start-up cost.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${ZK_WINEPREFIX:-$root/build/windows/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# The users' Windows is Russian: ANSI code page 1251 (scripts/setup.sh generates the locale).
if locale -a 2>/dev/null | grep -qi '^ru_RU\.utf8$'; then export LC_ALL=ru_RU.UTF-8 LANG=ru_RU.UTF-8; fi
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
if [ ! -f "$WINEPREFIX/.zk-ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.zk-ready" ]; then
      wineboot -i >/dev/null 2>&1 || true
      wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /t REG_SZ /d 'Liberation Sans' /f >/dev/null 2>&1
      wineserver -w
      touch "$WINEPREFIX/.zk-ready"
    fi
  ) 9>"$(dirname "$WINEPREFIX")/.wineprefix.lock"
fi
exec wine "$@"
