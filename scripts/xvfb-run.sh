#!/usr/bin/env bash
# Runs a command with a private virtual X display (Xvfb), for the tests of the
# window program. Xvfb picks a free display number itself, so tests may run
# side by side; the display is stopped when the command ends.
set -u
fifo=$(mktemp -u)
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -f "$fifo"' EXIT
display=
read -r -t 30 display <"$fifo"
[ -n "$display" ] || { echo "Xvfb did not start in time" >&2; exit 1; }
export DISPLAY=":$display"
"$@"
