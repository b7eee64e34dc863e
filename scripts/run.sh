#!/usr/bin/env bash
# Demo of the agent's main job on this machine: the reference service on 127.0.0.1 and the
# agent .exe under Wine (and Xvfb when there is no display), configured against it, with a demo
# audit folder of sample orders in build/demo. Interactive: press Enter to end the agent through
# its tray menu; otherwise it ends once the sample orders have arrived.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
"$root/scripts/setup.sh"
echo "== building the reference service and the agent"
cmake --preset native-asan >/dev/null
cmake --build --preset native-asan --target refserver >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows --target uploader agentctl >/dev/null

demo="$root/build/demo"
rm -rf "$demo"
mkdir -p "$demo/audit.UPLOAD" "$demo/logs" "$demo/received" "$demo/elsewhere"
win() { echo "Z:${1//\//\\}"; }

source "$root/scripts/xvfb-wine-env.sh"
own_display=0
if [ -z "${DISPLAY:-}" ]; then zk_start_display; own_display=1; fi
zk_start_wineserver
srv=""
agent=""
cleanup() {
  [ -n "$agent" ] && kill "$agent" 2>/dev/null || true
  [ -n "$srv" ] && kill "$srv" 2>/dev/null || true
  zk_stop_wineserver
  [ "$own_display" = 1 ] && zk_stop_display
}
trap cleanup EXIT
wine_run() { "$root/scripts/wine-run.sh" "$@"; }

echo "== reference service"
"$root/build/native-asan/tools/refserver/refserver" --store "$demo/received" > "$demo/refserver.out" 2>&1 &
srv=$!
for _ in $(seq 100); do grep -q listening "$demo/refserver.out" 2>/dev/null && break; sleep 0.1; done
port=$(awk '/listening/ {print $2}' "$demo/refserver.out")
if [ -z "$port" ]; then
  echo "run.sh: the reference service did not start (no port in $demo/refserver.out):" >&2
  cat "$demo/refserver.out" >&2
  exit 1
fi
echo "listening on http://127.0.0.1:$port (received files go to $demo/received)"

echo "== configuration (HKCU\\Software\\ZELTAVIO\\TOLMARIN_SS_UPLOADER)"
key='HKCU\Software\ZELTAVIO\TOLMARIN_SS_UPLOADER'
wine_run reg delete "$key" /f >/dev/null 2>&1 || true
setting() { wine_run reg add "$key" /v "$1" /t REG_SZ /d "$2" /f >/dev/null 2>&1; echo "  $1 = $2"; }
setting AuthSrv "http://127.0.0.1:$port/ru/99"
setting AuditFolder "$(win "$demo/audit.UPLOAD")"
setting LogsFolder "$(win "$demo/logs")"
setting ChunkSize 1
setting Exst '*.kzo,*.wrx,*.jpg,*.lst'

echo "== sample orders"
o1="$demo/audit.UPLOAD/Заказ 1001 Иванов"
o2="$demo/audit.UPLOAD/Заказ 1002"
o3="$demo/audit.UPLOAD/Пустой заказ"
mkdir -p "$o1" "$o2" "$o3"
head -c 180000 /dev/urandom > "$o1/фото 1.jpg"
head -c 240000 /dev/urandom > "$o1/фото 2.jpg"
printf 'order 1001\r\nprints 10x15: 2\r\n' > "$o1/order.kzo"
head -c 3500000 /dev/urandom > "$o2/большой снимок.jpg"
head -c 120000 /dev/urandom > "$demo/elsewhere/портрет.jpg"
wine_run "$root/build/windows/tools/agentctl/agentctl.exe" shortcut "$(win "$demo/elsewhere/портрет.jpg")" "$(win "$o2/портрет.jpg.lnk")"
find "$demo/audit.UPLOAD" -mindepth 1 | sed "s|$demo/||"
expected=$(find "$demo/audit.UPLOAD" -type f -not -name '*.lnk' -printf '%s\n' | awk '{s+=$1} END {print s + 120000}')

echo "== agent"
wine_run "$root/build/windows/src/uploader.exe" &
agent=$!
for _ in $(seq 600); do
  [ -z "$(find "$demo/audit.UPLOAD" -mindepth 1 -maxdepth 1 2>/dev/null)" ] && break
  sleep 0.2
done
sleep 1
echo "== the service received (file, bytes)"
find "$demo/received" -type f -printf '  %P\t%s\n' | sort
got=$(find "$demo/received" -type f -not -name '*.lst' -not -name received.tsv -printf '%s\n' | awk '{s+=$1} END {print s}')
echo "  order bytes sent: $expected, received without content lists: $got"
status=0
if [ "$got" != "$expected" ]; then
  echo "run.sh: the service received $got bytes of orders, $expected were sent" >&2
  status=1
fi
echo "== audit folder now"
ls -A "$demo/audit.UPLOAD" | sed 's/^/  /'
if [ "$own_display" = 1 ] && import -window root "$demo/screen.png" 2>/dev/null; then
  mkdir -p "$root/docs"
  cp "$demo/screen.png" "$root/docs/balloon.png"
  echo "== screenshot: $demo/screen.png (copied to docs/balloon.png)"
fi
echo "== journal ($demo/logs/_LOGS.UPLOADER.TODO)"
cat "$demo"/logs/_LOGS.UPLOADER.TODO/*.log | sed 's/^\xEF\xBB\xBF//' | sed 's/^/  /'

if [ -t 0 ]; then
  echo
  echo "The agent is running. Copy order folders into $demo/audit.UPLOAD to send them."
  read -r -p "Press Enter to end the agent through its tray menu... " _
fi
wine_run "$root/build/windows/tools/agentctl/agentctl.exe" exit
wait "$agent" || true
agent=""
echo "== journal, last lines"
tail -n 3 "$demo"/logs/_LOGS.UPLOADER.TODO/*.log | sed 's/^/  /'
exit $status
