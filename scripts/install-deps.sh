#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build and test tools this machine
# lacks. Safe to run again: nothing is fetched when everything is there.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config
  googletest libbenchmark-dev
  g++-mingw-w64-x86-64-posix wine wine64 xvfb
  fonts-ipafont-gothic fonts-ipafont-mincho
  clang libclang-rt-14-dev
  python3 imagemagick x11-utils procps
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -q i386; then :; fi
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
