#!/usr/bin/env bash
# Runs a Windows program under Wine the way the tests need it: a Japanese system (ANSI code
# page 932), a Wine prefix of our own under the Windows build folder (created on first use and
# then reused), and no Wine debug chatter on standard error.
# W05_WINEPREFIX overrides the prefix folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
export WINEPREFIX=${W05_WINEPREFIX:-$root/build-win/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
# Neither Mono nor Gecko is needed; without this Wine offers to download them.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree=;mshtml=}
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
wine=$(command -v wine64 || command -v wine)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot --init >/dev/null 2>&1 || true
  wineserver -w
fi
exec "$wine" "$@"
