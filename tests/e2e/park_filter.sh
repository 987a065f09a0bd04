#!/usr/bin/env bash
# End to end, as a user would: start the real program on an X display, click a
# filter's check box with the mouse, and read the class key back with `reg`.
# Usage: park_filter.sh BUILD_DIR
set -euo pipefail

build=$(cd "${1:?usage: park_filter.sh BUILD_DIR}" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
prefix=$build/e2e-prefix
class='HKLM\SYSTEM\CurrentControlSet\Control\Class\{4D36E965-E325-11CE-BFC1-08002BE10318}'

bash "$root/scripts/wineprefix.sh" "$prefix" x11
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

display=
for n in $(seq 90 120); do
  [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || { display=:$n; break; }
done
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

wine reg delete "$class" /va /f >/dev/null 2>&1 || true
wine reg add "$class" /f >/dev/null
wine sc delete QmClickMe >/dev/null 2>&1 || true
wine sc create QmClickMe binPath= 'C:\windows\system32\drivers\qmclickme.sys' type= kernel start= demand >/dev/null
wine reg add "$class" /v LowerFilters /t REG_MULTI_SZ /d 'QmClickMe' /f >/dev/null

wine "$build/quillmere.exe" >/dev/null 2>&1 &
at=
for _ in $(seq 100); do
  at=$(wine "$build/tests/qm_locate_checkbox.exe" 0 2>/dev/null | tr -d '\r') && [ -n "$at" ] && break
  sleep 0.2
done
[ -n "$at" ] || { echo "the program's filter list did not appear"; exit 1; }
sleep 0.5
read -r x y <<<"$at"
xdotool mousemove "$x" "$y" click 1
sleep 1

parked=$(wine reg query "$class" /v LowerFiltersRemoved 2>/dev/null | tr -d '\r' | grep -c 'QmClickMe' || true)
active=$(wine reg query "$class" /v LowerFilters 2>/dev/null | tr -d '\r' | grep -c 'QmClickMe' || true)
wine sc delete QmClickMe >/dev/null 2>&1 || true
if [ "$parked" = 1 ] && [ "$active" = 0 ]; then
  echo "1 passed, 0 failed: clicking the check box parked the filter"
  exit 0
fi
echo "0 passed, 1 failed: after the click LowerFilters lists it $active time(s), LowerFiltersRemoved $parked time(s)"
exit 1
