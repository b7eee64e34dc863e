#!/usr/bin/env bash
# The installer under Wine in a fresh prefix: a silent install (autostart value, agent running,
# the uninstall entry with the program's version and size), a silent upgrade (the agent ended
# with its journal's last line and started again, settings kept), an agent that does not end
# (installer and uninstaller stop with their exit code and change nothing), a silent
# uninstall (program, shortcut, autostart and uninstall entry gone; the audit folder with a
# waiting order, the journals and the settings key untouched).
# ZK_RELEASE_DIR=<folder> builds and tests there instead of build/release.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
release="${ZK_RELEASE_DIR:-$root/build/release}"
cmake --preset release -B "$release" >/dev/null
cmake --build "$release" --target uploader agentctl installer stuck_agent >/dev/null
setup_exe="$release/zeltavio-uploader-setup.exe"
stuck_exe="$release/tests/install/stuck_agent.exe"
agentctl_exe="$release/tools/agentctl/agentctl.exe"
size=$(stat -c %s "$release/src/uploader.exe")
echo "release uploader.exe: $size bytes"
[ "$size" -lt $((4 * 1024 * 1024)) ] || { echo "install_test: the release .exe is 4 MB or more" >&2; exit 1; }

export ZK_WINEPREFIX="$release/install-prefix"
rm -rf "$ZK_WINEPREFIX"
source "$root/scripts/xvfb-wine-env.sh"
zk_start_display
stuck_pid=""
cleanup() {
  [ -z "$stuck_pid" ] || kill "$stuck_pid" 2>/dev/null || true
  zk_stop_wineserver
  zk_stop_display
}
trap cleanup EXIT
zk_start_wineserver
w() { "$root/scripts/wine-run.sh" "$@"; }

failures=0
check() {  # check <what> <command...>
  local what="$1"; shift
  if "$@"; then echo "  ok   $what"; else echo "  FAIL $what"; failures=$((failures + 1)); fi
}
# The installed agent of this prefix only, not one of another prefix on this machine.
agent_pattern='Programs.ZELTAVIO EXPRESS UPLOADER.uploader\.exe'
agent_running() {
  local pid
  for pid in $(pgrep -f "$agent_pattern"); do
    tr '\0' '\n' < "/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$ZK_WINEPREFIX" && return 0
  done
  return 1
}
agent_gone() { ! agent_running; }
# The bounds of the waits are for a loaded machine, where a Wine process in a fresh prefix can take
# tens of seconds to start; each wait ends as soon as its condition holds.
wait_for() {  # wait_for <seconds> <command...>
  local n=$(($1 * 10)); shift
  while ! "$@"; do n=$((n - 1)); [ "$n" -gt 0 ] || return 1; sleep 0.1; done
}
reg_has() { w reg query "$1" /v "$2" >/dev/null 2>&1; }
reg_value() {  # reg_value <key> <value>: its data as reg prints it
  w reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk -v v="$2" '$1 == v { sub(/^[ \t]*[^ \t]+[ \t]+[^ \t]+[ \t]+/, ""); print }'
}
# The text of the FileVersion string in a program's version resource.
file_version() {
  python3 - "$1" <<'PY'
import sys
data = open(sys.argv[1], "rb").read()
key = "FileVersion\0".encode("utf-16-le")
at = data.find(key)
if at < 0:
    sys.exit(1)
at += len(key)
while data[at:at + 2] == b"\0\0":  # the padding to the value's 32-bit boundary
    at += 2
end = at
while end < len(data) and data[end:end + 2] != b"\0\0":
    end += 2
print(data[at:end].decode("utf-16-le"))
PY
}
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZeltavioExpressUploader'
settings_key='HKCU\Software\ZELTAVIO\TOLMARIN_SS_UPLOADER'

