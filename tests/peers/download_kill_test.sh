#!/usr/bin/env bash
# Crash safety of a download between two daemons: A shares a file, B downloads it by link at
# a high rate, and B's daemon is killed with SIGKILL twenty times, each time at a random moment
# while data is being written, then started again. After the last start the download must
# complete, and B's copy must equal A's file byte for byte.
#
# Usage: download_kill_test.sh SOURCE_ROOT BUILD_DIR
#   TARN_E2E_MB      size of the file in MB (default 1000: enough for twenty rounds at B's cap)
#   TARN_KILLS       how many kills (default 20)
set -uo pipefail
root=$1
export TARN_BUILD=$2
# shellcheck source=../../scripts/tarn-instance.sh
source "$root/scripts/tarn-instance.sh"
# shellcheck source=peer_network.sh
source "$root/tests/peers/peer_network.sh"

megabytes=${TARN_E2E_MB:-1000}
kills=${TARN_KILLS:-20}
size=$((megabytes * 1000 * 1000 + 777))
network_start a b || fail "the network did not start"
# B takes about 30 MB/s, as a fast line would: on a fast machine an uncapped loopback copy
# would finish within the twenty rounds, leaving nothing to kill.
instance_setting "$work/b" "Max Download" 30000
a_file=$(network_share a "kept.bin" "$size") || fail "A's file was not created"
network_run a b || fail "the daemons did not start"
instance_wait_shared "$work/a" 1 120 || fail "A did not share its file"
link=$(network_link a "kept.bin") || fail "A does not share the file"
hash=$(echo "$link" | cut -d'|' -f5)
network_wait_offered b "kept.bin" "$hash" || fail "the server does not find A's file"
instance_tarn "$work/b" download "$link" >/dev/null || fail "B refused the link"

part_file=$work/b/data/Ostrel/TARN/Temp/00000.tarn.tmp
copy=$work/b/data/Ostrel/TARN/Shared/kept.bin
# The blocks the part file holds on disk: they grow while data is written.
allocated() { stat -c %b "$part_file" 2>/dev/null || echo 0; }

for round in $(seq "$kills"); do
  before=$(allocated)
  deadline=$((SECONDS + 60))
  until [ "$(allocated)" -gt "$before" ]; do
    [ -f "$copy" ] && fail "the download finished after $((round - 1)) kills; a larger file is needed"
    [ "$SECONDS" -lt "$deadline" ] || fail "no data arrived in round $round"
    sleep 0.02
  done
  # A random moment while the data flows: up to 100 ms later, a part or two at full rate.
  sleep "0.$(printf '%03d' $((RANDOM % 100)))"
  pid=$(cat "$work/b/tarnsvc.pid")
  kill -KILL "$pid"
  wait "$pid" 2>/dev/null
  while kill -0 "$pid" 2>/dev/null; do sleep 0.02; done
  echo "round $round: killed with $(( $(allocated) / 2048 )) MiB of the part file allocated"
  instance_start "$work/b" "$work/b/tarnsvc.log.$round"
  instance_wait "$work/b" 30 || fail "B did not start again after kill $round"
done

instance_wait_file "$work/b" "$hash" "${TARN_E2E_SECONDS:-240}" ||
  fail "B did not complete the download after $kills kills"
[ "$(stat -c %s "$copy")" = "$size" ] || fail "B's copy has another size"
cmp -s "$copy" "$a_file" || fail "B's copy differs from A's file"
echo "after $kills kills the download completed in $SECONDS s, content equal"
network_stop
