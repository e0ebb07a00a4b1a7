#!/usr/bin/env bash
# Runs a Windows console program of the cross build under Wine, bounded in
# time. The prefix is made once (scripts/test.sh does it before the tests run).
set -u
export WINEPREFIX="${KARUTO_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/karuto-wine}"
export WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko prompts, and no debugger that would wait on a crash.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    timeout 300 wineboot -i >/dev/null 2>&1
    timeout 120 wineserver -w
fi
exec timeout "${KARUTO_WINE_TIMEOUT:-600}" wine "$@"
