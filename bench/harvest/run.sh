#!/usr/bin/env bash
# Harvest benchmark: how close a real `sorvik-cli run` comes to the sequential limit of its three
# stages on this machine.
#
#   bench/harvest/run.sh [N]        (default N = 2000 list pages; N/4 is measured as well)
#
# For each page count it generates a site of list pages (20 records each, 20-40 KB), serves it
# with nginx on a loopback port, and measures
#   fetch    curl fetching every list page in order over one kept-alive connection,
#   extract  the task's record, field and next-page patterns with Boost.Regex over the pages in
#            memory (bench_limits extract),
#   store    SQLite storing the same records as text-composed INSERT statements in
#            transactions of 500 (bench_limits store),
#   harvest  sorvik-cli run of bench/harvest/task.txt, which follows the next-page links from
#            list_1.htm to the last page into SQLite with one worker,
# and prints pages/s and records/s of each, the sequential limit 1/(1/fetch+1/extract+1/store),
# the harvest's share of it and the harvest's peak resident memory. Each figure is the best of
# REPEAT runs (default 3; other programs on the machine only ever slow a run down); the peak
# memory is the largest of them. The store limit gets its values already in UTF-8: converting
# statements to UTF-8 for the database is part of the harvest's own cost.
#
# BUILD_DIR names a build folder (default: build-bench beside the sources, configured as Release
# when missing). Needs nginx, curl, python3 and /usr/bin/time (scripts/install-deps.sh).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
N=${1:-2000}
BUILD_DIR=${BUILD_DIR:-$ROOT/build-bench}
RECORDS_PER_PAGE=20

case "$N" in
  '' | *[!0-9]*) echo "usage: $0 [N]  (N: number of list pages, at least 4)" >&2; exit 2 ;;
esac
if [ "$N" -lt 4 ]; then
  echo "N must be at least 4" >&2
  exit 2
fi
for tool in nginx curl python3 /usr/bin/time; do
  command -v "$tool" >/dev/null 2>&1 || [ -x "$tool" ] || [ -x "/usr/sbin/$tool" ] || {
    echo "missing $tool: run scripts/install-deps.sh" >&2
    exit 1
  }
done
source "$ROOT/bench/nginx_site.sh"

if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DSORVIK_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$BUILD_DIR" --target sorvik-cli bench_make_site bench_limits -j2 >/dev/null
CLI=$BUILD_DIR/sorvik-cli
MAKE_SITE=$BUILD_DIR/bench/bench_make_site
LIMITS=$BUILD_DIR/bench/bench_limits

WORK=$(mktemp -d /tmp/sorvik-bench.XXXXXX)
cleanup() {
  stop_site
  rm -rf "$WORK"
}
trap cleanup EXIT

SITE=$WORK/site
start_site "$WORK" "$SITE"

now() { date +%s.%N; }
REPEAT=${REPEAT:-3}

# The best (smallest) of several timings: other programs on the machine only ever slow a run down.
best() { python3 -c 'import sys; print(min(float(x) for x in sys.argv[1:]))' "$@"; }

# Seconds for curl to fetch every page of the site over one connection.
fetch_seconds() {
  local t0 t1
  t0=$(now)
  curl -s --fail -K "$WORK/curl.cfg"
  t1=$(now)
  python3 -c "print($t1 - $t0)"
}

# Seconds of one harvest of n pages into a fresh home; leaves time -v's report in $WORK/time.txt
# and the stored record count in $WORK/stored.txt.
harvest_seconds() {
  local home=$WORK/home t0 t1 id
  rm -rf "$home"
  "$CLI" --home "$home" init >/dev/null
  id=$("$CLI" --home "$home" add "$WORK/task.txt")
  t0=$(now)
  /usr/bin/time -v -o "$WORK/time.txt" "$CLI" --home "$home" run "$id" --threads 1 >/dev/null 2>"$WORK/run.err" || {
    echo "sorvik-cli run failed:" >&2
    tail -5 "$WORK/run.err" >&2
    exit 1
  }
  t1=$(now)
  "$CLI" --home "$home" sql "select count(*) from BenchItems" | tail -n 1 | tr -d '\r' >"$WORK/stored.txt"
  python3 -c "print($t1 - $t0)"
}

