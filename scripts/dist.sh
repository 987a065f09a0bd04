#!/usr/bin/env bash
# `make dist`: the zip a Windows user downloads. Both programs under names that
# say which Windows they are for, the example descriptions file in the encoding
# the program reads, the read-me with Windows line ends, and the files' sums.
# Usage: dist.sh BUILD_DIR OUTPUT_DIR/quillmere-VERSION.zip
set -euo pipefail

usage="usage: dist.sh BUILD_DIR OUTPUT_DIR/quillmere-VERSION.zip"
build=$(realpath "${1:?$usage}")
zip=$(realpath -m "${2:?$usage}")
root=$(cd "$(dirname "$0")/.." && pwd)

# The caller derives the version from the resource script; an empty or odd one
# would name the package wrongly.
[[ $(basename "$zip") =~ ^quillmere-[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+\.zip$ ]] || {
  echo "dist.sh: not a package name: $(basename "$zip")" >&2
  exit 1
}

stage=$(dirname "$zip")/stage
rm -rf "$stage" "$zip"
mkdir -p "$stage"

cp "$build/i686/quillmere.exe" "$stage/quillmere-32bit.exe"
cp "$build/x86_64/quillmere.exe" "$stage/quillmere-64bit.exe"
# The profile functions read UTF-16 with a byte-order mark in any locale; CRLF
# keeps the file readable in older Notepads.
{ printf '\xff\xfe'; sed 's/$/\r/' "$root/scripts/sandbox/descriptions.ini" | iconv -f UTF-8 -t UTF-16LE; } \
  >"$stage/descriptions.ini"
sed 's/$/\r/' "$root/scripts/dist/README.txt" >"$stage/README.txt"

files=(quillmere-32bit.exe quillmere-64bit.exe descriptions.ini README.txt)
cd "$stage"
sha256sum "${files[@]}" >SHA256SUMS
cmake -E tar cf "$zip" --format=zip "${files[@]}" SHA256SUMS
echo "package: $zip"
