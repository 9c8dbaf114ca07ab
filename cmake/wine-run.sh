#!/bin/sh
# Runs a Windows program of the build under Wine with a private prefix.
: "${WINEPREFIX:=${QORVANE_WINEPREFIX:-/tmp/qorvane-wineprefix}}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
exec /usr/lib/wine/wine64 "$@"
