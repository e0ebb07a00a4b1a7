#!/usr/bin/env bash
# The Windows command line under Wine: the sample address book converts to the
# expected file byte for byte, with the expected lines and exit statuses.
set -u
exe=${1:?karuto-cli.exe}
source_dir=${2:?source folder}
run="$source_dir/scripts/wine-run.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect_status() { [ "$1" -eq "$2" ] || fail "$3: exit status $1, expected $2"; }

cp "$source_dir/examples/contacts.vcf" "$work/"
cd "$work"

# A relative input path, converted next to itself.
"$run" "$exe" --report contacts.vcf >out.txt 2>err.txt </dev/null
expect_status $? 0 "conversion"
cmp -s "PC→iPhone.vcf" "$source_dir/tests/data/cli_contacts.expected.vcf" || fail "output file differs"
grep -qx '変換処理中...' out.txt || fail "no progress line"
grep -qx '変換が完了しました。' out.txt || fail "no completion line"
grep -qx '入力データ：6件、　出力データ：5件' out.txt || fail "no summary line"
grep -q 'CHARSET=ISO-2022-JP' out.txt || fail "report misses the rejected card"
[ ! -s err.txt ] || fail "unexpected error output: $(cat err.txt)"

# Nobody to ask: the existing output stays, exit status 3.
printf 'keep' > "PC→iPhone.vcf"
"$run" "$exe" contacts.vcf >out.txt 2>err.txt </dev/null
expect_status $? 3 "declined replacement"
[ "$(cat "PC→iPhone.vcf")" = keep ] || fail "declined output was touched"
grep -q '上書きで保存しますか？' err.txt || fail "question not shown"

# --yes replaces it.
"$run" "$exe" --yes contacts.vcf >out.txt 2>err.txt </dev/null
expect_status $? 0 "--yes"
cmp -s "PC→iPhone.vcf" "$source_dir/tests/data/cli_contacts.expected.vcf" || fail "--yes output differs"

# A refused path: one error, no progress line.
"$run" "$exe" missing.vcf >out.txt 2>err.txt </dev/null
expect_status $? 1 "missing input"
grep -qx '変換元ファイルがありません。' err.txt || fail "missing-input message: $(cat err.txt)"
[ ! -s out.txt ] || fail "progress line for a refused path"

# The same file as input and output.
"$run" "$exe" --yes -o contacts.vcf contacts.vcf >out.txt 2>err.txt </dev/null
expect_status $? 1 "same file"
grep -qx '変換元ファイルと添付用ファイルが同じです。' err.txt || fail "same-file message: $(cat err.txt)"

# A usage error, and an empty argument.
"$run" "$exe" --no-such-option >out.txt 2>err.txt </dev/null
expect_status $? 2 "usage error"
"$run" "$exe" "" >out.txt 2>err.txt </dev/null
expect_status $? 2 "empty argument"

# The version, and "--" before a name that starts with "-".
"$run" "$exe" --version >out.txt 2>err.txt </dev/null
expect_status $? 0 "--version"
grep -qx 'karuto [0-9.]*' out.txt || fail "version line: $(cat out.txt)"
cp contacts.vcf ./-dash.vcf
"$run" "$exe" --yes --output=dash-out.vcf -- -dash.vcf >out.txt 2>err.txt </dev/null
expect_status $? 0 "-- and --output="
cmp -s dash-out.vcf "$source_dir/tests/data/cli_contacts.expected.vcf" || fail "-- output differs"

# Windows takes "/" as a separator too, as Git Bash and scripts write paths:
# absolute (Wine's Z: is the root), relative and mixed, with the output
# derived or named, convert as with "\".
mkdir -p sub && cp contacts.vcf sub/
for args in "Z:$work/sub/contacts.vcf" "sub/contacts.vcf" ".\\sub/contacts.vcf" \
            "-o sub/named.vcf sub\\contacts.vcf"; do
    rm -f "sub/PC→iPhone.vcf" sub/named.vcf
    # shellcheck disable=SC2086  # the options are words of their own
    "$run" "$exe" --yes $args >out.txt 2>err.txt </dev/null
    expect_status $? 0 "forward slashes: $args"
    written="sub/PC→iPhone.vcf"
    [ -e sub/named.vcf ] && written=sub/named.vcf
    cmp -s "$written" "$source_dir/tests/data/cli_contacts.expected.vcf" ||
        fail "forward slashes: $args: output differs; $(cat err.txt)"
done

# The replacement leaves no temporary file behind, nor does a refused one.
ls ~kt* >/dev/null 2>&1 && fail "temporary file left: $(ls ~kt*)"
printf 'keep' > readonly.vcf
chmod a-w readonly.vcf
"$run" "$exe" --yes -o readonly.vcf contacts.vcf >out.txt 2>err.txt </dev/null
expect_status $? 1 "read-only output"
[ "$(cat readonly.vcf)" = keep ] || fail "read-only output was touched"
ls ~kt* >/dev/null 2>&1 && fail "temporary file left after a refusal: $(ls ~kt*)"

# Ctrl+C during a conversion: the old output stays and no temporary file is
# left (Wine hands SIGINT to the console's control handlers as Ctrl+C).
cp contacts.vcf big.vcf
while [ "$(stat -c %s big.vcf)" -lt 300000000 ]; do cat big.vcf big.vcf > twice.vcf; mv twice.vcf big.vcf; done
printf 'keep' > big-out.vcf
"$run" "$exe" --yes -o big-out.vcf big.vcf >out.txt 2>err.txt </dev/null &
for _ in $(seq 1 600); do ls ~kt* >/dev/null 2>&1 && break; sleep 0.05; done
pkill -INT -f -- "karuto-cli.exe --yes -o big-out.vcf" || fail "no conversion to interrupt"
wait
grep -q '変換が完了しました' out.txt && fail "the conversion ended before Ctrl+C; make the book bigger"
[ "$(cat big-out.vcf)" = keep ] || fail "interrupted conversion touched the output"
ls ~kt* >/dev/null 2>&1 && fail "temporary file left after Ctrl+C: $(ls ~kt*)"
rm -f big.vcf

# A stray NUL byte breaks the line; the report says where the first one was.
printf 'BEGIN:VCARD\r\nN:a;;;;\0\r\nEND:VCARD\r\n\0BEGIN:VCARD\r\nN:b;;;;\r\nEND:VCARD\r\n\0\0' > zero.vcf
"$run" "$exe" --report -o zero-out.vcf zero.vcf >out.txt 2>err.txt </dev/null
expect_status $? 0 "NUL input"
grep -qx '入力データ：2件、　出力データ：2件' out.txt || fail "NUL input summary: $(cat out.txt)"
grep -q 'NUL文字（0x00）が4個ありました（最初は2行目）' out.txt || fail "NUL report: $(cat out.txt)"

[ "$failures" -eq 0 ] && echo "all checks passed"
exit "$failures"
