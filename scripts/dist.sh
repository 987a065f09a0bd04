#!/usr/bin/env bash
# `make dist`: the zip a Windows user downloads. Each program under names that
# say which Windows it is for, the example descriptions file in the encoding
# the program reads, the read-me and remediation scripts with Windows line ends,
# what the package was built from, and the files' sums. Beside the zip: the
# manifests for winget and Scoop, which carry the zip's sum.
#
# The same commit gives the same zip byte for byte, from any folder, on any day,
# under any time zone, umask and locale: the entries are sorted, their times are
# the commit's, their permissions fixed, and they carry no extra fields.
#
# Usage: dist.sh BUILD_DIR OUTPUT_DIR/quillmere-VERSION.zip RELEASE_URL
#   RELEASE_URL: the folder the zip is downloaded from, for the manifests.
set -euo pipefail
export LC_ALL=C TZ=UTC
umask 022

usage="usage: dist.sh BUILD_DIR OUTPUT_DIR/quillmere-VERSION.zip RELEASE_URL"
build=$(realpath "${1:?$usage}")
zip=$(realpath -m "${2:?$usage}")
release_url=${3:?$usage}
root=$(cd "$(dirname "$0")/.." && pwd)

# shellcheck source=dist/contents.sh
. "$root/scripts/dist/contents.sh"

identifier=Tolvern.Quillmere
publisher=Tolvern
summary="Lists and repairs the filter drivers of the DVD/CD-ROM drive class."
# No licence is declared for the package; both manifest formats know this word.
license=Proprietary

