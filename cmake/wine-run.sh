#!/bin/sh
# Runs a Windows program of the build under Wine, with a private prefix inside
# the build directory and the Japanese locale (code page 932) when present.
here=$(cd "$(dirname "$0")" && pwd)
: "${WINEPREFIX:=${QORVANE_WINEPREFIX:-$here/../build/windows/wineprefix}}"
mkdir -p "$WINEPREFIX"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  export LC_ALL=ja_JP.UTF-8
fi
exec /usr/lib/wine/wine64 "$@"
