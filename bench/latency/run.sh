#!/usr/bin/env bash
# Latency benchmark: a list + detail harvest from a far site (every answer comes after 50 ms),
# against the sequential limit of the same URLs.
#
#   bench/latency/run.sh
#
# The site (site.py) has 20 list pages of 20 records, each record linking to its detail page:
# 420 URLs. In one run the script measures
#   sequential  curl fetching the 420 URLs in harvest order over one kept-alive connection: the
#               fastest a harvest that asks one page after another can be;
#   sorvik 1/4/8  sorvik-cli run of a task that takes each record's title and its detail page's
#               price, with "#并发连接数=" 1, 4 and 8, and the records each stored;
# then the same harvest with 8 connections on a site 4 times as large (80 list pages, 1680 URLs)
# for its peak resident memory. It prints the times, the ratios to the sequential limit, the most
# connections the server saw open at once, and the peak memory of both sizes.
#
# BUILD_DIR names a build folder (default: build-bench beside the sources, configured as Release
# when missing). Needs curl, python3 and /usr/bin/time.
set -euo pipefail
[ -n "${TRACE:-}" ] && set -x

ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD_DIR=${BUILD_DIR:-$ROOT/build-bench}
PAGES=20
RECORDS=20
DELAY_MS=50

for tool in curl python3 /usr/bin/time; do
  command -v "$tool" >/dev/null 2>&1 || [ -x "$tool" ] || { echo "missing $tool" >&2; exit 1; }
done
if [ ! -f "$BUILD_DIR/CMakeCache.txt" ]; then
  cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DSORVIK_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$BUILD_DIR" --target sorvik-cli -j2 >/dev/null
CLI=$BUILD_DIR/sorvik-cli

WORK=$(mktemp -d /tmp/sorvik-latency.XXXXXX)
SERVER_PIDS=()
cleanup() {
  for pid in "${SERVER_PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

# start_site NAME PAGES: serves a site of PAGES list pages; sets PORT.
start_site() {
  local name=$1 pages=$2
  python3 "$ROOT/bench/latency/site.py" "$WORK/$name.port" "$pages" "$RECORDS" "$DELAY_MS" &
  SERVER_PIDS+=($!)
  for _ in $(seq 100); do [ -f "$WORK/$name.port" ] && break; sleep 0.05; done
  PORT=$(cat "$WORK/$name.port")
}

# harvest NAME PORT CONNECTIONS: runs the task on a fresh home; sets SECONDS_TAKEN, RSS_KB, RECORDS_STORED.
harvest() {
  local name=$1 port=$2 connections=$3
  local home=$WORK/home-$name
  "$CLI" --home "$home" init >/dev/null
  cat >"$WORK/$name.txt" <<SCRIPT
#任务名称=延迟基准
#表名=LatencyItems
#字段名列表=标题,价格
#字段类型=文本(100),文本(20)
#并发连接数=$connections
#要搜索网址=http://127.0.0.1:$port/list_1.htm
#下一页网址=<div class="pager">.*?</div>
1=<li class="item">.*?</li>
标题_1=~">(.*?)</a>
价格_1=@href="(.*?)"
价格_1_link=~<div class="price">(.*?)</div>
SCRIPT
  local id
  id=$("$CLI" --home "$home" add "$WORK/$name.txt")
  /usr/bin/time -f "%e %M" -o "$WORK/$name.time" "$CLI" --home "$home" run "$id" --quiet
  read -r SECONDS_TAKEN RSS_KB <"$WORK/$name.time"
  RECORDS_STORED=$("$CLI" --home "$home" sql "select count(*) from LatencyItems" | tail -1)
  local priced
  priced=$("$CLI" --home "$home" sql "select count(*) from LatencyItems where 价格<>''" | tail -1)
  [ "$priced" = "$RECORDS_STORED" ] || echo "warning: $name: only $priced of $RECORDS_STORED records have their detail's price" >&2
}

start_site small $PAGES
SMALL=$PORT
URLS=$((PAGES + PAGES * RECORDS))

# The sequential limit: the same URLs in harvest order, one kept-alive connection.
: >"$WORK/curl.cfg"
for page in $(seq $PAGES); do
  echo "url = http://127.0.0.1:$SMALL/list_$page.htm" >>"$WORK/curl.cfg"
  echo "output = /dev/null" >>"$WORK/curl.cfg"
  for item in $(seq $RECORDS); do
    echo "url = http://127.0.0.1:$SMALL/detail_${page}_$item.htm" >>"$WORK/curl.cfg"
    echo "output = /dev/null" >>"$WORK/curl.cfg"
  done
done
start=$(date +%s.%N)
curl -s -K "$WORK/curl.cfg"
SEQUENTIAL=$(python3 -c "import time; print(f'{time.time() - $start:.2f}')")

printf '%-28s %8s %8s %10s %9s %8s\n' "run ($URLS URLs, ${DELAY_MS} ms each)" seconds records "vs limit" "max conn" "RSS MB"
printf '%-28s %8s %8s %10s %9s %8s\n' "sequential limit (curl)" "$SEQUENTIAL" - 1.00x 1 -
for connections in 1 4 8; do
  start_site "c$connections" $PAGES
  harvest "c$connections" "$PORT" "$connections"
  maxconn=$(curl -s "http://127.0.0.1:$PORT/stats" | sed 's/.*max_connections=//')
  ratio=$(python3 -c "print(f'{$SEQUENTIAL / $SECONDS_TAKEN:.2f}x')")
  printf '%-28s %8s %8s %10s %9s %8s\n' "sorvik-cli run, $connections conn" "$SECONDS_TAKEN" "$RECORDS_STORED" \
    "$ratio" "$maxconn" "$((RSS_KB / 1024))"
  [ "$connections" = 8 ] && SMALL_RSS=$RSS_KB
done

start_site large $((PAGES * 4))
harvest large "$PORT" 8
printf '%-28s %8s %8s %10s %9s %8s\n' "4x site ($((PAGES * 4 + PAGES * 4 * RECORDS)) URLs), 8 conn" \
  "$SECONDS_TAKEN" "$RECORDS_STORED" - - "$((RSS_KB / 1024))"
echo "peak memory 4x site / 1x site (8 connections): $(python3 -c "print(f'{$RSS_KB / $SMALL_RSS:.2f}')")"
