#!/usr/bin/env bash
# Runs a Windows program of the cross build under Wine, bounded in time. The
# prefix is made on first use (scripts/test.sh makes it before the tests run).
set -u
. "$(dirname "$0")/wine-prefix.sh"
exec timeout "${KARUTO_WINE_TIMEOUT:-600}" wine "$@"
