#!/usr/bin/env bash
# The real quillmere-cli.exe under Wine, its output read through a pipe as a
# management tool reads it: the help in German as UTF-8, a check that finds a
# filter whose service is missing, and `list --json` whose standard output parses
# as JSON. Nothing may reach standard error but the 32-bit companion's note that
# its 64-bit sibling is missing, beside the JSON.
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
# Standard error must stay empty, unless the first argument is --stderr-allowed.
run() {
  local check_stderr=yes
  if [ "$1" = --stderr-allowed ]; then check_stderr=no; shift; fi
  code=0
  "$@" >"$scratch/out" 2>"$scratch/err" || code=$?
  [ "$check_stderr" = no ] || [ ! -s "$scratch/err" ] || fail "$* wrote to standard error: $(cat "$scratch/err")"
}

# The machine field of the program's PE header: 0x014c for the i686 build.
pe=$(od -An -tu4 --endian=little -j 60 -N4 "$exe" | tr -d ' ')
machine=$(od -An -tx2 --endian=little -j $((pe + 4)) -N2 "$exe" | tr -d ' ')
# A 32-bit program on a 64-bit prefix (one with a SysWOW64 folder) runs as on
# 64-bit Windows, and there finds no 64-bit sibling beside it in the build folder.
sibling_missing=no
if [ "$machine" = 014c ] && [ -d "${WINEPREFIX:?}/drive_c/windows/syswow64" ]; then sibling_missing=yes; fi

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

# `list --json | ConvertFrom-Json`: standard output is the JSON alone. The note
# that the sibling is missing goes to standard error, and only there.
run --stderr-allowed env LC_ALL=en_US.UTF-8 "$wine" "$exe" list --json
[ "$code" = 0 ] || fail "list --json exited with $code, expected 0"
python3 -c 'import json,sys; json.load(sys.stdin)' <"$scratch/out" ||
  fail "list --json wrote no JSON alone to standard output: $(cat "$scratch/out")"
python3 -c 'import json,sys; sys.exit(not any(e["name"] == "QmSmokeGone" for e in json.load(sys.stdin)))' \
  <"$scratch/out" 2>/dev/null || fail "list --json does not list QmSmokeGone: $(cat "$scratch/out")"
note="quillmere-cli-64bit.exe could not be started, so this 32-bit companion did the work as far as Windows lets it"
if [ "$sibling_missing" = yes ]; then
  [ "$(tr -d '\r' <"$scratch/err")" = "$note" ] ||
    fail "list --json wrote to standard error '$(cat "$scratch/err")', expected the note '$note'"
else
  [ ! -s "$scratch/err" ] || fail "list --json wrote to standard error: $(cat "$scratch/err")"
fi

[ "$status" = 0 ] && echo "console smoke test: ok"
exit $status
