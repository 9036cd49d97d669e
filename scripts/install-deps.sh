#!/usr/bin/env bash
# Installs the Debian packages that building and testing Corvina need, when
# they are missing. As root it installs them; otherwise it prints the command.
set -euo pipefail

packages=(
  cmake g++ make pkg-config
  qt6-base-dev libgl-dev
  qt6-base-private-dev
  libpsl-dev time util-linux
  libgtest-dev libgmock-dev libbenchmark-dev
  nginx curl python3 dbus python3-dbusmock python3-aiosmtpd
  searx openssl
  dpkg-dev desktop-file-utils appstream lintian
  libssl-dev openssl
)
# Extra packages asked for by the caller (e.g. xvfb for screenshots).
packages+=("$@")

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing packages: ${missing[*]}" >&2
  echo "Install them with:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
