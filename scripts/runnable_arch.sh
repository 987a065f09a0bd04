#!/usr/bin/env bash
# Prints the architecture whose programs this machine runs under Wine: i686 where
# the i686 build folder's configure found that 32-bit Windows programs run, x86_64
# otherwise, with one line on standard error that says so.
# Usage: runnable_arch.sh BUILD
set -euo pipefail

build=${1:?usage: runnable_arch.sh BUILD}
answer=$(cat "$build/i686/programs-run-here" 2>/dev/null) || {
  echo "runnable_arch.sh: $build/i686 is not configured" >&2
  exit 1
}
if [ "$answer" = yes ]; then
  echo i686
else
  echo "this machine cannot run 32-bit Windows programs (${answer#no: }): using the 64-bit build" >&2
  echo x86_64
fi