# The caller derives the version from the resource script; an empty or odd one
# would name the package wrongly.
[[ $(basename "$zip") =~ ^quillmere-([0-9]+\.[0-9]+\.[0-9]+\.[0-9]+)\.zip$ ]] || {
  echo "dist.sh: not a package name: $(basename "$zip")" >&2
  exit 1
}
version=${BASH_REMATCH[1]}
[[ $release_url =~ ^https?://[^[:space:]]+$ ]] || {
  echo "dist.sh: not a release address: '$release_url'" >&2
  exit 1
}
release_url=${release_url%/}

# The commit, and its time for every entry of the zip. Outside a checkout of
# its own (an unpacked source archive) the source has no commit to name.
if [ "$(git -C "$root" rev-parse --show-toplevel 2>/dev/null)" = "$root" ]; then
  commit=$(git -C "$root" rev-parse HEAD)
  epoch=$(git -C "$root" log -1 --format=%ct)
  [ -z "$(git -C "$root" status --porcelain)" ] || commit="$commit, with uncommitted changes"
  time_source=commit
else
  commit="unknown, not built from a git checkout"
  epoch=${SOURCE_DATE_EPOCH:-946684800}
  time_source=source
fi
[[ $epoch =~ ^[0-9]+$ ]] || { echo "dist.sh: not a time in seconds: '$epoch'" >&2; exit 1; }

out=$(dirname "$zip")
stage=$out/stage
winget_dir=$out/winget/manifests/t/Tolvern/Quillmere/$version
scoop_file=$out/quillmere.json
rm -rf "$stage" "$zip" "$out/winget" "$scoop_file"
mkdir -p "$stage" "$winget_dir"

crlf() { sed 's/\r*$/\r/' "$1"; }

for p in "${programs[@]}"; do
  cp "$build/i686/$p.exe" "$stage/$p-32bit.exe"
  cp "$build/x86_64/$p.exe" "$stage/$p-64bit.exe"
done
# The profile functions read UTF-16 with a byte-order mark in any locale; CRLF
# keeps the file readable in older Notepads.
{ printf '\xff\xfe'; crlf "$root/scripts/sandbox/descriptions.ini" | iconv -f UTF-8 -t UTF-16LE; } \
  >"$stage/descriptions.ini"
for f in "${texts[@]}"; do
  crlf "$root/scripts/dist/$f" >"$stage/$f"
done

# A tool as CMake configured it, from the build folder of an architecture.
configured() {
  sed -nE "s/^set\($2 \"([^\"]*)\"\)$/\1/p" "$build/$1"/CMakeFiles/[0-9]*/CMake"$3"Compiler.cmake | head -n1
}
# The Debian package and version a file comes from, where there is dpkg.
origin() {
  local file package
  command -v dpkg-query >/dev/null || return 0
  file=$(realpath -e "$(command -v "$1" || echo "$1")" 2>/dev/null) || return 0
  package=$(dpkg-query -S "$file" 2>/dev/null | head -n1 | cut -d: -f1) || return 0
  [ -z "$package" ] || echo " (Debian package $package $(dpkg-query -W -f='${Version}' "$package"))"
}
toolchain() {
  local arch=$1 cxx rc ld
  cxx=$(configured "$arch" CMAKE_CXX_COMPILER CXX)
  rc=$(configured "$arch" CMAKE_RC_COMPILER RC)
  ld=$("$cxx" -print-prog-name=ld)
  echo "$arch:"
  echo "  compiler:          $("$cxx" --version | head -n1)$(origin "$cxx")"
  echo "  linker:            $(basename "$ld"), $("$ld" --version | head -n1)$(origin "$ld")"
  echo "  resource compiler: $(basename "$rc"), $("$rc" --version | head -n1)$(origin "$rc")"
  echo "  C++ library:       libstdc++.a$(origin "$("$cxx" -print-file-name=libstdc++.a)")"
  echo "  runtime:           libmingw32.a$(origin "$("$cxx" -print-file-name=libmingw32.a)")"
}
{
  echo "Quillmere $version"
  echo
  echo "commit: $commit"
  echo "$time_source time: $(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S') UTC (every file's time in the zip)"
  echo
  echo "Built with the MinGW-w64 cross compilers:"
  toolchain i686
  toolchain x86_64
  echo "cmake:   $(cmake --version | head -n1)$(origin cmake)"
  echo "ninja:   $(ninja --version)$(origin ninja)"
  echo "zip:     $(zip -v | sed -n 2p | sed 's/^ *//')$(origin zip)"
  echo
  echo "To rebuild: check out the commit, run 'make dist' with the same"
  echo "tools, and compare the zip's SHA-256 sum with this package's."
} | crlf /dev/stdin >"$stage/BUILDINFO.txt"

cd "$stage"
mapfile -t files < <(find . -maxdepth 1 -type f -printf '%P\n' | sort)
sha256sum "${files[@]}" >SHA256SUMS
mapfile -t files < <(find . -maxdepth 1 -type f -printf '%P\n' | sort)
chmod 0644 "${files[@]}"
touch -d "@$epoch" "${files[@]}"
# -X: no extra fields (owner, access times), -D: no folder entries.
zip -X -D -q "$zip" "${files[@]}"
echo "package: $zip"

sum=$(sha256sum "$zip" | cut -d' ' -f1)
url="$release_url/$(basename "$zip")"

# winget: the three-file form of the community repository, under the folder
# layout that repository uses. Each architecture's entry names its own programs.
schema=https://aka.ms/winget-manifest
manifest_version=1.12.0
cd "$winget_dir"
cat >"$identifier.yaml" <<EOF
# yaml-language-server: \$schema=$schema.version.$manifest_version.schema.json

PackageIdentifier: $identifier
PackageVersion: $version
DefaultLocale: en-US
ManifestType: version
ManifestVersion: $manifest_version
EOF
{
  cat <<EOF
# yaml-language-server: \$schema=$schema.installer.$manifest_version.schema.json

PackageIdentifier: $identifier
PackageVersion: $version
InstallerType: zip
NestedInstallerType: portable
Installers:
EOF
  for arch in x86:32bit x64:64bit; do
    echo "- Architecture: ${arch%%:*}"
    echo "  InstallerUrl: $url"
    echo "  InstallerSha256: ${sum^^}"
    echo "  NestedInstallerFiles:"
    for c in "${commands[@]}"; do
      echo "  - RelativeFilePath: $c-${arch#*:}.exe"
      echo "    PortableCommandAlias: $c"
    done
  done
  echo "ManifestType: installer"
  echo "ManifestVersion: $manifest_version"
} >"$identifier.installer.yaml"
cat >"$identifier.locale.en-US.yaml" <<EOF
# yaml-language-server: \$schema=$schema.defaultLocale.$manifest_version.schema.json

PackageIdentifier: $identifier
PackageVersion: $version
PackageLocale: en-US
Publisher: $publisher
PackageName: Quillmere
License: $license
ShortDescription: $summary
ManifestType: defaultLocale
ManifestVersion: $manifest_version
EOF
echo "winget manifest: $winget_dir"

# Scoop: one JSON file, the same zip for both architectures, each with its own
# programs on the PATH.
scoop_arch() {
  local bits=$1 sep="" c
  printf '    "%s": {\n      "url": "%s",\n      "hash": "%s",\n      "bin": [' "$bits" "$url" "$sum"
  for c in "${commands[@]}"; do
    printf '%s\n        ["%s", "%s"]' "$sep" "$c-$bits.exe" "$c"
    sep=,
  done
  printf '\n      ]\n    }'
}
{
  printf '{\n  "version": "%s",\n  "description": "%s",\n  "license": "%s",\n' "$version" "$summary" "$license"
  printf '  "architecture": {\n'
  scoop_arch 64bit
  printf ',\n'
  scoop_arch 32bit
  printf '\n  }\n}\n'
} >"$scoop_file"
echo "scoop manifest: $scoop_file"
