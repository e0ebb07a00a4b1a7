#!/usr/bin/env bash
# The Windows programs must run from a bare folder: they may import system
# DLLs only, never the MinGW runtime (libstdc++, libgcc_s, libwinpthread).
set -euo pipefail
build=${1:?build folder}
allowed='^(KERNEL32|USER32|GDI32|COMDLG32|COMCTL32|SHELL32|ADVAPI32|OLE32|msvcrt|api-ms-win-.*)\.dll$'
status=0
for exe in "$build"/*.exe; do
    while read -r dll; do
        if ! [[ "$dll" =~ $allowed ]]; then
            echo "$exe imports $dll" >&2
            status=1
        fi
    done < <(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p')
done
exit "$status"
