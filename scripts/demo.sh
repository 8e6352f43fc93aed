#!/usr/bin/env bash
# The headless demo: serves examples/site on a loopback port, adds the example task
# examples/scripts/next_page.txt pointed at it to a fresh home folder, runs it with sorvik-cli and
# prints its records. Expects a build (scripts/build.sh); the home folder is removed at the end
# unless SORVIK_DEMO_HOME names one to keep.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cli="${SORVIK_BUILD_DIR:-$root/build}/sorvik-cli"
work="$(mktemp -d)"
server=""
cleanup() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
home="${SORVIK_DEMO_HOME:-$work/home}"

port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
python3 -m http.server "$port" --bind 127.0.0.1 --directory "$root/examples/site" >"$work/server.log" 2>&1 &
server=$!
for _ in $(seq 1 100); do
  if curl -sf -o /dev/null "http://127.0.0.1:$port/index.htm"; then break; fi
  sleep 0.1
done
echo "Demo site: http://127.0.0.1:$port/ (examples/site); home folder: $home"

sed "s#http://127.0.0.1:8080/#http://127.0.0.1:$port/#g" "$root/examples/scripts/next_page.txt" >"$work/next_page.txt"
"$cli" --home "$home" init
id="$("$cli" --home "$home" add "$work/next_page.txt")"
echo "Task $id: $(grep '^#任务名称=' "$work/next_page.txt" | cut -d= -f2)"
"$cli" --home "$home" run "$id"
"$cli" --home "$home" results "$id"
