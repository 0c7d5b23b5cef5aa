#!/usr/bin/env bash
# man_page_test.sh KELVANE MANPAGE: the manual names every option --help
# lists and no other, and gives the exit statuses of every mode.
set -uo pipefail
kelvane=$1 page=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$kelvane" --help | grep -oE '(^|[ ,])--[a-z][a-z-]*' | sed 's/^[ ,]//' | sort -u >"$work/help.txt"
# Options the manual documents: the tags of its option paragraphs.
sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$page" | sed -n '/^\.TP/{n;p}' | sed 's/\\-/-/g' |
  grep -oE '(^|[ ."])--[a-z][a-z-]*' | sed 's/^[ ."]//' | sort -u >"$work/man.txt"
[ -s "$work/help.txt" ] || fail "--help lists no options"
diff -u --label "--help" --label "man page" "$work/help.txt" "$work/man.txt" ||
  fail "the manual's options differ from --help"

# Every mode has its line under EXIT STATUS.
sed -n '/^\.SH EXIT STATUS/,/^\.SH /p' "$page" | sed 's/\\-/-/g' >"$work/exit.txt"
for mode in --info --render --texture --thumbnail --check --export --help --version "The viewer"; do
  grep -q -- "$mode" "$work/exit.txt" || fail "no exit status for $mode"
done
[ $failures -eq 0 ] && echo "man page agrees with --help ($(wc -l <"$work/help.txt") options)"
exit $((failures > 0))
