#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing; when all are
# there it neither installs nor touches the network (no apt-get update either).
# Usage: scripts/setup.sh [--all | --windows | --only PACKAGE...]
#   --all      also what the fuzzers and the browser tests need (clang, Chromium, Node.js)
#   --windows  what the Windows build and its tests under Wine need, and the ja_JP.UTF-8
#              locale that gives Wine code page 932
#   --only     just the packages named (used by scripts/browser-setup.sh)
set -euo pipefail
packages=(build-essential cmake pkg-config libgtest-dev libzip-dev libcurl4-openssl-dev
  python3 python3-lxml zip unzip curl openssl dpkg-dev gdal-bin)
case "${1:-}" in
  --all)
    packages+=(clang libclang-rt-dev chromium)
    # Node.js may come from another source than Debian's package (it then brings its own npm).
    command -v node >/dev/null 2>&1 && command -v npm >/dev/null 2>&1 || packages+=(nodejs npm)
    ;;
  --windows)
    packages=(cmake g++-mingw-w64-x86-64-posix libz-mingw-w64-dev googletest dpkg-dev wine wine64
      locales python3)
    ;;
  --only)
    shift
    packages=("$@")
    ;;
  "") ;;
  *)
    echo "usage: scripts/setup.sh [--all | --windows | --only PACKAGE...]" >&2
    exit 2
    ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
fi
if [ "${1:-}" = "--windows" ] && ! locale -a | grep -qi '^ja_JP\.utf-\?8$'; then
  echo "Generating the ja_JP.UTF-8 locale"
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  $SUDO sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  $SUDO locale-gen >/dev/null
fi
