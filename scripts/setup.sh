#!/usr/bin/env bash
# Installs the Debian packages the build needs, only those missing; with --tests also the
# servers the tests start on loopback (an SSH server is no part of the program).
set -euo pipefail

packages=(
  build-essential cmake ccache pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-l10n-tools qt6-tools-dev libgl-dev
  libgtest-dev libgmock-dev
  fonts-wqy-microhei
  libssl-dev libssh-dev
  python3 python3-pyftpdlib python3-openssl curl
  desktop-file-utils appstream
  clang-format
)
if [ "${1:-}" = "--tests" ]; then
  packages+=(openssh-server)
fi

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done

if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
