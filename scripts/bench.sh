#!/bin/sh
# Runs every benchmark program of the build directory given as $1 and prints its figures.
BUILD_DIR=${1:-build}
status=0
for program in "$BUILD_DIR"/bench/bench_*; do
  [ -f "$program" ] && [ -x "$program" ] || continue
  echo "== $(basename "$program")"
  "$program" || status=1
done
exit $status
