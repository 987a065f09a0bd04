#!/usr/bin/env bash
# `make run`: starts Quillmere in a sandbox Wine prefix of its own, seeded with an
# optical-drive class that has something to show:
#   UpperFilters        DiscCatalog  service runs
#                       BurnBridge   no such service
#   LowerFilters        TrayGuard    kernel driver, stopped
#   LowerFiltersRemoved RipAssist    parked, its driver disabled
#   service cdrom runs, so the status bar says the CD-ROM driver is loaded
#   one CD/DVD drive, which Wine never starts, so the drive part says "not started",
#   with a filter of its own: DiscShield, kernel driver, stopped
# and a descriptions.ini in the program's current folder.
#
# The sandbox (build/sandbox) is kept between runs, so whatever the program changes
# there stays; `make sandbox-reset` throws it away and the next run seeds it anew.
#
# With a display ($DISPLAY set) the program opens there and this script waits until
# it is closed. Without one it runs under Xvfb, a screenshot of the window is saved
# (QM_SCREENSHOT=file.png names the file; default build/sandbox/screenshot-LANG.png),
# and the program is closed again.
#
# Language: QM_LANG=de starts the session in German, QM_LANG=en in English; unset,
# Wine follows the user's own locale.
#
# Scaling: QM_DPI=144 shows the program as Windows does at 150 % (120 for 125 %,
# 192 for 200 %); unset, at 96 (100 %). Wine takes it from LogPixels.
#
# Usage: run.sh PATH/TO/quillmere.exe
set -euo pipefail

exe=$(realpath "${1:?usage: run.sh PATH/TO/quillmere.exe}")
root=$(cd "$(dirname "$0")/.." && pwd)
arch_dir=$(dirname "$exe")
build_dir=$(dirname "$arch_dir")
sandbox=$build_dir/sandbox
prefix=$sandbox/prefix
files=$sandbox/files
demo_service=$arch_dir/tests/qm_demo_service.exe

launcher=$arch_dir/wine
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Every Wine start goes through the build folder's launcher, which picks a loader
# this machine runs.
wine() { "$launcher" "$@"; }

# The language goes to Wine alone; Wine takes it from LC_ALL even where the system
# has no such locale generated.
wine_locale=()
case "${QM_LANG:-}" in
  "") ;;
  de) wine_locale=(env LC_ALL=de_DE.UTF-8) ;;
  en) wine_locale=(env LC_ALL=en_US.UTF-8) ;;
  *) echo "QM_LANG must be de or en" >&2; exit 2 ;;
esac
w() { "${wine_locale[@]}" "$launcher" "$@"; }

dpi=${QM_DPI:-96}
case "$dpi" in
  ''|*[!0-9]*) echo "QM_DPI must be a number such as 96, 120, 144 or 192" >&2; exit 2 ;;
esac

[ -f "$demo_service" ] && [ -x "$launcher" ] || { echo "missing $demo_service or $launcher (build first)" >&2; exit 1; }

class_key='HKLM\SYSTEM\CurrentControlSet\Control\Class\{4D36E965-E325-11CE-BFC1-08002BE10318}'
services_dir='C:\quillmere-sandbox'

