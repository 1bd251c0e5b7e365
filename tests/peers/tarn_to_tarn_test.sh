#!/usr/bin/env bash
# Two tarnsvc processes and the test index server on loopback, each instance on a bus of its
# own. A shares a file of several parts; B is given its link, finds A as a source through the
# server, downloads it, and the file lands in B's shared list with the same content. Then the
# other way round with another file. Whatever happens, every process started here is stopped
# at the end, and the test fails if one outlives its stop.
#
# Usage: tarn_to_tarn_test.sh SOURCE_ROOT BUILD_DIR
#   TARN_E2E_MB        size of each file in MB (default 64, seven parts; 100 for the full
#                      check; sanitizer builds use 20)
#   TARN_E2E_SECONDS   time allowed for each download (default 120)
set -uo pipefail
root=$1
export TARN_BUILD=$2
# shellcheck source=../../scripts/tarn-instance.sh
source "$root/scripts/tarn-instance.sh"
# shellcheck source=peer_network.sh
source "$root/tests/peers/peer_network.sh"

megabytes=${TARN_E2E_MB:-64}
size=$((megabytes * 1000 * 1000 + 4321))  # not a whole number of parts or blocks
network_start a b || fail "the network did not start"

a_file=$(network_share a "from a.bin" "$size") || fail "A's file was not created"
b_file=$(network_share b "from b.bin" $((size - 1000000))) || fail "B's file was not created"
network_run a b || fail "the daemons did not start"
echo "both daemons answer after $SECONDS s"
instance_wait_shared "$work/a" 1 60 || fail "A did not share its file"
instance_wait_shared "$work/b" 1 60 || fail "B did not share its file"

echo "both files hashed and shared after $SECONDS s"
network_transfer a b "from a.bin" "$a_file"
network_transfer b a "from b.bin" "$b_file"
echo "both directions passed after $SECONDS s"
network_stop
echo "everything stopped after $SECONDS s"
