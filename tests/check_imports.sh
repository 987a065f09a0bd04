#!/usr/bin/env bash
# Fails when an executable imports a library that is not one of the loader's known
# system libraries: Windows looks for any other beside the program first, so a file
# planted in the folder the program was started from would be loaded instead.
# An executable after --console must also do without the shell and the common
# controls, which the recovery environment a technician starts it from may lack.
# Usage: check_imports.sh OBJDUMP EXE... [--console EXE...]
set -euo pipefail

objdump=${1:?usage: check_imports.sh OBJDUMP EXE...}
shift
allowed=" kernel32 ntdll user32 gdi32 advapi32 shell32 shlwapi ole32 oleaut32 setupapi msvcrt comctl32 "

status=0
for exe in "$@"; do
  if [ "$exe" = --console ]; then
    allowed=${allowed/ shell32 / }
    allowed=${allowed/ comctl32 / }
    why="which a console program started from the recovery environment cannot count on"
    continue
  fi
  names=$("$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name:[[:space:]]*//p' | tr -d '\r')
  if [ -z "$names" ]; then
    echo "$exe: no import table found"
    status=1
    continue
  fi
  echo "$(basename "$exe") imports:" $names
  for dll in $names; do
    base=$(printf '%s' "$dll" | tr '[:upper:]' '[:lower:]')
    case "$allowed" in
      *" ${base%.dll} "*) ;;
      *) echo "$(basename "$exe") imports $dll, ${why:-which is not a known system library}"; status=1 ;;
    esac
  done
done
exit $status
