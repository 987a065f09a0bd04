#!/usr/bin/env bash
# `make dist`: the zip a Windows user downloads. Each program under names that
# say which Windows it is for, the example descriptions file in the encoding
# the program reads, the read-me and remediation scripts with Windows line ends,
# what the package was built from, and the files' sums. Beside the zip: an MSI
# package per architecture, which installs the same files under the names the
# remediation scripts run, and the manifests for winget and Scoop, which carry
# the sums of the zip and the MSI packages.
#
# The same commit gives the same zip byte for byte, from any folder, on any day,
# under any time zone, umask and locale: the entries are sorted, their times are
# the commit's, their permissions fixed, and they carry no extra fields. So do
# the MSI packages: their codes are derived, not drawn, and every time in them is
# the commit's.
#
# Usage: dist.sh BUILD_DIR OUTPUT_DIR/quillmere-VERSION.zip RELEASE_URL HOMEPAGE
#   RELEASE_URL: the folder the zip and the MSI packages are downloaded from,
#   HOMEPAGE: the product's page, for the manifests.
set -euo pipefail
export LC_ALL=C TZ=UTC
umask 022

usage="usage: dist.sh BUILD_DIR OUTPUT_DIR/quillmere-VERSION.zip RELEASE_URL HOMEPAGE"
build=$(realpath "${1:?$usage}")
zip=$(realpath -m "${2:?$usage}")
release_url=${3:?$usage}
homepage=${4:?$usage}
root=$(cd "$(dirname "$0")/.." && pwd)

# shellcheck source=dist/contents.sh
. "$root/scripts/dist/contents.sh"

identifier=Tolvern.Quillmere
publisher=Tolvern
summary="Lists and repairs the filter drivers of the DVD/CD-ROM drive class."
# No licence is declared for the package; both manifest formats know this word.
license=Proprietary
# Windows knows each architecture's product by its upgrade code: a package with
# the same code and a higher version replaces the installed one. Never change
# them, or a newer package installs beside the older one.
declare -A upgrade_code=(
  [x64]={132193B3-25FA-4868-9F90-8EA06AE89CE5}
  [x86]={CBBDEBA8-17AB-40A7-9CD8-7B40C5077C57}
)

# The caller derives the version from the resource script; an empty or odd one
# would name the package wrongly.
[[ $(basename "$zip") =~ ^quillmere-([0-9]+\.[0-9]+\.[0-9]+\.[0-9]+)\.zip$ ]] || {
  echo "dist.sh: not a package name: $(basename "$zip")" >&2
  exit 1
}
version=${BASH_REMATCH[1]}
# Windows Installer reads a product version as major.minor.build, at most
# 255.255.65535, and ignores a fourth field: a package that differs from the
# installed one in the fourth field alone would install beside it instead of
# replacing it. A release raises the third field.
IFS=. read -r major minor patch fourth <<<"$version"
if [ "$major" -gt 255 ] || [ "$minor" -gt 255 ] || [ "$patch" -gt 65535 ] || [ "$fourth" != 0 ]; then
  echo "dist.sh: version $version cannot name an MSI package: Windows Installer takes at most" \
    "255.255.65535 and ignores a fourth field, which must be 0 (raise the third instead)" >&2
  exit 1
