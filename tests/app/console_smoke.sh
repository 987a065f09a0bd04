#!/usr/bin/env bash
# The real quillmere-cli.exe under Wine, its output read through a pipe as a
# management tool reads it: the help in German as UTF-8, and a check that finds a
# filter whose service is missing. Nothing may reach standard error.
# Usage: console_smoke.sh WINE QUILLMERE-CLI.EXE (in the tests' prefix)
set -euo pipefail

wine=${1:?usage: console_smoke.sh WINE QUILLMERE-CLI.EXE}
exe=${2:?usage: console_smoke.sh WINE QUILLMERE-CLI.EXE}
class='HKLM\SYSTEM\CurrentControlSet\Control\Class\{4D36E965-E325-11CE-BFC1-08002BE10318}'
scratch=$(mktemp -d)
clear_values() {
  for value in UpperFilters LowerFilters UpperFiltersRemoved LowerFiltersRemoved; do
    "$wine" reg delete "$class" /v "$value" /f >/dev/null 2>&1 || true
  done
}
trap 'clear_values; rm -rf "$scratch"' EXIT
status=0
fail() { echo "console smoke test: $*"; status=1; }

# Runs the companion; its exit code goes to $code, its output and errors to files.
run() {
  code=0
  "$@" >"$scratch/out" 2>"$scratch/err" || code=$?
  [ ! -s "$scratch/err" ] || fail "$* wrote to standard error: $(cat "$scratch/err")"
}

run env LC_ALL=de_DE.UTF-8 "$wine" "$exe" --help
[ "$code" = 0 ] || fail "--help exited with $code"
iconv -f UTF-8 -t UTF-8 "$scratch/out" >/dev/null || fail "--help did not write UTF-8"
# The 32-bit companion on a 64-bit prefix finds no 64-bit sibling beside it in the
# build folder, and says so at the start of the summary; the rest must follow.
# "Änderungen erfordern Administratorrechte." as UTF-8 bytes, on the last line.
tail -n1 "$scratch/out" | grep -q $'\xc3\x84nderungen erfordern' ||
  fail "--help in German does not end with its summary: $(tail -n1 "$scratch/out")"

clear_values
"$wine" reg add "$class" /v UpperFilters /t REG_MULTI_SZ /d 'QmSmokeGone' /f >/dev/null
run env LC_ALL=en_US.UTF-8 "$wine" "$exe" check
[ "$code" = 1 ] || fail "check exited with $code, expected 1"
case "$(tr -d '\r' <"$scratch/out" | tail -n1)" in
  "QmSmokeGone (UpperFilters): service missing" | *"; QmSmokeGone (UpperFilters): service missing") ;;
  *) fail "check wrote: $(cat "$scratch/out")" ;;
esac

[ "$status" = 0 ] && echo "console smoke test: ok"
exit $status
