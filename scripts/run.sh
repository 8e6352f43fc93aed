#!/usr/bin/env bash
# Installs what is missing, builds and starts the workbench on the default home folder. Without a
# display it runs the headless demo instead (scripts/demo.sh).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
build="${SORVIK_BUILD_DIR:-$root/build}"
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$build/sorvik"
fi
echo "No display (neither DISPLAY nor WAYLAND_DISPLAY is set): running the headless demo instead."
exec "$root/scripts/demo.sh"
