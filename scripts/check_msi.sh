#!/usr/bin/env bash
# Checks the MSI packages as an administrator deploys them: msiinfo shows each
# one's fixed upgrade code, the package's version and the commit's time (not the
# build's, which would make every build differ). Then Wine's msiexec installs a
# package silently, as a management tool does, into a prefix of the project's
# own: the x64 package into the test prefix (where the x86 one must refuse), the
# x86 one into a 32-bit prefix where 32-bit programs run here. Installed, the
# folder holds that architecture's programs and the files beside them, the Start
# menu its shortcut, and the companion at the path the remediation scripts run
# answers `check` as the build folder's does; a second install of the same
# package leaves one copy, the next version's package replaces it, and msiexec /x
# leaves nothing behind.
# Usage: check_msi.sh BUILD PREFIX VERSION
set -euo pipefail
export LC_ALL=C TZ=UTC WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

usage="usage: check_msi.sh BUILD PREFIX VERSION"
build=$(realpath "${1:?$usage}")
prefix=${2:?$usage}
version=${3:?$usage}
here=$(cd "$(dirname "$0")" && pwd)
errors=0
fail() { echo "msi check: $*" >&2; errors=$((errors + 1)); }

# A second copy of what dist.sh gives: a changed upgrade code would make the next
# version install beside the one it should replace.
declare -A upgrade_code=(
  [x64]={132193B3-25FA-4868-9F90-8EA06AE89CE5}
  [x86]={CBBDEBA8-17AB-40A7-9CD8-7B40C5077C57}
)
declare -A build_of=([x64]=x86_64 [x86]=i686)

zip=$build/dist/quillmere-$version.zip
made=$(unzip -p "$zip" BUILDINFO.txt | sed -nE 's/^(commit|source) time: (.*) UTC .*/\2/p')
made=$(date -u -d "$made" '+%a %b %e %H:%M:%S %Y')
for arch in x64 x86; do
  msi=$build/dist/quillmere-$version-$arch.msi
  properties=$(msiinfo export "$msi" Property | tr -d '\r')
  grep -qxF "UpgradeCode	${upgrade_code[$arch]}" <<<"$properties" ||
    fail "$arch: upgrade code $(sed -n 's/^UpgradeCode\t//p' <<<"$properties"), expected ${upgrade_code[$arch]}"
  grep -qxF "ProductVersion	$version" <<<"$properties" ||
    fail "$arch: version $(sed -n 's/^ProductVersion\t//p' <<<"$properties"), the package is named $version"
  summary=$(msiinfo suminfo "$msi")
  for field in Created 'Last saved'; do
    grep -qxF "$field: $made" <<<"$summary" ||
      fail "$arch: $(grep "^$field:" <<<"$summary"), BUILDINFO.txt names $made"
  done
done

# What an install leaves where it installs: program folders and Start-menu entries.
installed_files() {
  find "$WINEPREFIX/drive_c/"Program\ Files* "$WINEPREFIX/drive_c/users" "$WINEPREFIX/drive_c/ProgramData" \
    -iname "${1:-*quillmere*}" 2>/dev/null || true
}
# The versions of the installed products named Quillmere, in the system's own
# registry view (a 32-bit reg.exe would see the other one on 64-bit Windows).
registered() {
  "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s /reg:64 2>/dev/null |
    tr -d '\r' | awk '/^HKEY/ { ours = 0 } /^ +DisplayName +REG_SZ +Quillmere$/ { ours = 1 }
      ours && /^ +DisplayVersion +REG_SZ/ { print $3 }' | xargs
}
msiexec() {
  local rc=0
  "$wine" msiexec "$1" "Z:${msi//\//\\}" /qn || rc=$?
  wineserver -w
  return $rc
}

