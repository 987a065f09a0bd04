#!/usr/bin/env bash
# Checks the package as a Windows user receives it: unpacked with the tools at
# hand, exactly the files the read-me names, each program built for the Windows
# its name says and carrying the version the package is named after, the
# descriptions file in the encoding the program reads, the texts with Windows
# line ends, remediation scripts that never report health they did not see (by
# their text), what it was built from, and every sum right, those of the MSI
# packages beside it too. Then what lets anyone rebuild it byte for byte (sorted
# entries, one time, fixed permissions, no extra fields), and the winget and
# Scoop manifests beside it.
# Usage: check_dist.sh PATH/TO/quillmere-VERSION.zip
set -euo pipefail
export LC_ALL=C

zip=$(realpath "${1:?usage: check_dist.sh PATH/TO/quillmere-VERSION.zip}")
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=dist/contents.sh
. "$here/dist/contents.sh"
errors=0
fail() { echo "package check: $*" >&2; errors=$((errors + 1)); }

[[ $(basename "$zip") =~ ^quillmere-([0-9]+\.[0-9]+\.[0-9]+\.[0-9]+)\.zip$ ]] || {
  echo "package check: not a package name: $(basename "$zip")" >&2
  exit 1
}
version=${BASH_REMATCH[1]}

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
cmake -E tar xf "$zip"

exes=()
for p in "${programs[@]}"; do exes+=("$p-32bit.exe" "$p-64bit.exe"); done
expected=$(printf '%s\n' BUILDINFO.txt SHA256SUMS descriptions.ini "${texts[@]}" "${exes[@]}" | sort | xargs)
present=$(find . -mindepth 1 -printf '%P\n' | sort | xargs)
[ "$present" = "$expected" ] || fail "holds '$present', expected '$expected'"

# Little-endian numbers at a byte offset of a file.
u16() { od -An -tu2 --endian=little -j "$2" -N2 "$1" | tr -d ' '; }
u32() { od -An -tu4 --endian=little -j "$2" -N4 "$1" | tr -d ' '; }

# The machine field of the PE header, which decides where Windows runs a program.
check_machine() {
  local file=$1 want=$2 pe
  [ -f "$file" ] || return 0
  if [ "$(od -An -tx1 -N2 "$file" | tr -d ' ')" != 4d5a ]; then fail "$file: no MZ header"; return; fi
  pe=$(u32 "$file" 60)
  if [ "$(od -An -tx1 -j "$pe" -N4 "$file" | tr -d ' ')" != 50450000 ]; then fail "$file: no PE header"; return; fi
  local machine
  machine=$(printf '0x%04x' "$(u16 "$file" $((pe + 4)))")
  [ "$machine" = "$want" ] || fail "$file: machine $machine, expected $want"
  # A link time stamp would make every build differ.
  [ "$(u32 "$file" $((pe + 8)))" = 0 ] || fail "$file: carries a link time stamp"
}

# Every VS_FIXEDFILEINFO (signature 0xFEEF04BD, structure version 1.0) of the file
# must carry the package's version as its file version, and there must be one.
check_version() {
  local file=$1 offsets found=0 offset ms ls
  [ -f "$file" ] || return 0
  offsets=$(grep -obaP '\xBD\x04\xEF\xFE' "$file" | cut -d: -f1 || true)
  for offset in $offsets; do
    [ "$(u32 "$file" $((offset + 4)))" = 65536 ] || continue
    ms=$(u32 "$file" $((offset + 8)))
    ls=$(u32 "$file" $((offset + 12)))
    found=$((found + 1))
    local fixed="$((ms >> 16)).$((ms & 0xffff)).$((ls >> 16)).$((ls & 0xffff))"
    [ "$fixed" = "$version" ] || fail "$file: file version $fixed, package named $version"
  done
  [ "$found" -gt 0 ] || fail "$file: no fixed version information"
}