fi
[[ $release_url =~ ^https?://[^[:space:]]+$ ]] || {
  echo "dist.sh: not a release address: '$release_url'" >&2
  exit 1
}
release_url=${release_url%/}
[[ $homepage =~ ^https?://[^[:space:]\"]+$ ]] || {
  echo "dist.sh: not a home page address: '$homepage'" >&2
  exit 1
}

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
msi_stage=$out/msi-stage
msi() { echo "$out/quillmere-$version-$1.msi"; }
rm -rf "$stage" "$msi_stage" "$zip" "$(msi x64)" "$(msi x86)" "$out/winget" "$scoop_file"
mkdir -p "$stage" "$msi_stage" "$winget_dir"

crlf() { sed 's/\r*$/\r/' "$1"; }

for p in "${programs[@]}"; do
  cp "$build/i686/$p.exe" "$stage/$p-32bit.exe"
  cp "$build/x86_64/$p.exe" "$stage/$p-64bit.exe"
done
# The profile functions read UTF-16 with a byte-order mark in any locale; CRLF
# keeps the file readable in older Notepads.
{ printf '\xff\xfe'; crlf "$root/scripts/sandbox/descriptions.ini" | iconv -f UTF-8 -t UTF-16LE; } \
  >"$stage/descriptions.ini"
# The read-me names the MSI packages of this version.
for f in "${texts[@]}"; do
  crlf "$root/scripts/dist/$f" | sed "s/@VERSION@/$version/g" >"$stage/$f"
done

# A name-based GUID (RFC 4122 version 5): the same names give the same code.
derived_guid() {
  python3 -c 'import sys, uuid; print("{%s}" % str(uuid.uuid5(uuid.UUID(sys.argv[1]), sys.argv[2])).upper())' "$1" "$2"
}
# The MSI packages hold each architecture's programs under the names the
# remediation scripts run, beside the zip's texts. wixl draws the package code at
# random and dates the package now, and the cabinet keeps every file's time: the
# files take the commit's time, and the package's summary gets a package code
# derived from what it holds and that time, and the time for both of its dates.
for arch in x64 x86; do
  bits=64bit
  [ "$arch" = x64 ] || bits=32bit
  payload=$msi_stage/$arch
  mkdir -p "$payload"
  for p in "${programs[@]}"; do
    cp "$stage/$p-$bits.exe" "$payload/$p.exe"
  done
  cp "$stage/descriptions.ini" "${texts[@]/#/$stage/}" "$payload/"
  chmod 0644 "$payload"/*
  touch -d "@$epoch" "$payload"/*
  product_code=$(derived_guid "${upgrade_code[$arch]}" "product $version")
  contents=$(cd "$payload" && sha256sum -- * "$root/scripts/dist/quillmere.wxs" | cut -d' ' -f1 | sha256sum | cut -d' ' -f1)
  # Windows takes packages of one code for the same bytes; the time is in them too.
  package_code=$(derived_guid "${upgrade_code[$arch]}" "package $version $epoch $contents")
  # wixl finds the files by relative names only.
  (cd "$payload" && wixl -a "$arch" -D Arch="$arch" -D Version="$version" -D Manufacturer="$publisher" \
    -D UpgradeCode="${upgrade_code[$arch]}" -D ProductCode="$product_code" \
    -o "$(msi "$arch")" "$root/scripts/dist/quillmere.wxs")
  suminfo=$msi_stage/summary-$arch
  mkdir -p "$suminfo"
  # The summary's revision number is the package code; 12 and 13 are the
  # package's creation and last save.
  saved=$(date -u -d "@$epoch" '+%Y/%m/%d %H:%M:%S')
  t=$'\t'
  printf '%s\r\n' "PropertyId${t}Value" "i2${t}l255" "_SummaryInformation${t}PropertyId" \
    "9${t}$package_code" "12${t}$saved" "13${t}$saved" >"$suminfo/_SummaryInformation.idt"
  (cd "$suminfo" && msibuild "$(msi "$arch")" -i _SummaryInformation.idt)
  chmod 0644 "$(msi "$arch")"
  echo "package: $(msi "$arch")"
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
  echo "$time_source time: $(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S') UTC (every file's time in the zip and the MSI packages)"
  echo
  echo "Built with the MinGW-w64 cross compilers:"
  toolchain i686
  toolchain x86_64
  echo "cmake:   $(cmake --version | head -n1)$(origin cmake)"
  echo "ninja:   $(ninja --version)$(origin ninja)"
  echo "zip:     $(zip -v | sed -n 2p | sed 's/^ *//')$(origin zip)"
  echo "wixl:    $(wixl --version)$(origin wixl)"
  echo
  echo "MSI packages built from the same files:"
  for arch in x64 x86; do
    echo "  $(basename "$(msi "$arch")"), upgrade code ${upgrade_code[$arch]}"
  done
  echo
  echo "To rebuild: check out the commit, run 'make dist' with the same"
  echo "tools, and compare the SHA-256 sums of the zip and the MSI packages"
  echo "with the release's."
} | crlf /dev/stdin >"$stage/BUILDINFO.txt"

cd "$stage"
mapfile -t files < <(find . -maxdepth 1 -type f -printf '%P\n' | sort)
# The MSI packages lie beside the zip; their lines check them where they are
# downloaded to.
{ sha256sum "${files[@]}"; (cd "$out" && sha256sum "$(basename "$(msi x64)")" "$(basename "$(msi x86)")"); } >SHA256SUMS
mapfile -t files < <(find . -maxdepth 1 -type f -printf '%P\n' | sort)
chmod 0644 "${files[@]}"
touch -d "@$epoch" "${files[@]}"
# -X: no extra fields (owner, access times), -D: no folder entries.
zip -X -D -q "$zip" "${files[@]}"
echo "package: $zip"

sum=$(sha256sum "$zip" | cut -d' ' -f1)
url="$release_url/$(basename "$zip")"

# winget: the three-file form of the community repository, under the folder
# layout that repository uses. Each architecture has the zip, whose entry names
# its own programs, and its MSI package, which winget tells installed by its
# product code.
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
Installers:
EOF
  for arch in x86:32bit x64:64bit; do
    echo "- Architecture: ${arch%%:*}"
    echo "  InstallerType: zip"
    echo "  InstallerUrl: $url"
    echo "  InstallerSha256: ${sum^^}"
    echo "  NestedInstallerType: portable"
    echo "  NestedInstallerFiles:"
    for c in "${commands[@]}"; do
      echo "  - RelativeFilePath: $c-${arch#*:}.exe"
      echo "    PortableCommandAlias: $c"
    done
  done
  for arch in x86 x64; do
    file=$(msi "$arch")
    echo "- Architecture: $arch"
    echo "  InstallerType: msi"
    echo "  Scope: machine"
    echo "  InstallerUrl: $release_url/$(basename "$file")"
    echo "  InstallerSha256: $(sha256sum "$file" | cut -d' ' -f1 | tr '[:lower:]' '[:upper:]')"
    # Read back from the package, so that the manifest names what it installs.
    echo "  ProductCode: '$(msiinfo export "$file" Property | sed -n 's/^ProductCode\t//p' | tr -d '\r')'"
    echo "  AppsAndFeaturesEntries:"
    echo "  - UpgradeCode: '${upgrade_code[$arch]}'"
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
  printf '{\n  "version": "%s",\n  "description": "%s",\n  "homepage": "%s",\n  "license": "%s",\n' \
    "$version" "$summary" "$homepage" "$license"
  printf '  "architecture": {\n'
  scoop_arch 64bit
  printf ',\n'
  scoop_arch 32bit
  printf '\n  }\n}\n'
} >"$scoop_file"
echo "scoop manifest: $scoop_file"
