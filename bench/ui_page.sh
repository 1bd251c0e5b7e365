#!/usr/bin/env bash
# The web page under load: ui_page_server holds FILES shared files and changes the lists
# EVENTS times a second; ui_page_bench.js measures in headless Chromium how long the Shared
# folder takes to show and to sort, and how long input takes to show on screen meanwhile.
# Prints the figures and the CPU model.
#
# Usage: bench/ui_page.sh [--build-dir DIR] [FILES [EVENTS]]   (defaults 10000 and 1000)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$root/build
args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) build_dir=$2; shift ;;
    -h | --help) sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) args+=("$1") ;;
  esac
  shift
done
work=$(mktemp -d "${TMPDIR:-/tmp}/tarn-ui-bench.XXXXXX")
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill -TERM "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  cat "$work/server.log" 2>/dev/null | grep -v '^address' || true
  rm -rf "$work"
}
trap cleanup EXIT

"$build_dir/bench/ui_page_server" "$build_dir/share/tarn/ui" "${args[@]}" >"$work/server.log" 2>&1 &
server_pid=$!
address=
for _ in $(seq 100); do
  address=$(sed -n 's/^address: //p' "$work/server.log")
  [ -n "$address" ] && break
  sleep 0.1
done
[ -n "$address" ] || { cat "$work/server.log" >&2; exit 1; }
echo "CPU: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores"
node "$root/bench/ui_page_bench.js" "$address" "$work"
