#!/usr/bin/env bash
# Installs, with apt-get, whatever of the tools this machine lacks for one
# purpose. Safe to run again: nothing is fetched when everything is there.
#   scripts/install-deps.sh run       building and running the native murvex
#   scripts/install-deps.sh package   building both release packages
#   scripts/install-deps.sh [all]     building everything and running every test (tmux for
#                                     murvex's grid, xterm for its screenshot)
set -euo pipefail

mode="${1:-all}"
run_packages=(cmake ninja-build g++ libxxhash-dev)
package_packages=(g++-mingw-w64-x86-64-posix dpkg-dev file python3 lintian)
case "$mode" in
run) packages=("${run_packages[@]}") ;;
package) packages=("${run_packages[@]}" "${package_packages[@]}") ;;
all)
  packages=(
    "${run_packages[@]}" "${package_packages[@]}" make pkg-config
    googletest libbenchmark-dev
    wine wine64 xvfb
    fonts-ipafont-gothic fonts-ipafont-mincho
    clang libclang-rt-14-dev
    imagemagick x11-utils procps locales
    tmux xterm
  )
  ;;
*)
  echo "usage: scripts/install-deps.sh [run|package|all]" >&2
  exit 2
  ;;
esac

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
  if [ "$mode" = all ]; then ensure_japanese_locale; fi
  exit 0
fi

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -q
$sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
if [ "$mode" = all ]; then ensure_japanese_locale; fi
exit 0
