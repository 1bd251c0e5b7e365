#!/usr/bin/env bash
# Source exchange between daemons. A shares a file of three parts; B downloads it from A
# through the index server, which makes B, for A, a client that holds the file. C is logged in
# to a second index server that knows only A as a source; C asks A for sources, learns of B,
# and downloads from both: C's download lists two sources, and both A and B send it data.
# Every process started here is stopped at the end.
#
# Usage: source_exchange_test.sh SOURCE_ROOT BUILD_DIR
#   TARN_E2E_MB        size of the file in MB (default 24; three parts)
#   TARN_E2E_SECONDS   time allowed for each download (default 120)
set -uo pipefail
root=$1
export TARN_BUILD=$2
# shellcheck source=../../scripts/tarn-instance.sh
source "$root/scripts/tarn-instance.sh"
# shellcheck source=peer_network.sh
source "$root/tests/peers/peer_network.sh"

megabytes=${TARN_E2E_MB:-24}
size=$((megabytes * 1000 * 1000 + 999))
network_start a b c || fail "the network did not start"
# C takes its data slowly enough that B, learned of a moment after A, gives its share.
instance_setting "$work/c" "Max Download" 2000
source_file=$(network_share a "exchanged.bin" "$size") || fail "A's file was not created"
network_run a b || fail "A and B did not start"
instance_wait_shared "$work/a" 1 60 || fail "A did not share its file"
network_transfer a b "exchanged.bin" "$source_file"
link=$(network_link a "exchanged.bin")
hash=$(echo "$link" | cut -d'|' -f5)

# A's address is the id its server gave it; the second server hands out A alone.
a_id=$(instance_json "$work/a" "d['client_id']" status)
a_address=$(python3 -c "i=$a_id; print('.'.join(str(i >> s & 255) for s in (0, 8, 16, 24)))")
a_port=$(sed -n 's/^"TCP Port"=dword:\(.*\)$/\1/p' "$work/a/config/HKEY_LOCAL_MACHINE.reg")
a_port=$((16#$a_port))
first_server=$INDEX_SERVER_PID
first_port=$INDEX_SERVER_PORT
mkdir -p "$work/second"
index_server_start "$work/second" 0 --id $((0x0900007F)) --source "$hash@$a_address:$a_port" ||
  fail "the second index server did not start"
network_extra_pids+=("$INDEX_SERVER_PID")
INDEX_SERVER_PID=$first_server
sed -i "s/^\"Server Port\"=.*/\"Server Port\"=$(instance_hex "$INDEX_SERVER_PORT")/" \
  "$work/c/config/HKEY_LOCAL_MACHINE.reg"
INDEX_SERVER_PORT=$first_port
network_run c || fail "C did not start"
deadline=$((SECONDS + 30))
until [ "$(instance_json "$work/c" "d['connected']" status)" = True ]; do
  [ "$SECONDS" -lt "$deadline" ] || fail "C did not log in to the second server"
  sleep 0.2
done

uploaded() { instance_json "$work/$1" "d['uploaded']" status; }
a_before=$(uploaded a)
b_before=$(uploaded b)
instance_tarn "$work/c" download "$link" >/dev/null || fail "C refused the link $link"
most=0
deadline=$((SECONDS + ${TARN_E2E_SECONDS:-120}))
until [ "$(instance_json "$work/c" "any(f['hash'] == '$hash' for f in d)" shared)" = True ]; do
  [ "$SECONDS" -lt "$deadline" ] || fail "C did not complete the file in time"
  sources=$(instance_json "$work/c" "max([x['sources'] for x in d if x['hash'] == '$hash'] + [0])" downloads)
  [ "${sources:-0}" -gt "$most" ] && most=$sources
  sleep 0.2
done
cmp -s "$work/c/data/Ostrel/TARN/Shared/exchanged.bin" "$source_file" ||
  fail "C's copy differs from A's"
[ "$most" -ge 2 ] || fail "C's download never listed B beside A ($most sources)"
from_a=$(($(uploaded a) - a_before))
from_b=$(($(uploaded b) - b_before))
echo "C downloaded $size bytes from $most sources: $from_a from A, $from_b from B"
[ "$from_a" -gt 0 ] || fail "A sent C nothing"
[ "$from_b" -gt 0 ] || fail "B sent C nothing"
network_stop