check "the installer is DPI aware" bash -c "grep -aq 'dpiAware[^>]*>true</dpiAware>' '$setup_exe'"
echo "== silent install"
w "$setup_exe" /S
install_win=$(w reg query "$uninstall_key" /v InstallLocation 2>/dev/null | tr -d '\r' | awk -F'REG_SZ' '/InstallLocation/ {sub(/^[ \t]+/, "", $2); print $2}')
install_dir=$(w winepath -u "$install_win" 2>/dev/null | tr -d '\r')
echo "  installed in $install_win"
journal_dir="$install_dir/_LOGS.UPLOADER.TODO"
starts() { cat "$journal_dir"/*.log 2>/dev/null | grep -c 'Программа запущена' || true; }
started_again() { [ "$(starts)" -gt "$starts_before" ] && agent_running; }
last_line() { cat "$journal_dir"/*.log 2>/dev/null | tr -d '\r' | tail -n 1 | cut -f3-; }
check "under %LOCALAPPDATA%\\Programs" bash -c "[[ '$install_win' == *'AppData\\Local\\Programs\\ZELTAVIO EXPRESS UPLOADER' ]]"
check "program file" test -f "$install_dir/uploader.exe"
check "autostart value" bash -c "'$root/scripts/wine-run.sh' reg query '$run_key' /v ZeltavioExpressUploader 2>/dev/null | grep -q 'uploader.exe'"
check "Start-menu shortcut" bash -c "ls \"$ZK_WINEPREFIX\"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/'Start Menu'/Programs/'ZELTAVIO EXPRESS UPLOADER.lnk' >/dev/null 2>&1"
check "the agent runs" wait_for 120 agent_running
check "its journal starts" wait_for 120 bash -c "cat '$journal_dir'/*.log 2>/dev/null | grep -q 'Программа запущена'"
check "its settings are written" wait_for 60 reg_has "$settings_key" AuthInterval
program_version=$(file_version "$install_dir/uploader.exe" || true)
display_version=$(reg_value "$uninstall_key" DisplayVersion)
echo "  program file version $program_version, DisplayVersion $display_version"
check "DisplayVersion is the program's file version" bash -c "[ -n '$program_version' ] && [ '$display_version' = '$program_version' ]"
files_bytes=$(( $(stat -c %s "$install_dir/uploader.exe") + $(stat -c %s "$install_dir/uninstall.exe") ))
estimated=$(reg_value "$uninstall_key" EstimatedSize)
echo "  EstimatedSize $estimated ($(( estimated )) KB), installed files $files_bytes bytes"
check "EstimatedSize is the installed files' size in KB" bash -c "[ -n '$estimated' ] && [ \$(( $estimated )) -eq $(( (files_bytes + 1023) / 1024 )) ] && [ \$(( $estimated )) -gt 100 ]"

# An order waiting in the default audit folder (the service cannot be reached from here) and a
# setting of the user's own.
order="$install_dir/audit.UPLOAD/Заказ 1"
mkdir -p "$order"
printf 'photo' > "$order/фото.jpg"
w reg add "$settings_key" /v UploadLimitKBps /t REG_SZ /d 123 /f >/dev/null 2>&1

echo "== silent upgrade"
starts_before=$(starts)
w "$setup_exe" /S
check "the old agent wrote its last line" bash -c "cat '$journal_dir'/*.log | tr -d '\r' | grep -q 'Программа завершена'"
check "the new agent runs" wait_for 120 started_again
check "settings kept" bash -c "'$root/scripts/wine-run.sh' reg query '$settings_key' /v UploadLimitKBps 2>/dev/null | grep -q 123"

echo "== an agent that does not end"
# A stand-in with the agent's window that refuses the close request, in place of the real
# agent (ended first through its tray menu: only one agent window may be found).
w "$agentctl_exe" exit >/dev/null 2>&1 || true
check "the agent ended through its menu" wait_for 120 agent_gone
coproc stuck { exec "$root/scripts/wine-run.sh" "$stuck_exe"; }
stuck_pid=$stuck_PID
ready=""
read -r -t 180 ready <&"${stuck[0]}" || true
check "the stand-in's window is up" test "${ready%$'\r'}" = ready
# What a stop must leave as it is: the files (inode, change time, bytes) and the uninstall
# entry, marked here so that any write to it shows.
state() {
  stat -c '%i %z %s' "$install_dir/uploader.exe" "$install_dir/uninstall.exe"
  sha256sum "$install_dir/uploader.exe" "$install_dir/uninstall.exe"
  reg_value "$uninstall_key" DisplayVersion
  ls "$ZK_WINEPREFIX"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/'Start Menu'/Programs/ 2>/dev/null
}
w reg add "$uninstall_key" /v DisplayVersion /t REG_SZ /d 'not written by the stopped run' /f >/dev/null 2>&1
before=$(state)
started=$(date +%s)
rc=0; timeout 180 "$root/scripts/wine-run.sh" "$setup_exe" /S || rc=$?
echo "  the silent install ended with $rc after $(( $(date +%s) - started )) s"
check "the install stops with exit code 3" test "$rc" -eq 3
check "and changes nothing" test "$(state)" = "$before"
# In place (_?=, as the copy the uninstaller starts of itself runs): its exit code is its own.
# The folder's short name, since Wine would quote a parameter with spaces and hide the switch.
short_dir=$(w winepath -s "$install_win" 2>/dev/null | tr -d '\r')
rc=0; timeout 180 "$root/scripts/wine-run.sh" "$install_win\\uninstall.exe" /S "_?=$short_dir" || rc=$?
echo "  the silent uninstall (in $short_dir) ended with $rc"
check "the uninstall stops with exit code 3" test "$rc" -eq 3
check "and removes nothing" test "$(state)" = "$before"
check "the stand-in still runs" kill -0 "$stuck_pid"
[ -z "${stuck[1]:-}" ] || eval "exec ${stuck[1]}>&-"  # its input ends: it ends
check "the stand-in ended" wait_for 120 bash -c "! kill -0 $stuck_pid 2>/dev/null"
wait "$stuck_pid" 2>/dev/null || true
stuck_pid=""

echo "== silent install once it has ended"
starts_before=$(starts)
rc=0; timeout 180 "$root/scripts/wine-run.sh" "$setup_exe" /S || rc=$?
check "the install goes through (exit code 0)" test "$rc" -eq 0
check "and writes the program anew (so the checks above would see a write)" \
  test "$(stat -c '%i %z' "$install_dir/uploader.exe")" != "$(head -n 1 <<<"$before" | cut -d' ' -f1-4)"
check "the uninstall entry is written again" test "$(reg_value "$uninstall_key" DisplayVersion)" = "$program_version"
check "the agent runs again" wait_for 120 started_again

echo "== silent uninstall"
sleep 2
w "$install_win\\uninstall.exe" /S
check "the uninstaller finished" wait_for 180 bash -c "[ ! -e '$install_dir/uninstall.exe' ]"
check "the agent ended" wait_for 120 agent_gone
check "its journal's last line" bash -c "[ \"\$(cat '$journal_dir'/*.log | tr -d '\r' | tail -n 1 | cut -f3-)\" = \$'INFO\tПрограмма завершена' ]"
check "program file gone" test ! -e "$install_dir/uploader.exe"
check "autostart value gone" bash -c "! '$root/scripts/wine-run.sh' reg query '$run_key' /v ZeltavioExpressUploader >/dev/null 2>&1"
check "uninstall entry gone" bash -c "! '$root/scripts/wine-run.sh' reg query '$uninstall_key' >/dev/null 2>&1"
check "shortcut gone" bash -c "! ls \"$ZK_WINEPREFIX\"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/'Start Menu'/Programs/'ZELTAVIO EXPRESS UPLOADER.lnk' >/dev/null 2>&1"
check "the waiting order untouched" bash -c "[ \"\$(cat '$order/фото.jpg')\" = photo ]"
check "journals kept" bash -c "ls '$journal_dir'/*.log >/dev/null 2>&1"
check "settings key kept" reg_has "$settings_key" UploadLimitKBps

if [ "$failures" -gt 0 ]; then
  echo "install_test: $failures check(s) failed" >&2
  exit 1
fi
echo "install_test: all checks passed"
