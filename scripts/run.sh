#!/usr/bin/env bash
# Installs what is missing, builds, initialises the default home folder and shows the task list.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
cli="${SORVIK_BUILD_DIR:-$root/build}/sorvik-cli"
"$cli" init
"$cli" tasks
