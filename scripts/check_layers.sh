#!/usr/bin/env bash
# Fails when a source file includes one from a folder it must not stand on. The
# folders are floors: each may include its own floor and those below it.
#   app -> ui -> devices -> services, filters -> base
# services and filters share a floor and include neither each other; res (resource
# ids only) may be included from every floor. Inside a folder, too, the files stand
# on one another one way: no file includes one that includes it back, directly or
# through others (a .h and its .cpp count as one).
# Usage: check_layers.sh [SOURCE_DIR]
set -euo pipefail

root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

# What each folder may include besides itself and res.
declare -A allowed=(
  [base]=""
  [filters]="base"
  [services]="base"
  [devices]="services filters base"
  [ui]="devices services filters base"
  [app]="ui devices services filters base"
)

status=0
checked=0
for folder in "${!allowed[@]}"; do
  [ -d "$folder" ] || continue
  while IFS= read -r -d '' file; do
    checked=$((checked + 1))
    while IFS=: read -r line target; do
      used=${target%%/*}
      case " $folder res ${allowed[$folder]} " in
        *" $used "*) ;;
        *) echo "$file:$line includes $target: $folder/ may include only ${allowed[$folder]:-nothing} below it"; status=1 ;;
      esac
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z_]+/' "$file" |
             sed -E 's|^([0-9]+):.*"([^"]+)".*|\1:\2|' || true)
  done < <(find "$folder" -type f \( -name '*.cpp' -o -name '*.h' \) -print0)
done
[ "$checked" -gt 0 ] || { echo "check_layers.sh: no sources under $root"; exit 1; }

# Inside each folder: an edge from each file's stem to each stem of the same folder
# it includes; tsort finds any loop among them.
for folder in "${!allowed[@]}"; do
  [ -d "$folder" ] || continue
  edges=$(find "$folder" -maxdepth 1 -type f \( -name '*.cpp' -o -name '*.h' \) -print0 |
    while IFS= read -r -d '' file; do
      stem=$(basename "${file%.*}")
      { grep -hE "^[[:space:]]*#[[:space:]]*include[[:space:]]+\"$folder/[a-z_0-9]+\.h\"" "$file" || true; } |
        sed -E 's|.*"[^/]+/([^".]+)\.h".*|\1|' |
        while read -r used; do [ "$used" = "$stem" ] || echo "$stem $used"; done
    done)
  [ -n "$edges" ] || continue
  if ! loop=$(printf '%s\n' "$edges" | tsort 2>&1 >/dev/null); then
    echo "$folder/ includes itself back: $(printf '%s' "$loop" | grep -v 'input contains a loop' | sed 's/^tsort: //' | tr '\n' ' ')"
    status=1
  fi
done
[ "$status" = 0 ] && echo "layers: $checked files, every include runs downwards, and one way inside each folder"
exit $status
