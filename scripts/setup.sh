#!/usr/bin/env bash
# Installs what the builds, the tests, the demo and the benchmarks need (Debian packages only).
# Idempotent: packages already present are not touched and no network is used then.
#   scripts/setup.sh         builds, tests, demo, benchmarks, installer
#   scripts/setup.sh fuzz    the same, and clang with libFuzzer for scripts/fuzz.sh
#   scripts/setup.sh servers the same, and the real servers of bench/real_servers.sh (nginx, PHP-FPM,
#                            PHP's command line, openssl); their packages' default instances are not started
# Runs as root, or through sudo; with neither it says what to install and stops.
set -euo pipefail
packages=(
  cmake ninja-build g++ googletest
  g++-mingw-w64-x86-64 wine wine64
  xvfb xauth fonts-liberation imagemagick x11-utils
  curl util-linux procps bc locales python3 nsis
)
if [ "${1:-}" = fuzz ]; then packages+=(clang libclang-rt-14-dev libfuzzer-14-dev); fi
if [ "${1:-}" = servers ]; then packages+=(nginx-light php-fpm php-cli php-xml openssl ca-certificates); fi

# Runs a command as root: directly, or through sudo.
as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null 2>&1; then
    sudo "$@"
  else
    echo "setup: this needs root (or sudo) for: $*" >&2
    return 1
  fi
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if ! as_root true 2>/dev/null; then
    echo "setup: neither root nor sudo here. As root, run:" >&2
    echo "  apt-get update && apt-get install -y ${missing[*]}" >&2
    exit 1
  fi
  as_root apt-get update -qq
  # Servers in the list (nginx, PHP-FPM) would start their default instances on install: a
  # policy that refuses every service start keeps them down (only when no policy is in place, and
  # removed again afterwards).
  policy=/usr/sbin/policy-rc.d
  made_policy=""
  if [ "${1:-}" = servers ] && [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | as_root tee "$policy" >/dev/null
    as_root chmod 755 "$policy"
    made_policy=1
    trap 'as_root rm -f "$policy"' EXIT
  fi
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
  if [ -n "$made_policy" ]; then
    as_root rm -f "$policy"
    trap - EXIT
  fi
fi

# Wine runs in the Russian locale of the agent's users: its ANSI code page is then 1251, and its
# shell links keep Cyrillic paths (under other locales Wine reduces them to "?"). The locale is
# listed in /etc/locale.gen, so that a later locale-gen keeps it.
if [ -f /etc/locale.gen ] && ! grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen; then
  as_root sed -i 's/^# *ru_RU.UTF-8 UTF-8/ru_RU.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' | as_root tee -a /etc/locale.gen >/dev/null
fi
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf8$'; then
  echo "setup: generating the ru_RU.UTF-8 locale"
  if [ -f /etc/locale.gen ] && command -v locale-gen >/dev/null 2>&1; then
    as_root locale-gen >/dev/null
  else
    as_root localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
  fi
fi
