#!/usr/bin/env bash
# The web page in Debian's headless Chromium against a real daemon on the demo network: the
# test index server, a seeder sharing a few files (one of them named like markup), your own
# tarnsvc and `tarnshell ui` in front of it. walkthrough.js drives the page; screenshots of
# every folder are kept in BUILD_DIR/ui-artifacts. Every process started here is stopped.
#
# Usage: ui_walkthrough_test.sh SOURCE_ROOT BUILD_DIR
#   TARN_UI_HOLD=1   keep the network and the page's server running after the walk-through
set -uo pipefail
root=$1
export TARN_BUILD=$2
# shellcheck source=../../scripts/tarn-instance.sh
source "$root/scripts/tarn-instance.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/tarn-ui.XXXXXX")
artifacts=$TARN_BUILD/ui-artifacts
seeder=$work/seeder
me=$work/me
shell_pid=
stop_all() {
  trap - EXIT
  [ -n "$shell_pid" ] && kill -TERM "$shell_pid" 2>/dev/null && wait "$shell_pid" 2>/dev/null
  shell_pid=
  instance_stop "$me"
  instance_stop "$seeder"
  index_server_stop
  rm -rf "$work"
}
trap stop_all EXIT
fail() { echo "ui walk-through: FAILED: $*" >&2; exit 1; }

base=$((30000 + RANDOM % 20000))
index_server_start "$work" 0 || fail "the index server did not start"
instance_prepare "$seeder" "$INDEX_SERVER_PORT" $((base + 2)) $((base + 12))
shared=$seeder/data/Ostrel/TARN/Shared
mkdir -p "$shared"
head -c 23000000 /dev/urandom >"$shared/tarn demo film.avi"  # three parts
head -c 4200000 /dev/urandom >"$shared/tarn demo song.mp3"
head -c 350000 /dev/urandom >"$shared/tarn demo photo.jpg"
printf 'not markup\n' >"$shared/tarn demo <img src=x onerror=alert(1)>.txt"
instance_start "$seeder"
instance_wait "$seeder" 30 || fail "the seeder did not start"
instance_prepare "$me" "$INDEX_SERVER_PORT" $((base + 3)) $((base + 13))
# Slow enough (KiB/s) that the page shows the film's progress for a few seconds.
instance_setting "$me" "Max Download" 4000
instance_start "$me"
instance_wait "$me" 30 || fail "your instance did not start"
instance_wait_shared "$seeder" 4 60 || fail "the seeder did not share its files"
# The seeder offers its files once their changes settle: wait until the server finds them all.
found=
for _ in $(seq 20); do
  instance_tarn "$me" search tarn demo --wait 2 >"$work/search.txt" 2>&1
  [ "$(grep -c 'tarn demo' "$work/search.txt")" -ge 4 ] && { found=1; break; }
  sleep 1
done
[ -n "$found" ] || fail "the server did not find the seeder's files"

instance_ui "$me" || { cat "$me/ui.log" >&2; fail "tarnshell ui did not print its address"; }
shell_pid=$UI_PID
address=$UI_ADDRESS
echo "page at $address"

rm -rf "$artifacts"
mkdir -p "$artifacts"
started=$SECONDS
node "$root/tests/ui_browser/walkthrough.js" "$address" "$artifacts" "$work" &
node_pid=$!
# The walk-through asks for the daemon to go away and to come back, by marker files.
restarted=
while kill -0 "$node_pid" 2>/dev/null; do
  if [ -f "$work/stop-daemon" ] && [ ! -f "$work/daemon-stopped" ]; then
    instance_stop_daemon "$me"
    touch "$work/daemon-stopped"
  fi
  if [ -f "$work/start-daemon" ] && [ -z "$restarted" ]; then
    instance_start "$me" "$me/tarnsvc-again.log"
    restarted=1
  fi
  sleep 0.2
done
wait "$node_pid" || { cat "$me/ui.log" >&2; fail "the walk-through failed (screenshots in $artifacts)"; }
echo "walk-through passed in $((SECONDS - started)) s; screenshots in $artifacts"
if [ -n "${TARN_UI_HOLD:-}" ]; then
  echo "holding: $address (DBUS_SESSION_BUS_ADDRESS=$(cat "$me/bus"))"
  while :; do sleep 3600; done
fi
