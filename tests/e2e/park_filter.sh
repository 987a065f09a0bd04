#!/usr/bin/env bash
# End to end, as a user would: start the real program on an X display from a
# folder where a stranger has planted a version.dll, click a filter's check box
# with the mouse, open the filter's properties with a double click, click the check
# box of a drive's own filter, and close the program. Then read the class key and
# the drive's keys back with `reg`, and check what the properties showed and that
# the program never read a file through the planted library.
# Usage: park_filter.sh BUILD_DIR
set -euo pipefail

build=$(cd "${1:?usage: park_filter.sh BUILD_DIR}" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
prefix=$build/e2e-prefix
class='HKLM\SYSTEM\CurrentControlSet\Control\Class\{4D36E965-E325-11CE-BFC1-08002BE10318}'
locate=$build/tests/qm_locate_checkbox.exe

bash "$root/scripts/wineprefix.sh" "$build/wine" "$prefix" x11
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Through the build folder's launcher, which picks a loader this machine runs.
wine() { "$build/wine" "$@"; }

display=
for n in $(seq 90 120); do
  [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || { display=:$n; break; }
done
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
# The driver file lies only in the native system32\drivers folder, where a 64-bit
# system keeps its drivers; the 32-bit build must look past its redirected view.
drivers=$prefix/drive_c/windows/system32/drivers
downloads=$build/e2e-downloads
# A CD/DVD drive with a filter of its own, as the device installer lists it.
drive='HKLM\SYSTEM\CurrentControlSet\Enum\ROOT\CDROM\QMCLICKDRIVE'
cleanup() {
  wine reg delete "$drive" /f >/dev/null 2>&1 || true
  wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb" 2>/dev/null || true
  rm -f "$drivers/qmclickme.sys"
  rm -rf "$downloads"
}
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

wine reg delete "$class" /va /f >/dev/null 2>&1 || true
wine reg add "$class" /f >/dev/null
wine sc delete QmClickMe >/dev/null 2>&1 || true
wine sc create QmClickMe binPath= 'C:\windows\system32\drivers\qmclickme.sys' type= kernel start= demand >/dev/null
wine reg add "$class" /v LowerFilters /t REG_MULTI_SZ /d 'QmClickMe' /f >/dev/null
wine reg delete "$drive" /f >/dev/null 2>&1 || true
wine reg add "$drive" /v ClassGUID /d '{4D36E965-E325-11CE-BFC1-08002BE10318}' /f >/dev/null
wine reg add "$drive" /v FriendlyName /d 'Clicked DVD drive' /f >/dev/null
wine reg add "$drive" /v UpperFilters /t REG_MULTI_SZ /d 'QmDriveClick' /f >/dev/null
wine sc delete QmDriveClick >/dev/null 2>&1 || true
wine sc create QmDriveClick binPath= 'C:\windows\system32\drivers\qmdriveclick.sys' type= kernel start= demand >/dev/null
cp "$build/tests/services/qm_version_full.sys" "$drivers/qmclickme.sys"
rm -f "$prefix/drive_c/windows/syswow64/drivers/qmclickme.sys"

# Unpacked into a Downloads folder beside a planted library; version=n,b makes Wine
# search for it as Windows does.
rm -rf "$downloads"
mkdir -p "$downloads"
cp "$build/quillmere.exe" "$build/tests/planted/version.dll" "$downloads/"
WINEDLLOVERRIDES="mscoree,mshtml=;version=n,b" wine "$downloads/quillmere.exe" >/dev/null 2>&1 &
program=$!

# Waits for the helper to answer; prints its answer.
ask() {
  local answer
  for _ in $(seq 100); do
    answer=$(wine "$locate" "$@" 2>/dev/null | tr -d '\r') && [ -n "$answer" ] && { echo "$answer"; return 0; }
    sleep 0.2
  done
  return 1
}
at=$(ask 0) || { echo "the program's filter list did not appear"; exit 1; }
sleep 0.5
read -r x y <<<"$at"
xdotool mousemove "$x" "$y" click 1
sleep 1
at=$(ask 0 label) || { echo "the filter's row disappeared"; exit 1; }
read -r x y <<<"$at"
xdotool mousemove "$x" "$y" click --repeat 2 --delay 100 1
vendor=$(ask vendor) || vendor="(no properties dialog)"
# The drive's rows come after the class's.
sleep 0.5
if at=$(ask 1); then
  read -r x y <<<"$at"
  xdotool mousemove "$x" "$y" click 1
  sleep 1
fi
wine "$locate" close >/dev/null 2>&1 || true
for _ in $(seq 50); do kill -0 "$program" 2>/dev/null || break; sleep 0.2; done

parked=$(wine reg query "$class" /v LowerFiltersRemoved 2>/dev/null | tr -d '\r' | grep -c 'QmClickMe' || true)
active=$(wine reg query "$class" /v LowerFilters 2>/dev/null | tr -d '\r' | grep -c 'QmClickMe' || true)
wine sc delete QmClickMe >/dev/null 2>&1 || true
own=$(wine reg query "$drive" /v UpperFilters 2>/dev/null | tr -d '\r' | grep -c 'QmDriveClick' || true)
ownParked=$(wine reg query "$drive\Device Parameters" /v UpperFiltersRemoved 2>/dev/null | tr -d '\r' |
  grep -c 'QmDriveClick' || true)
wine sc delete QmDriveClick >/dev/null 2>&1 || true

passed=0
failed=0
check() {
  if [ "$1" = "$2" ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $3"; fi
}
check "$parked/$active" 1/0 \
  "after the click LowerFilters lists the filter $active time(s), LowerFiltersRemoved $parked time(s)"
check "$ownParked/$own" 1/0 \
  "after the click on the drive's filter its UpperFilters lists it $own time(s), UpperFiltersRemoved $ownParked time(s)"
check "$vendor" "Example Test Drivers Ltd" "the properties showed the vendor '$vendor', not the driver file's"
check "$([ -e "$downloads/planted-version-called" ] && echo called || echo not)" not \
  "the program read a driver file through the version.dll planted beside it"
echo "$passed passed, $failed failed: park by a click, a drive's own filter parked by a click, vendor from the native driver file, no planted library"
[ "$failed" = 0 ]
