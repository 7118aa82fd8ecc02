#!/usr/bin/env bash
# Installs, with apt-get, whatever of the build and test tools this machine
# lacks. Safe to run again: nothing is fetched when everything is there.
set -euo pipefail

packages=(
  cmake ninja-build g++ make pkg-config
  googletest libbenchmark-dev libxxhash-dev
  g++-mingw-w64-x86-64-posix wine wine64 xvfb
  fonts-ipafont-gothic fonts-ipafont-mincho
  clang libclang-rt-14-dev
  python3 imagemagick x11-utils procps locales
)

# Wine takes its ANSI code page (932) from the ja_JP.UTF-8 locale, which must
# exist on the machine.
ensure_japanese_locale() {
  locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$' && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >/dev/null
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  ensure_japanese_locale
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -q i386; then :; fi
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
ensure_japanese_locale
