#!/usr/bin/env bash
# Checks the package as a Windows user receives it: unpacked with the tools at
# hand, exactly the files the read-me names, each program built for the Windows
# its name says and carrying the version the package is named after, the
# descriptions file in the encoding the program reads, and every sum right.
# Usage: check_dist.sh PATH/TO/quillmere-VERSION.zip
set -euo pipefail

zip=$(realpath "${1:?usage: check_dist.sh PATH/TO/quillmere-VERSION.zip}")
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

expected='README.txt SHA256SUMS descriptions.ini quillmere-32bit.exe quillmere-64bit.exe'
present=$(find . -mindepth 1 -printf '%P\n' | LC_ALL=C sort | xargs)
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
}

# Every VS_FIXEDFILEINFO (signature 0xFEEF04BD, structure version 1.0) of the file
# must carry the package's version as its file version, and there must be one.
check_version() {
  local file=$1 offsets found=0 offset ms ls
  [ -f "$file" ] || return 0
  offsets=$(LC_ALL=C grep -obaP '\xBD\x04\xEF\xFE' "$file" | cut -d: -f1 || true)
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

check_machine quillmere-32bit.exe 0x014c
check_machine quillmere-64bit.exe 0x8664
check_version quillmere-32bit.exe
check_version quillmere-64bit.exe

if [ -f descriptions.ini ]; then
  [ "$(od -An -tx1 -N2 descriptions.ini | tr -d ' ')" = fffe ] || fail "descriptions.ini: no UTF-16LE byte-order mark"
  text=$(iconv -f UTF-16 -t UTF-8 descriptions.ini) || fail "descriptions.ini: not UTF-16"
  for section in en de; do
    grep -q "^\[$section\]"$'\r$' <<<"$text" || fail "descriptions.ini: no section [$section]"
  done
fi

# Notepad before Windows 10 shows a file without CR as one long line.
if [ -f README.txt ]; then
  [ -s README.txt ] || fail "README.txt is empty"
  [ "$(grep -c $'\r$' README.txt)" = "$(wc -l <README.txt)" ] || fail "README.txt: lines without CRLF"
fi

if [ -f SHA256SUMS ]; then
  sha256sum -c --strict --quiet SHA256SUMS || fail "SHA256SUMS: a sum does not match"
  summed=$(sed 's/^[0-9a-f]*  //' SHA256SUMS | LC_ALL=C sort | xargs)
  others=$(find . -type f ! -name SHA256SUMS -printf '%P\n' | LC_ALL=C sort | xargs)
  [ "$summed" = "$others" ] || fail "SHA256SUMS lists '$summed', the package holds '$others'"
fi

if [ "$errors" -gt 0 ]; then
  echo "package check: $(basename "$zip") FAILED ($errors problems)" >&2
  exit 1
fi
echo "package check: $(basename "$zip") ok"
