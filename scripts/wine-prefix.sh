#!/usr/bin/env bash
# Creates the Wine prefix of the Windows tests once, non-interactively, and
# makes it show Japanese text: a Japanese font stands in for "MS UI Gothic",
# and Wine draws the window frames itself (there is no window manager).
# Sourced by wine-run.sh; safe to call again for an existing prefix.
set -u
export WINEPREFIX="${KARUTO_WINEPREFIX:-${XDG_CACHE_HOME:-$HOME/.cache}/karuto-wine}"
export WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko prompts, and no debugger that would wait on a crash.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

if [ ! -f "$WINEPREFIX/.karuto-ready" ]; then
    (
        # One creator at a time when tests start side by side.
        mkdir -p "$WINEPREFIX"
        exec 9>"$WINEPREFIX.lock"
        flock -w 600 9 || exit 1
        [ -f "$WINEPREFIX/.karuto-ready" ] && exit 0
        timeout 300 wineboot -i >/dev/null 2>&1
        timeout 60 wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
            /v 'MS UI Gothic' /t REG_SZ /d IPAPGothic /f >/dev/null 2>&1
        timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' \
            /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
        # Only the caption-button font: Wine's own Tahoma would win over the
        # Japanese substitute in captions.
        [ -f /usr/share/wine/fonts/marlett.ttf ] &&
            cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
        timeout 120 wineserver -w
        touch "$WINEPREFIX/.karuto-ready"
    ) || { echo "could not create the Wine prefix $WINEPREFIX" >&2; exit 1; }
fi
