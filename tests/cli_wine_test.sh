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

# A usage error.
"$run" "$exe" --no-such-option >out.txt 2>err.txt </dev/null
expect_status $? 2 "usage error"

[ "$failures" -eq 0 ] && echo "all checks passed"
exit "$failures"
