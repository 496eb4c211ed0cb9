#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need; skips the
# package manager when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libssl-dev zlib1g-dev
  unzip zip p7zip-full par2
  python3 libarchive-tools busybox
  dpkg-dev file binutils lintian desktop-file-utils appstream bash-completion
  xvfb xauth fonts-wine fonts-liberation2 fonts-wqy-microhei
  clang libclang-rt-14-dev
  btrfs-progs xfsprogs
  wine wine64
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -eq 0 ]; then
  exit 0
fi
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