# "pages=P records=R seconds=S ..." lines -> the smallest seconds.
best_seconds() { sed -n 's/.*seconds=\([0-9.]*\).*/\1/p' | python3 -c 'import sys; print(min(float(x) for x in sys.stdin))'; }

measure() {
  local n=$1
  rm -rf "$SITE"/*
  "$MAKE_SITE" "$SITE" "$n" >"$WORK/site.txt"
  local records=$((n * RECORDS_PER_PAGE))
  : >"$WORK/curl.cfg"
  for i in $(seq 1 "$n"); do
    printf 'url = "http://127.0.0.1:%s/list_%d.htm"\noutput = "/dev/null"\n' "$PORT" "$i" >>"$WORK/curl.cfg"
  done
  sed "s|http://127.0.0.1:8080/|http://127.0.0.1:$PORT/|" "$ROOT/bench/harvest/task.txt" >"$WORK/task.txt"

  local fetch=() harvest=() rss=() extract_lines="" store_lines="" r
  for r in $(seq "$REPEAT"); do
    fetch+=("$(fetch_seconds)")
    extract_lines+=$("$LIMITS" extract "$WORK/task.txt" "$SITE" "$n")$'\n'
    store_lines+=$("$LIMITS" store "$WORK/task.txt" "$SITE" "$n" "$WORK/store.db")$'\n'
    rm -f "$WORK"/store.db*
    harvest+=("$(harvest_seconds)")
    rss+=("$(sed -n 's/.*Maximum resident set size (kbytes): *//p' "$WORK/time.txt")")
  done
  local extract_pages
  extract_pages=$(sed -n '1s/.*pages=\([0-9]*\).*/\1/p' <<<"$extract_lines")

  python3 - "$n" "$records" "$(best "${fetch[@]}")" "$extract_pages" "$(best_seconds <<<"$extract_lines")" \
    "$(best_seconds <<<"$store_lines")" "$(best "${harvest[@]}")" "$(printf '%s\n' "${rss[@]}" | sort -n | tail -n 1)" \
    "$(cat "$WORK/stored.txt")" "$(cat "$WORK/site.txt")" "$REPEAT" <<'PY'
import sys
n, records = int(sys.argv[1]), int(sys.argv[2])
fetch_s, extract_pages, extract_s = float(sys.argv[3]), int(sys.argv[4]), float(sys.argv[5])
store_s, harvest_s, rss_kb, stored = float(sys.argv[6]), float(sys.argv[7]), int(sys.argv[8]), sys.argv[9]
fetch = n / fetch_s
extract = extract_pages / extract_s
store = n / store_s
limit = 1 / (1 / fetch + 1 / extract + 1 / store)
harvest = n / harvest_s
print(f"N = {n} list pages ({sys.argv[10]}), {records} records; best of {sys.argv[11]} runs")
for name, pages in (("fetch (curl, keep-alive)", fetch), ("extract (Boost.Regex)", extract),
                    ("store (SQLite, 500/tx)", store), ("sequential limit", limit),
                    ("harvest (sorvik-cli run)", harvest)):
    print(f"  {name:26} {pages:9.0f} pages/s {pages * 20:10.0f} records/s")
print(f"  harvest / limit            {100 * harvest / limit:8.1f} %   (target >= 70 %)")
print(f"  harvest peak RSS           {rss_kb / 1024:8.1f} MB")
print(f"  harvest wall time          {harvest_s:8.2f} s, records stored: {stored}"
      + ("" if stored == str(records) else f"  (expected {records})"))
PY
}

measure "$N"
measure $((N / 4))