for p in "${programs[@]}"; do
  check_machine "$p-32bit.exe" 0x014c
  check_machine "$p-64bit.exe" 0x8664
  check_version "$p-32bit.exe"
  check_version "$p-64bit.exe"
done

if [ -f descriptions.ini ]; then
  [ "$(od -An -tx1 -N2 descriptions.ini | tr -d ' ')" = fffe ] || fail "descriptions.ini: no UTF-16LE byte-order mark"
  text=$(iconv -f UTF-16 -t UTF-8 descriptions.ini) || fail "descriptions.ini: not UTF-16"
  for section in en de; do
    grep -q "^\[$section\]"$'\r$' <<<"$text" || fail "descriptions.ini: no section [$section]"
  done
fi

# Notepad before Windows 10 shows a file without CR as one long line.
for f in "${texts[@]}" BUILDINFO.txt; do
  [ -f "$f" ] || continue
  [ -s "$f" ] || fail "$f is empty"
  [ "$(grep -c $'\r$' "$f")" = "$(wc -l <"$f")" ] || fail "$f: lines without CRLF"
done

# The remediation scripts, by their text alone (this machine has no PowerShell):
# a companion that cannot start, crashes or gives no exit code must never pass as
# healthy or repaired, and nothing may reach standard error, which management
# tools count as a failed script. Comments are left out and every run of blanks
# is one space, so the patterns need not spell out either; PowerShell ignores case.
script_text=""
# The numbers of the script's lines that an extended regular expression matches.
lines_matching() { grep -inE "$1" <<<"$script_text" | cut -d: -f1 || true; }
# Whether it matches any of the lines from $2 to $3.
matches_within() { grep -iqE "$1" <<<"$(sed -n "$2,$3p" <<<"$script_text")"; }
check_script() {
  local file=$1 command=$2 call try="" catch="" end="" n last_two exits stderr
  [ -f "$file" ] || return 0
  script_text=$(tr -d '\r' <"$file" |
    sed -E 's/^[[:space:]]*#.*$//; s/[[:space:]]+#.*$//; s/[[:space:]]+/ /g; s/^ //; s/ $//')

  call=$(lines_matching '& ?\$companion\b')
  if [ -z "$call" ]; then fail "$file: does not run the companion"; return; fi
  if [ "$(wc -w <<<"$call")" != 1 ]; then fail "$file: runs the companion more than once"; return; fi
  matches_within '^\$output ?= ?& ?\$companion '"$command"' 2>(\$null|&1)$' "$call" "$call" ||
    fail "$file: does not run \$output = & \$companion $command 2>\$null (or 2>&1), its standard error kept out"
  # The innermost try before the call, the first catch after it, and its end.
  for n in $(lines_matching '^try ?\{$'); do
    if [ "$n" -lt "$call" ]; then try=$n; fi
  done
  for n in $(lines_matching '^\} ?catch ?\{$'); do
    if [ "$n" -gt "$call" ] && [ -z "$catch" ]; then catch=$n; fi
  done
  for n in $(lines_matching '^\}$'); do
    if [ -n "$catch" ] && [ "$n" -gt "$catch" ] && [ -z "$end" ]; then end=$n; fi
  done
  if [ -z "$try" ] || [ -z "$catch" ] || [ -z "$end" ]; then
    fail "$file: the companion does not run inside try { } catch { }"
  else
    matches_within '^\$ErrorActionPreference ?= ?.Stop.$' "$try" "$call" ||
      fail "$file: no \$ErrorActionPreference = 'Stop' inside the try, before the companion"
    matches_within '^\$code ?= ?\$LASTEXITCODE$' "$call" "$catch" ||
      fail "$file: the try does not take \$code from \$LASTEXITCODE"
    matches_within '^Write-Output ' "$catch" "$end" || fail "$file: the catch prints no line with Write-Output"
    matches_within '^exit 1$' "$catch" "$end" || fail "$file: the catch does not exit 1"
  fi
  # 0 only when the companion said 0: the last two lines test for it; no other
  # exit 0, and no exit with a variable's value ($null would exit 0).
  last_two=$(grep -v '^$' <<<"$script_text" | tail -n2 | tr '[:upper:]' '[:lower:]' | paste -sd'|' || true)
  case "$last_two" in
    'if ($code -eq 0) { exit 0 }|exit 1' | 'if ($code -ne 0) { exit 1 }|exit 0') ;;
    *) fail "$file: does not end with exit 0 for a code of 0 and exit 1 for any other or none: '$last_two'" ;;
  esac
  [ "$(lines_matching '\bexit 0\b' | wc -l)" = 1 ] || fail "$file: does not exit 0 once, after the test for 0"
  exits='\bexit\b( ?($|\()| [^01]| [01][^ ;}])'
  [ -z "$(lines_matching "$exits")" ] ||
    fail "$file: an exit other than 'exit 0' or 'exit 1': $(grep -iE "$exits" <<<"$script_text" | head -n1)"
  stderr='write-error|write-host|write-warning|\[console\]::error|writeerrorline|\bthrow\b'
  [ -z "$(lines_matching "$stderr")" ] ||
    fail "$file: writes to standard error: $(grep -iE "$stderr" <<<"$script_text" | head -n1)"
  # What the scripts did before and must go on doing.
  matches_within '\$env:ProgramW6432' 1 '$' || fail "$file: does not look in Program Files through ProgramW6432"
  matches_within 'OutputEncoding.*UTF8Encoding' 1 '$' || fail "$file: does not read the companion's output as UTF-8"
  matches_within 'Select-Object -Last 1' 1 '$' || fail "$file: does not print the companion's last line"
}
check_script detect.ps1 check
check_script remediate.ps1 fix

