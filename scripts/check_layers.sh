#!/usr/bin/env bash
# Fails when a source file includes one from a folder it must not stand on. The
# folders are floors: each may include its own floor and those below it.
#   app -> ui -> devices -> services, filters -> base
# services and filters share a floor and include neither each other; res (resource
# ids only) may be included from every floor.
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
[ "$status" = 0 ] && echo "layers: $checked files, every include runs downwards"
exit $status
