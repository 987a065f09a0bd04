#!/usr/bin/env bash
# Creates (once) the Wine prefix the tests run in: headless graphics, Wine's own
# fonts, no Mono or Gecko installer, and the optical-drive class key present but
# empty.
# Usage: wineprefix.sh WINE PREFIX [x11]
#   WINE: a build folder's Wine launcher (BUILD/ARCH/wine); x11: keep the normal
#   display driver
set -euo pipefail

usage="usage: wineprefix.sh WINE PREFIX [x11]"
wine=${1:?$usage}
prefix=${2:?$usage}
mode=${3:-headless}
case "$prefix" in
  "$HOME/.wine"|"$HOME/.wine/") echo "refusing to use the user's own Wine prefix" >&2; exit 1 ;;
esac

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
stamp=$prefix/.quillmere-ready-$mode

# Wine's own fonts (package fonts-wine), which this Wine does not find where the
# package puts them: without them every text is measured and drawn in a stand-in
# font, unlike on Windows and in the sandbox. Prefixes made before get them too.
copy_fonts() {
  if compgen -G '/usr/share/wine/fonts/*.ttf' >/dev/null; then
    mkdir -p "$prefix/drive_c/windows/Fonts"
    cp -u /usr/share/wine/fonts/*.ttf "$prefix/drive_c/windows/Fonts/"
  fi
}

if [ -f "$stamp" ]; then
  copy_fonts
  exit 0
fi

mkdir -p "$prefix"
"$wine" wineboot -i >/dev/null 2>&1
if [ "$mode" = headless ]; then
  "$wine" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
fi
"$wine" reg add 'HKLM\SYSTEM\CurrentControlSet\Control\Class\{4D36E965-E325-11CE-BFC1-08002BE10318}' /f >/dev/null 2>&1
copy_fonts
wineserver -w
touch "$stamp"
