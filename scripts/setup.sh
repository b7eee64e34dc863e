#!/usr/bin/env bash
# Installs what the builds, the tests and the demo need (Debian packages only). Idempotent:
# packages already present are not touched and no network is used then.
set -euo pipefail
packages=(
  cmake ninja-build g++ googletest
  g++-mingw-w64-x86-64 wine wine64
  xvfb xauth fonts-liberation imagemagick x11-utils
  curl util-linux procps bc locales
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# Wine runs in the Russian locale of the agent's users: its ANSI code page is then 1251, and its
# shell links keep Cyrillic paths (under other locales Wine reduces them to "?").
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf8$'; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
