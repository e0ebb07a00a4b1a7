#!/usr/bin/env bash
# Runs a Windows program that opens windows under Wine, on a private virtual
# display. Wine's desktop process belongs to one display, so the program gets
# a Wine session of its own: the tests using it run one at a time, after any
# earlier session has ended, and the session is ended with the program.
set -u
here=$(dirname "$0")
. "$here/wine-prefix.sh"
timeout 60 wineserver -w
bash "$here/xvfb-run.sh" bash -c '"$@"; status=$?; timeout 30 wineserver -k; exit $status' \
    run timeout "${KARUTO_WINE_TIMEOUT:-600}" wine "$@"
