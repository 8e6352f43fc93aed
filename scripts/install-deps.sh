#!/usr/bin/env bash
# Installs the Debian packages Sorvik needs to build and test, when they are missing.
set -euo pipefail

packages=(
  g++ cmake make pkg-config
  libboost-regex-dev libcurl4-openssl-dev libsqlite3-dev libssl-dev
  libgtest-dev libgmock-dev libcpp-httplib-dev
  sqlite3 curl openssl python3
  python3-aiosmtpd dovecot-core dovecot-pop3d
  nginx
  qt6-base-dev libgl-dev fonts-wqy-microhei
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}" >&2
if [ "$(id -u)" -eq 0 ]; then
  SUDO=()
else
  SUDO=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -q
# Services from these packages are started by the tests themselves, never by the package scripts.
if [ ! -e /usr/sbin/policy-rc.d ]; then
  printf '#!/bin/sh\nexit 101\n' | "${SUDO[@]}" tee /usr/sbin/policy-rc.d >/dev/null
  "${SUDO[@]}" chmod +x /usr/sbin/policy-rc.d
  trap '"${SUDO[@]}" rm -f /usr/sbin/policy-rc.d' EXIT
fi
"${SUDO[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