seed() {
  echo "seeding the sandbox prefix $prefix"
  mkdir -p "$prefix/drive_c/quillmere-sandbox"
  cp "$demo_service" "$prefix/drive_c/quillmere-sandbox/qm_demo_service.exe"
  # Running services are own-process services of the demo program; the driver
  # services stay stopped, since Wine loads no kernel drivers.
  wine sc create DiscCatalog binPath= "$services_dir\\qm_demo_service.exe" type= own start= demand \
    DisplayName= "Disc catalogue" >/dev/null
  wine sc create cdrom binPath= "$services_dir\\qm_demo_service.exe" type= own start= demand \
    DisplayName= "CD-ROM Driver" >/dev/null
  wine sc create TrayGuard binPath= 'System32\drivers\trayguard.sys' type= kernel start= demand \
    DisplayName= "Tray guard" >/dev/null
  wine sc create RipAssist binPath= 'System32\drivers\ripassist.sys' type= kernel start= disabled \
    DisplayName= "Rip assistant" >/dev/null
  wine reg add "$class_key" /v UpperFilters /t REG_MULTI_SZ /d 'DiscCatalog\0BurnBridge' /f >/dev/null
  wine reg add "$class_key" /v LowerFilters /t REG_MULTI_SZ /d 'TrayGuard' /f >/dev/null
  wine reg add "$class_key" /v LowerFiltersRemoved /t REG_MULTI_SZ /d 'RipAssist' /f >/dev/null
  # A drive of the CD-ROM setup class, as the device installer lists it.
  drive_key='HKLM\SYSTEM\CurrentControlSet\Enum\ROOT\CDROM\0000'
  wine reg add "$drive_key" /v ClassGUID /d '{4D36E965-E325-11CE-BFC1-08002BE10318}' /f >/dev/null
  wine reg add "$drive_key" /v FriendlyName /d 'Sandbox DVD-RW drive' /f >/dev/null
  wine reg add "$drive_key" /v UpperFilters /t REG_MULTI_SZ /d 'DiscShield' /f >/dev/null
  wine sc create DiscShield binPath= 'System32\drivers\discshield.sys' type= kernel start= demand \
    DisplayName= "Disc shield" >/dev/null
  wineserver -w
  touch "$sandbox/.seeded"
}

bash "$root/scripts/wineprefix.sh" "$launcher" "$prefix" x11
[ -f "$sandbox/.seeded" ] || seed
# Every run sets it, so one run's scaling does not stay for the next.
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null

# UTF-16 with a byte-order mark, which the profile functions read in any locale.
mkdir -p "$files"
{ printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$root/scripts/sandbox/descriptions.ini"; } >"$files/descriptions.ini"

# Services end with the Wine session, so they are started right before the program.
start_services() {
  w sc start DiscCatalog >/dev/null || true
  w sc start cdrom >/dev/null || true
}

cd "$files"

if [ -n "${DISPLAY:-}" ]; then
  start_services
  set +e
  w "$exe"
  code=$?
  set -e
  echo "Quillmere ended with exit code $code"
  exit 0
fi

# No display: a virtual screen of our own, and a Wine desktop on it that draws the
# window frames no window manager is there to draw.
lang=${QM_LANG:-default}
shot=${QM_SCREENSHOT:-$sandbox/screenshot-$lang.png}
case "$shot" in /*) ;; *) shot=$OLDPWD/$shot ;; esac

display=
for n in $(seq 90 160); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then display=:$n; break; fi
done
[ -n "$display" ] || { echo "no free display number for Xvfb" >&2; exit 1; }

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
program_pid=
cleanup() {
  wineserver -k 2>/dev/null || true
  if [ -n "$program_pid" ]; then kill "$program_pid" 2>/dev/null || true; fi
  kill "$xvfb_pid" 2>/dev/null || true
  wait "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

start_services
w explorer /desktop=quillmere,1024x768 "$(wine winepath -w "$exe")" &
program_pid=$!

window=
for _ in $(seq 100); do
  window=$(xdotool search --name '^Quillmere$' 2>/dev/null | head -n 1 || true)
  [ -n "$window" ] && break
  sleep 0.2
done
[ -n "$window" ] || { echo "the Quillmere window did not appear" >&2; exit 1; }
sleep 2 # let it finish painting

# The window with its frame, cut out of the screen.
eval "$(xdotool getwindowgeometry --shell "$window")"
mkdir -p "$(dirname "$shot")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$shot"
echo "screenshot: $shot"

# A normal close, so the program saves its settings as it would for a user. The
# request has to come from inside the same Wine desktop to reach its window.
w explorer /desktop=quillmere,1024x768 taskkill /im quillmere.exe >/dev/null 2>&1 || true
for _ in $(seq 100); do
  kill -0 "$program_pid" 2>/dev/null || break
  sleep 0.2
done
