#!/usr/bin/env bash
# package_test.sh SOURCE PACKAGE_BUILD: `make package` as a user runs it (a
# hardened Release build of its own), then lintian on the .deb: no error and
# no warning, and the binary carries the distribution's hardening.
set -uo pipefail
source=$1 package_build=$2
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
for tool in lintian readelf dpkg-deb dpkg-buildflags; do
  command -v "$tool" >/dev/null || { fail "no $tool on this machine (scripts/install-deps.sh test)"; exit 1; }
done
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! make -C "$source" package PACKAGE_BUILD="$package_build" JOBS=2 >"$log" 2>&1; then
  tail -20 "$log"
  fail "make package"
  exit 1
fi
deb=$(ls "$package_build"/kelvane_*.deb | head -1)
echo "package: $deb, $(stat -c %s "$deb") bytes"

out=$(lintian --fail-on error,warning "$deb" 2>&1)
status=$?
grep -E '^(E|W): ' <<<"$out" && fail "lintian reports errors or warnings"
[ $status -eq 0 ] && pass "lintian: no error, no warning" || fail "lintian exited with $status: $out"

binary=$(mktemp -d)
dpkg-deb -x "$deb" "$binary"
kelvane=$binary/usr/bin/kelvane
echo "installed binary: $(stat -c %s "$kelvane") bytes"
# Read once: grep -q on a pipe would end readelf early (and fail under pipefail).
segments=$(readelf -lW "$kelvane") dynamic=$(readelf -d "$kelvane")
symbols=$(readelf --dyn-syms -W "$kelvane") sections=$(readelf -SW "$kelvane")
grep -q GNU_RELRO <<<"$segments" && grep -q BIND_NOW <<<"$dynamic" && pass "full RELRO" ||
  fail "no full RELRO (GNU_RELRO and BIND_NOW)"
grep -q '__stack_chk_fail' <<<"$symbols" && pass "stack protector" || fail "no stack protector"
grep -q '_chk@' <<<"$symbols" && pass "fortified calls" || fail "no fortified calls"
grep -q '\.debug_info' <<<"$sections" && fail "the binary keeps its debug information" || pass "stripped"
rm -rf "$binary"
exit $((failures > 0))
