# Sourced by the test and run scripts: a private X display and one persistent Wine session (wineserver + holder).
zk_root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export WINEPREFIX="${ZK_WINEPREFIX:-$zk_root/build/windows/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
zk_xvfb_pid=""

zk_start_display() {
  local n
  for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then
      Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
      zk_xvfb_pid=$!
      export DISPLAY=":$n"
      for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && return 0; sleep 0.1; done
      echo "Xvfb did not come up on :$n" >&2
      return 1
    fi
  done
  echo "no free X display" >&2
  return 1
}

zk_stop_display() {
  [ -n "$zk_xvfb_pid" ] && kill "$zk_xvfb_pid" 2>/dev/null || true
}

zk_start_wineserver() {
  # First use creates the prefix (wine-run.sh does that under a lock).
  "$zk_root/scripts/wine-run.sh" cmd /c exit 0 >/dev/null 2>&1 || true
  wineserver -p >/dev/null 2>&1 || true
  # Wine's background processes (services, the desktop) inherit the output of the process that
  # starts them; started by a test under ctest they would hold its pipe open until every Wine
  # process ended, and ctest would wait that long for the test. A holder started first with its
  # output on /dev/null starts them and keeps them up for the whole run.
  local holder="$zk_root/build/windows/tools/agentctl/agentctl.exe"
  if [ -f "$holder" ]; then
    "$zk_root/scripts/wine-run.sh" "$holder" hold </dev/null >/dev/null 2>&1 &
    local _
    for _ in $(seq 1 300); do
      zk_prefix_has_desktop && return 0
      sleep 0.1
    done
    echo "the Wine desktop of $WINEPREFIX did not start" >&2
    return 1
  fi
}

# True when an explorer.exe of this prefix runs (another prefix's desktop does not count).
zk_prefix_has_desktop() {
  local p
  for p in /proc/[0-9]*; do
    grep -qa 'explorer.exe' "$p/cmdline" 2>/dev/null || continue
    tr '\0' '\n' < "$p/environ" 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}

zk_stop_wineserver() {
  wineserver -k >/dev/null 2>&1 || true
}
