#!/usr/bin/env bash
# Stress run: 20 tasks harvested at once (`sorvik-cli run ... --threads 20`) from a loopback site
# while a second process keeps reading the results table; then dense pages (one page with many
# records) at two sizes, to show that a page's records do not stay in memory.
#
#   bench/stress/run.sh [PAGES]      (default 50 list pages of 20 records per task)
#
# Prints the records each part stored against those the site holds (lost must be 0), the reads
# the second process made and how many of them failed, and each run's peak resident memory.
# BUILD_DIR names a build folder (default: build-bench beside the sources, configured as Release
# when missing). Needs nginx, curl, python3 and /usr/bin/time (scripts/install-deps.sh).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
PAGES=${1:-50}
TASKS=20
BUILD_DIR=${BUILD_DIR:-$ROOT/build-bench}
case "$PAGES" in
  '' | *[!0-9]*) echo "usage: $0 [PAGES]" >&2; exit 2 ;;
esac
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
cmake --build "$BUILD_DIR" --target sorvik-cli bench_make_site -j2 >/dev/null
CLI=$BUILD_DIR/sorvik-cli

WORK=$(mktemp -d /tmp/sorvik-stress.XXXXXX)
READER_PID=
cleanup() {
  [ -z "$READER_PID" ] || kill "$READER_PID" 2>/dev/null || true
  stop_site
  rm -rf "$WORK"
}
trap cleanup EXIT

SITE=$WORK/site
start_site "$WORK" "$SITE"
"$BUILD_DIR/bench/bench_make_site" "$SITE" "$PAGES" >/dev/null
# Dense pages: one record per line "<i>N</i>", no next page.
python3 - "$SITE" <<'PY'
import sys
for n in (20000, 200000):
    with open(f"{sys.argv[1]}/dense_{n}.htm", "w") as page:
        page.write("<html><body>" + "".join(f"<i>{k}</i>\n" for k in range(n)) + "</body></html>")
PY

HOME_DIR=$WORK/home
"$CLI" --home "$HOME_DIR" init >/dev/null
ids=()
for t in $(seq "$TASKS"); do
  sed -e "s|http://127.0.0.1:8080/|http://127.0.0.1:$PORT/|" -e "s|#任务名称=.*|#任务名称=压力$t|" \
    -e "s|#表名=.*|#表名=StressItems|" "$ROOT/bench/harvest/task.txt" >"$WORK/task_$t.txt"
  ids+=("$("$CLI" --home "$HOME_DIR" add "$WORK/task_$t.txt")")
done

# The second process: reads the results table until the harvest ends (from the moment the
# harvest has made the table).
reader() {
  local reads=0 failed=0
  until [ -f "$WORK/done" ] || "$CLI" --home "$HOME_DIR" sql "select count(*) from StressItems" >/dev/null 2>&1; do
    sleep 0.05
  done
  while [ ! -f "$WORK/done" ]; do
    if "$CLI" --home "$HOME_DIR" sql "select count(*), count(distinct iNode_) from StressItems" >/dev/null \
      2>"$WORK/read.err"; then
      reads=$((reads + 1))
    else
      failed=$((failed + 1))
      [ -s "$WORK/first-failure.txt" ] || cp "$WORK/read.err" "$WORK/first-failure.txt"
    fi
  done
  echo "$reads $failed" >"$WORK/reads.txt"
}
reader &
READER_PID=$!
t0=$(date +%s.%N)
/usr/bin/time -v -o "$WORK/time.txt" "$CLI" --home "$HOME_DIR" run "${ids[@]}" --threads "$TASKS" --quiet \
  >/dev/null 2>"$WORK/run.err" || { echo "sorvik-cli run failed:" >&2; tail -5 "$WORK/run.err" >&2; exit 1; }
t1=$(date +%s.%N)
touch "$WORK/done"
wait "$READER_PID"
READER_PID=
stored=$("$CLI" --home "$HOME_DIR" sql "select count(*) from StressItems" | tail -n 1)
distinct=$("$CLI" --home "$HOME_DIR" sql "select count(*) from (select distinct iNode_, 标题 from StressItems)" | tail -n 1)
expected=$((TASKS * PAGES * 20))
rss=$(sed -n 's/.*Maximum resident set size (kbytes): *//p' "$WORK/time.txt")
read -r reads failed <"$WORK/reads.txt"
python3 - "$TASKS" "$PAGES" "$expected" "$stored" "$distinct" "$rss" "$t0" "$t1" "$reads" "$failed" <<'PY'
import sys
tasks, pages, expected, stored, distinct, rss = (int(x) for x in sys.argv[1:7])
t0, t1 = float(sys.argv[7]), float(sys.argv[8])
reads, failed = int(sys.argv[9]), int(sys.argv[10])
print(f"{tasks} tasks x {pages} pages at --threads {tasks}: {expected} records expected")
print(f"  stored {stored}, distinct {distinct}, lost {expected - distinct}, doubled {stored - distinct}")
print(f"  wall time {t1 - t0:.1f} s, peak RSS {rss / 1024:.1f} MB")
print(f"  reader: {reads} reads during the harvest, {failed} failed")
PY
[ ! -s "$WORK/first-failure.txt" ] || { echo "  first failed read:"; sed 's/^/    /' "$WORK/first-failure.txt"; }

# Dense pages: the same batch size (500) for a page of 20,000 and one of 200,000 records.
for n in 20000 200000; do
  printf '#任务名称=密集%s\n#表名=Dense%s\n#字段名列表=号\n#字段类型=文本(20)\n#保存数据库的最大记录数=500\n1=<i>.*?</i>\n号_1=~<i>(.*?)</i>\n#要搜索网址=http://127.0.0.1:%s/dense_%s.htm\n' \
    "$n" "$n" "$PORT" "$n" >"$WORK/dense_$n.txt"
  id=$("$CLI" --home "$HOME_DIR" add "$WORK/dense_$n.txt")
  /usr/bin/time -v -o "$WORK/time.txt" "$CLI" --home "$HOME_DIR" run "$id" --quiet >/dev/null 2>"$WORK/run.err" || {
    echo "sorvik-cli run failed:" >&2; tail -5 "$WORK/run.err" >&2; exit 1; }
  stored=$("$CLI" --home "$HOME_DIR" sql "select count(distinct 号) from Dense$n" | tail -n 1)
  rss=$(sed -n 's/.*Maximum resident set size (kbytes): *//p' "$WORK/time.txt")
  echo "dense page of $n records (batch 500): stored $stored, lost $((n - stored)), peak RSS $((rss / 1024)) MB"
done