# The MSI packages beside the zip, which BUILDINFO.txt and SHA256SUMS cover too.
msis=("quillmere-$version-x64.msi" "quillmere-$version-x86.msi")

# Someone rebuilding the package needs the commit and both toolchains.
if [ -f BUILDINFO.txt ]; then
  grep -Eq $'^commit: ([0-9a-f]{40}(, with uncommitted changes)?|unknown, not built from a git checkout)\r$' BUILDINFO.txt ||
    fail "BUILDINFO.txt names no commit"
  for m in "${msis[@]}"; do
    grep -q "^  $m, upgrade code {" BUILDINFO.txt || fail "BUILDINFO.txt does not name $m"
  done
  for tool in compiler linker 'resource compiler'; do
    [ "$(grep -c "^  $tool: " BUILDINFO.txt)" = 2 ] || fail "BUILDINFO.txt: not both architectures' $tool"
  done
fi

# The MSI packages' sums are checked against the packages beside the zip.
if [ -f SHA256SUMS ]; then
  grep -v '\.msi$' SHA256SUMS | sha256sum -c --strict --quiet || fail "SHA256SUMS: a sum does not match"
  grep '\.msi$' SHA256SUMS | (cd "$(dirname "$zip")" && sha256sum -c --strict --quiet) ||
    fail "SHA256SUMS: an MSI package's sum does not match"
  summed=$(sed 's/^[0-9a-f]*  //' SHA256SUMS | sort | xargs)
  others=$( (find . -type f ! -name SHA256SUMS -printf '%P\n'; printf '%s\n' "${msis[@]}") | sort | xargs)
  [ "$summed" = "$others" ] || fail "SHA256SUMS lists '$summed', expected '$others'"
fi

# The archive's own fields, and the manifests beside it.
python3 "$here/check_dist_manifests.py" \
  "$zip" "$version" "${commands[*]}" || errors=$((errors + $?))

if [ "$errors" -gt 0 ]; then
  echo "package check: $(basename "$zip") FAILED ($errors problems)" >&2
  exit 1
fi
echo "package check: $(basename "$zip") ok"
