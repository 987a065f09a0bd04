#!/usr/bin/env bash
# Answers whether this machine can run 32-bit Windows programs under Wine, by
# asking Wine's own 32-bit loader for its version: some kernels run no 32-bit x86
# program at all, even with every package installed. Never starts a program of
# ours, so a 32-bit build that crashes at start still fails its tests.
# Prints the loader's path and exits 0 when it runs; prints why not and exits 1.
set -uo pipefail

for loader in /usr/lib/wine/wine /usr/lib/i386-linux-gnu/wine/wine /opt/wine-stable/bin/wine; do
  [ -x "$loader" ] || continue
  if "$loader" --version >/dev/null 2>&1; then
    echo "$loader"
    exit 0
  fi
  echo "Wine's 32-bit loader $loader does not run on this machine"
  exit 1
done
echo "Wine's 32-bit loader is not installed"
exit 1
