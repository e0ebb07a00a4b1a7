#!/usr/bin/env bash
# The Windows programs must run from a bare folder and be hardened: they may
# import system DLLs only, never the MinGW runtime (libstdc++, libgcc_s,
# libwinpthread); they are built for ASLR with high-entropy addresses and for
# DEP, and carry their relocations. karuto.exe (and its test build) is a
# window program, every other executable a console program.
set -euo pipefail
build=${1:?build folder}
allowed='^(KERNEL32|USER32|GDI32|COMDLG32|COMCTL32|SHELL32|ADVAPI32|OLE32|VERSION|msvcrt|api-ms-win-.*)\.dll$'
shopt -s nocasematch
status=0
fail() { echo "$1: $2" >&2; status=1; }
checked=0
for exe in "$build"/*.exe; do
    [ -e "$exe" ] || continue
    checked=$((checked + 1))
    headers=$(x86_64-w64-mingw32-objdump -p "$exe")
    while read -r dll; do
        [[ "$dll" =~ $allowed ]] || fail "$exe" "imports $dll"
    done < <(sed -n 's/^\s*DLL Name: //p' <<<"$headers")
    for flag in HIGH_ENTROPY_VA DYNAMIC_BASE NX_COMPAT; do
        grep -qw "$flag" <<<"$headers" || fail "$exe" "lacks $flag"
    done
    x86_64-w64-mingw32-objdump -h "$exe" | grep -qw '\.reloc' || fail "$exe" "has no relocations"
    case "$(basename "$exe")" in
        karuto.exe | karuto-recording.exe) subsystem="Windows GUI" ;;
        *) subsystem='Windows CUI' ;;
    esac
    grep -q "^Subsystem.*($subsystem)" <<<"$headers" || fail "$exe" "is not a $subsystem program"
done
[ "$checked" -gt 0 ] || fail "$build" "holds no executables"
[ -e "$build/karuto.exe" ] || fail "$build" "holds no karuto.exe"
[ -e "$build/karuto-cli.exe" ] || fail "$build" "holds no karuto-cli.exe"
exit "$status"
