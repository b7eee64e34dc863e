# Sourced by the test and run scripts: a private X display and one persistent wineserver.
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
}

zk_stop_wineserver() {
  wineserver -k >/dev/null 2>&1 || true
}
