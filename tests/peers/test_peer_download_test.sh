#!/usr/bin/env bash
# tarnsvc downloads from another client of the network: the test peer (which never logs in)
# serves a file of several parts in packed blocks, the test index server hands it out as the
# file's source, and the daemon, given only the file's link, fetches every part, verifies it,
# completes the file into its shared folder and offers it to the server, where a search finds
# it. Every process started here is stopped at the end.
#
# Usage: test_peer_download_test.sh SOURCE_ROOT BUILD_DIR
#   TARN_E2E_MB        size of the file in MB (default 30; sanitizer builds use 12)
#   TARN_E2E_SECONDS   time allowed for the download (default 120)
set -uo pipefail
root=$1
export TARN_BUILD=$2
# shellcheck source=../../scripts/tarn-instance.sh
source "$root/scripts/tarn-instance.sh"
# shellcheck source=peer_network.sh
source "$root/tests/peers/peer_network.sh"

peer_pid=
stop_all() {
  [ -n "$peer_pid" ] && kill "$peer_pid" 2>/dev/null && wait "$peer_pid" 2>/dev/null
  peer_pid=
  network_stop
}
trap stop_all EXIT

megabytes=${TARN_E2E_MB:-30}
size=$((megabytes * 1000 * 1000 + 777))  # not a whole number of parts or blocks
source_file="$work/from peer.bin"
head -c "$size" /dev/urandom >"$source_file" || fail "the peer's file was not created"

peer_port=$((32100 + RANDOM % 400))
"$TARN_BUILD/test-peer" --file "$source_file" --port "$peer_port" --compressed \
  >"$work/peer.log" 2>&1 &
peer_pid=$!
for _ in $(seq 100); do grep -q "file hash" "$work/peer.log" && break; sleep 0.1; done
hash=$(sed -n 's/.*file hash \([0-9A-Fa-f]\{32\}\).*/\1/p' "$work/peer.log" | tr 'a-f' 'A-F')
[ -n "$hash" ] || { cat "$work/peer.log" >&2; fail "the test peer did not start"; }

network_server_options=(--source "$hash@127.0.0.1:$peer_port")
network_start a || fail "the network did not start"
network_run a || fail "the daemon did not start"
started=$(network_now)
link="ed2k://|file|from%20peer.bin|$size|$hash|/"
instance_tarn "$work/a" download "$link" >/dev/null || fail "the daemon refused $link"
instance_wait_file "$work/a" "$hash" "${TARN_E2E_SECONDS:-120}" ||
  fail "the download from the test peer did not complete in time"
seconds=$(python3 -c "print(round($(network_now) - $started, 2))")
copy="$work/a/data/Ostrel/TARN/Shared/from peer.bin"
cmp -s "$copy" "$source_file" || fail "the completed file differs from the peer's"
echo "downloaded $size bytes from the test peer in $seconds s, content equal"

# Shared means offered: the server now finds the file under its name.
network_wait_offered a "from peer.bin" "$hash" || fail "the completed file was not offered to the server"
echo "the server finds the completed file after $SECONDS s"
stop_all