# Installs, runs the companion, installs again, installs the next version, removes:
# ARCH WINE PREFIX.
cycle() {
  local arch=$1 from=$build/${build_of[$1]} name expected present installed_rc built_rc
  wine=$2
  export WINEPREFIX=$3
  msi=$build/dist/quillmere-$version-$arch.msi
  local folder="$WINEPREFIX/drive_c/Program Files/Quillmere"
  msiexec /i || { fail "$arch: msiexec /i exits with $?"; return; }
  expected=$(printf '%s\n' quillmere.exe quillmere-cli.exe descriptions.ini README.txt detect.ps1 remediate.ps1 | sort | xargs)
  present=$(find "$folder" -mindepth 1 -printf '%P\n' 2>/dev/null | sort | xargs)
  [ "$present" = "$expected" ] || fail "$arch: installed '$present', expected '$expected'"
  for name in quillmere quillmere-cli; do
    cmp -s "$folder/$name.exe" "$from/$name.exe" || fail "$arch: $name.exe is not the ${build_of[$arch]} build's"
  done
  [ "$(installed_files Quillmere.lnk | grep -c '/Start Menu/Programs/Quillmere.lnk$')" = 1 ] ||
    fail "$arch: no Start-menu shortcut Quillmere.lnk"

  # The companion where the remediation scripts look for it, under Program Files.
  for script in detect.ps1 remediate.ps1; do
    name=$(sed -nE "s/^\\\$companion = Join-Path \\\$folder '(.*)'.*/\\1/p" "$here/dist/$script")
    [ "$name" = 'Quillmere\quillmere-cli.exe' ] || fail "$arch: $script runs '$name', not what the package installs"
  done
  installed_rc=0; "$wine" 'C:\Program Files\Quillmere\quillmere-cli.exe' check >/dev/null 2>&1 || installed_rc=$?
  built_rc=0; "$wine" "$from/quillmere-cli.exe" check >/dev/null 2>&1 || built_rc=$?
  [ "$installed_rc" = "$built_rc" ] ||
    fail "$arch: the installed companion's check exits with $installed_rc, the build folder's with $built_rc"

  msiexec /i || fail "$arch: a second msiexec /i exits with $?"
  [ "$(registered)" = "$version" ] || fail "$arch: installed after a second install: '$(registered)', expected $version"
  [ "$(installed_files quillmere-cli.exe | wc -l)" = 1 ] ||
    fail "$arch: a second install left more than one quillmere-cli.exe"

  # The next version replaces this one, and is what msiexec /x then removes.
  msi=$newer/quillmere-$next-$arch.msi
  msiexec /i || fail "$arch: msiexec /i of version $next exits with $?"
  [ "$(registered)" = "$next" ] || fail "$arch: installed after version $next: '$(registered)', expected $next alone"
  msiexec /x || fail "$arch: msiexec /x exits with $?"
  [ ! -e "$folder" ] || fail "$arch: msiexec /x left $(find "$folder" | xargs)"
  [ -z "$(installed_files)" ] || fail "$arch: msiexec /x left $(installed_files | head -n1)"
  [ -z "$(registered)" ] || fail "$arch: still registered after msiexec /x: $(registered)"
}

# The packages of the next version, made as make dist makes them. A version that
# differs in the fourth field alone would not replace this one: dist.sh refuses it.
IFS=. read -r major minor patch _ <<<"$version"
next=$major.$minor.$((patch + 1)).0
newer=$(mktemp -d)
trap 'rm -rf "$newer"' EXIT
bash "$here/dist.sh" "$build" "$newer/quillmere-$next.zip" https://quillmere.invalid/ https://quillmere.invalid/ >/dev/null
if bash "$here/dist.sh" "$build" "$newer/quillmere-$major.$minor.$patch.1.zip" https://quillmere.invalid/ \
  https://quillmere.invalid/ >/dev/null 2>&1; then
  fail "dist.sh makes MSI packages of $major.$minor.$patch.1, which would install beside $version"
fi

bash "$here/wineprefix.sh" "$build/x86_64/wine" "$prefix"
cycle x64 "$build/x86_64/wine" "$prefix"

# On 64-bit Windows the x86 package must refuse before it installs anything, which
# needs no 32-bit program.
msi=$build/dist/quillmere-$version-x86.msi
if msiexec /i; then fail "x86: installs on 64-bit Windows"; fi
[ -z "$(installed_files)" ] || fail "x86: refused, but left $(installed_files | head -n1) on 64-bit Windows"

runs=$(cat "$build/i686/programs-run-here")
if [ "$runs" = yes ]; then
  WINEARCH=win32 bash "$here/wineprefix.sh" "$build/i686/wine" "$build/wineprefix-32bit"
  cycle x86 "$build/i686/wine" "$build/wineprefix-32bit"
elif [ "${QM_REQUIRE_32BIT:-}" = 1 ]; then
  fail "QM_REQUIRE_32BIT=1, but this machine cannot run the x86 package's programs: ${runs#no: }"
else
  echo "msi check: the x86 package is not installed: this machine cannot run 32-bit Windows programs (${runs#no: })"
fi

if [ "$errors" -gt 0 ]; then
  echo "msi check: FAILED ($errors problems)" >&2
  exit 1
fi
echo "msi check: quillmere-$version-x64.msi and quillmere-$version-x86.msi ok"
