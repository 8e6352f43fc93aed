#!/usr/bin/env bash
# Result-grid benchmark: the memory of paging a task of N records (default 1,000,000) through the
# grid, one page of "#表格每页记录数=" (5000) at a time, against reading the whole result at once.
#
#   bench/grid/run.sh [N]
#
# Builds bench_grid_paging (BUILD_DIR, default build-bench, configured as Release when missing),
# makes a home with N records in a temporary folder, then runs, each in a process of its own:
#   page   opens the grid and reads every page to the last, then a super-contains filter;
#   all    reads every record in one statement, as a grid without paging would.
# Prints their key=value lines; peak_kib is each process's peak resident memory. Paging keeps
# its peak flat whatever N is; reading all grows with N.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
N=${1:-1000000}
BUILD_DIR=${BUILD_DIR:-$ROOT/build-bench}
case "$N" in
  '' | *[!0-9]*) echo "usage: $0 [N]" >&2; exit 2 ;;
esac

if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DSORVIK_BUILD_TESTS=OFF -DSORVIK_BUILD_GUI=OFF >/dev/null
fi
cmake --build "$BUILD_DIR" --target bench_grid_paging -j2 >/dev/null
BENCH=$BUILD_DIR/bench/bench_grid_paging

WORK=$(mktemp -d /tmp/sorvik-grid-bench.XXXXXX)
trap 'rm -rf "$WORK"' EXIT

echo "== make ($N records)"
"$BENCH" make "$WORK/home" "$N"
echo "== page (every page)"
"$BENCH" page "$WORK/home"
echo "== all (the whole result at once)"
"$BENCH" all "$WORK/home"
