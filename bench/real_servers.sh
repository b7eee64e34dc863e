#!/usr/bin/env bash
# The agent .exe under Wine against real, independent servers (bench/real_servers.py says which
# cases): nginx in front of PHP-FPM and PHP's built-in server, running the PHP endpoints of
# bench/php/, all on 127.0.0.1 and started as our own processes. Installs them first
# (scripts/setup.sh servers), builds the agent, makes two test CAs with openssl (a certificate
# for localhost from each) and makes the first trusted for Wine: it goes into
# /usr/local/share/ca-certificates/ and the system bundle before the Wine session starts (Wine
# reads the bundle then), and out again when the run ends, however it ends.
#   bench/real_servers.sh [case number or name ...]    (all cases when none is named)
# ZK_BENCH_WINDOWS names another Windows build folder (bench/common.sh), ZK_REAL_SERVERS_DIR
# another folder for the run's audit folder, store and journals, ZK_WINEPREFIX another prefix.
set -euo pipefail
zk_bench="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
"$zk_bench/../scripts/setup.sh" servers
export ZK_WINEPREFIX="${ZK_WINEPREFIX:-$(cd "$zk_bench/.." && pwd)/build/real_servers_prefix}"
source "$zk_bench/common.sh"
zk_build_windows uploader agentctl
source "$zk_root/scripts/xvfb-wine-env.sh"

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

zk_tmp="$(mktemp -d /tmp/zk-real-servers.XXXXXX)"
export ZK_REAL_SERVERS_TMP="$zk_tmp"
zk_ca_file=/usr/local/share/ca-certificates/zk-bench-real-servers-test-ca.crt
zk_ca_installed=""

zk_cleanup() {
  local pid
  # Whatever the Python run started and did not end (it ends its servers itself).
  if [ -f "$zk_tmp/pids" ]; then
    while read -r pid; do
      if kill -0 "$pid" 2>/dev/null; then
        kill "$pid" 2>/dev/null || true
      fi
    done <"$zk_tmp/pids"
  fi
  zk_stop_wineserver
  zk_stop_display
  if [ -n "$zk_ca_installed" ]; then
    as_root rm -f "$zk_ca_file"
    as_root update-ca-certificates >/dev/null 2>&1 || echo "real_servers: update-ca-certificates failed after removing the test CA" >&2
  fi
  rm -rf "$zk_tmp"
}
trap zk_cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Two CAs, each with a certificate for localhost (Wine ignores IP addresses in certificates).
zk_make_ca() {  # name, subject
  openssl req -x509 -newkey rsa:2048 -nodes -sha256 -days 3 -subj "/CN=$2" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout "$zk_tmp/$1-ca.key" -out "$zk_tmp/$1-ca.crt" 2>/dev/null
  openssl req -newkey rsa:2048 -nodes -sha256 -subj "/CN=localhost" \
    -keyout "$zk_tmp/$1.key" -out "$zk_tmp/$1.csr" 2>/dev/null
  printf 'subjectAltName=DNS:localhost\nbasicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n' \
    >"$zk_tmp/$1.ext"
  openssl x509 -req -sha256 -days 2 -in "$zk_tmp/$1.csr" -CA "$zk_tmp/$1-ca.crt" -CAkey "$zk_tmp/$1-ca.key" \
    -CAcreateserial -extfile "$zk_tmp/$1.ext" -out "$zk_tmp/$1.crt" 2>/dev/null
  openssl verify -CAfile "$zk_tmp/$1-ca.crt" "$zk_tmp/$1.crt" >/dev/null
}
zk_make_ca trusted "ZELTAVIO bench test CA $(date +%s)"
zk_make_ca untrusted "ZELTAVIO bench untrusted CA $(date +%s)"

# Trusted before the Wine session starts: a session of this prefix left running would not see it.
zk_stop_wineserver
as_root cp "$zk_tmp/trusted-ca.crt" "$zk_ca_file"
zk_ca_installed=1
as_root update-ca-certificates >/dev/null 2>&1
openssl verify -CAfile /etc/ssl/certs/ca-certificates.crt "$zk_tmp/trusted.crt" >/dev/null
if openssl verify -CAfile /etc/ssl/certs/ca-certificates.crt "$zk_tmp/untrusted.crt" >/dev/null 2>&1; then
  echo "real_servers: the untrusted certificate verifies against the system bundle" >&2
  exit 1
fi

zk_start_display
zk_start_wineserver
python3 "$zk_bench/real_servers.py" "$@"
