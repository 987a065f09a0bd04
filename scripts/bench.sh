#!/usr/bin/env bash
# Runs every benchmark program (bench_*.exe) of a build in the project's Wine prefix.
# Usage: bench.sh BUILD_DIR PREFIX
set -euo pipefail

build=${1:?usage: bench.sh BUILD_DIR PREFIX}
prefix=${2:?usage: bench.sh BUILD_DIR PREFIX}
here=$(cd "$(dirname "$0")" && pwd)

bash "$here/wineprefix.sh" "$build/wine" "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

mapfile -t benches < <(find "$build" -name 'bench_*.exe' -type f | sort)
if [ ${#benches[@]} -eq 0 ]; then
  echo "no bench_*.exe under $build" >&2
  exit 1
fi

# Each ratio compares two sides measured in the same run of the same build; say
# which build, since ratios of the two architectures are not comparable.
echo "benchmarks of the $(basename "$build") build"
status=0
for exe in "${benches[@]}"; do
  echo "== $(basename "$exe" .exe) =="
  "$build/wine" "$exe" || status=1
done
exit $status
