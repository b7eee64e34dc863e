#!/usr/bin/env bash
# The installer under Wine in a fresh prefix: a silent install (autostart value, agent running),
# a silent upgrade (the agent ended with its journal's last line and started again, settings
# kept), a silent uninstall (program, shortcut, autostart and uninstall entry gone; the audit
# folder with a waiting order, the journals and the settings key untouched).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null
setup_exe="$root/build/release/zeltavio-uploader-setup.exe"
size=$(stat -c %s "$root/build/release/src/uploader.exe")
echo "release uploader.exe: $size bytes"
[ "$size" -lt $((4 * 1024 * 1024)) ] || { echo "install_test: the release .exe is 4 MB or more" >&2; exit 1; }

export ZK_WINEPREFIX="$root/build/release/install-prefix"
rm -rf "$ZK_WINEPREFIX"
source "$root/scripts/xvfb-wine-env.sh"
zk_start_display
cleanup() { zk_stop_wineserver; zk_stop_display; }
trap cleanup EXIT
zk_start_wineserver
w() { "$root/scripts/wine-run.sh" "$@"; }

failures=0
check() {  # check <what> <command...>
  local what="$1"; shift
  if "$@"; then echo "  ok   $what"; else echo "  FAIL $what"; failures=$((failures + 1)); fi
}
# The installed agent only (not an agent of another Wine prefix on this machine).
agent_pattern='Programs.ZELTAVIO EXPRESS UPLOADER.uploader\.exe'
agent_running() { pgrep -f "$agent_pattern" >/dev/null; }
wait_for() {  # wait_for <seconds> <command...>
  local n=$(($1 * 10)); shift
  while ! "$@"; do n=$((n - 1)); [ "$n" -gt 0 ] || return 1; sleep 0.1; done
}
reg_has() { w reg query "$1" /v "$2" >/dev/null 2>&1; }
run_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZeltavioExpressUploader'
settings_key='HKCU\Software\ZELTAVIO\TOLMARIN_SS_UPLOADER'

echo "== silent install"
w "$setup_exe" /S
install_win=$(w reg query "$uninstall_key" /v InstallLocation 2>/dev/null | tr -d '\r' | awk -F'REG_SZ' '/InstallLocation/ {sub(/^[ \t]+/, "", $2); print $2}')
install_dir=$(w winepath -u "$install_win" 2>/dev/null | tr -d '\r')
echo "  installed in $install_win"
journal_dir="$install_dir/_LOGS.UPLOADER.TODO"
last_line() { cat "$journal_dir"/*.log 2>/dev/null | tr -d '\r' | tail -n 1 | cut -f3-; }
check "under %LOCALAPPDATA%\\Programs" bash -c "[[ '$install_win' == *'AppData\\Local\\Programs\\ZELTAVIO EXPRESS UPLOADER' ]]"
check "program file" test -f "$install_dir/uploader.exe"
check "autostart value" bash -c "'$root/scripts/wine-run.sh' reg query '$run_key' /v ZeltavioExpressUploader 2>/dev/null | grep -q 'uploader.exe'"
check "Start-menu shortcut" bash -c "ls \"$ZK_WINEPREFIX\"/drive_c/users/*/AppData/Roaming/Microsoft/Windows/'Start Menu'/Programs/'ZELTAVIO EXPRESS UPLOADER.lnk' >/dev/null 2>&1"
check "the agent runs" wait_for 30 agent_running
check "its journal starts" wait_for 30 bash -c "cat '$journal_dir'/*.log 2>/dev/null | grep -q 'Программа запущена'"
check "its settings are written" wait_for 10 reg_has "$settings_key" AuthInterval

# An order waiting in the default audit folder (the service cannot be reached from here) and a
# setting of the user's own.
order="$install_dir/audit.UPLOAD/Заказ 1"
mkdir -p "$order"
printf 'photo' > "$order/фото.jpg"
w reg add "$settings_key" /v UploadLimitKBps /t REG_SZ /d 123 /f >/dev/null 2>&1

echo "== silent upgrade"
starts_before=$(cat "$journal_dir"/*.log | grep -c 'Программа запущена')
w "$setup_exe" /S
check "the old agent wrote its last line" bash -c "cat '$journal_dir'/*.log | tr -d '\r' | grep -q 'Программа завершена'"
check "the new agent runs" wait_for 30 bash -c "[ \$(cat '$journal_dir'/*.log | grep -c 'Программа запущена') -gt $starts_before ] && pgrep -f '$agent_pattern' >/dev/null"
check "settings kept" bash -c "'$root/scripts/wine-run.sh' reg query '$settings_key' /v UploadLimitKBps 2>/dev/null | grep -q 123"

echo "== silent uninstall"
sleep 2
w "$install_win\\uninstall.exe" /S
check "the uninstaller finished" wait_for 60 bash -c "[ ! -e '$install_dir/uninstall.exe' ]"
check "the agent ended" wait_for 30 bash -c "! pgrep -f '$agent_pattern' >/dev/null"
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
