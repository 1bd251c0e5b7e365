#!/usr/bin/env bash
# A file above 4 GiB from one tarnsvc to another on loopback. A shares a 5 GiB file, sparse
# but for random data in its first part, in the part across 2^32 and in its last part; B
# finds it by a search for files larger than 4 GiB, downloads it by its link and ends with a
# copy equal to A's. A's hash of the file must equal rhash's. B reaches A only through a
# relay that counts the packets each way: the blocks must travel in the 64-bit forms
# (request parts 0xA3, sending part 0xA2 or compressed part 0xA1, under protocol 0xC5) and
# never in a 32-bit form. Both daemons get a low id, so that the relay, which the server hands
# out as the file's source, is the only way from B to A.
#
# Usage: large_file_test.sh SOURCE_ROOT BUILD_DIR
#   TARN_E2E_SECONDS   time allowed for the download (default 420)
set -uo pipefail
root=$1
export TARN_BUILD=$2
# shellcheck source=../../scripts/tarn-instance.sh
source "$root/scripts/tarn-instance.sh"
# shellcheck source=peer_network.sh
source "$root/tests/peers/peer_network.sh"

name="large film.iso"
size=5368709120
mib=$((1024 * 1024))
file=$work/a/data/Ostrel/TARN/Shared/$name
mkdir -p "$(dirname "$file")" "$work/b"
free=$(df --output=avail -B1 "$work" | tail -n 1)
if [ "$free" -le $((size + 1024 * mib)) ]; then
  echo "skipped: the disk of $work has $free bytes free; the copy needs 6 GiB"
  exit 77
fi
truncate -s "$size" "$file" || fail "the sparse file was not created"
# Random data (MiB offsets): the first part, across 2^32, the last part.
for at in 0 4095 $((size / mib - 2)); do
  dd if=/dev/urandom of="$file" bs=1M count=2 seek="$at" conv=notrunc status=none ||
    fail "random data at $at MiB was not written"
done
hash=$(rhash --printf '%{ed2k}' "$file") || fail "rhash did not hash the file"
hash=${hash^^}  # as tarn shows it
aich=$(rhash --printf '%{aich}' "$file")

base=$((20000 + RANDOM % 12000))
python3 "$root/tests/peers/frame_relay.py" "$base" "$work/frames.json" >"$work/relay.out" &
network_extra_pids+=("$!")
for _ in $(seq 50); do [ -s "$work/relay.out" ] && break; sleep 0.1; done
relay_port=$(head -n 1 "$work/relay.out")
[ -n "$relay_port" ] || fail "the relay did not start"

# Id 5 is a low id for every login: neither daemon can reach the other directly.
index_server_start "$work" 0 --id 5 --source "$hash@127.0.0.1:$relay_port" ||
  fail "the index server did not start"
instance_prepare "$work/a" "$INDEX_SERVER_PORT" "$base" $((base + 1))
instance_prepare "$work/b" "$INDEX_SERVER_PORT" $((base + 2)) $((base + 3))
mkdir -p "$work/b/data/Ostrel/TARN/Shared"
network_names+=(a b)
network_run a b || fail "the daemons did not start"
instance_wait_shared "$work/a" 1 180 || fail "A did not share its 5 GiB file"
echo "A hashed and shared the file after $SECONDS s"

shared=$(instance_json "$work/a" "[(f['hash'], f['size']) for f in d if f['name'] == '$name'][0]" shared)
[ "$shared" = "('$hash', $size)" ] ||
  fail "A shares the file as $shared, rhash gives $hash and $size bytes"

found=
for _ in $(seq 60); do
  found=$(instance_json "$work/b" "any(r['hash'] == '$hash' and r['size'] == $size for r in d)" \
    search large --min-size 4294967297 --wait 1)
  [ "$found" = True ] && break
  sleep 0.5
done
[ "$found" = True ] || fail "a search for files above 4 GiB does not find A's file"
[ "$(instance_json "$work/b" "any(r['hash'] == '$hash' for r in d)" \
  search large --max-size 4294967296 --wait 1)" = False ] ||
  fail "a search for files up to 4 GiB finds the 5 GiB file"
echo "B found the file by its size after $SECONDS s"

started=$SECONDS
instance_tarn "$work/b" download "ed2k://|file|$name|$size|$hash|/" >/dev/null ||
  fail "B refused the link of the 5 GiB file"
instance_wait_file "$work/b" "$hash" "${TARN_E2E_SECONDS:-420}" || fail "B did not complete the 5 GiB file in time"
echo "B downloaded the file in $((SECONDS - started)) s"
copy=$work/b/data/Ostrel/TARN/Shared/$name
[ "$(stat -c %s "$copy")" = "$size" ] || fail "B's copy has $(stat -c %s "$copy") bytes"
cmp -s "$copy" "$file" || fail "B's copy differs from A's file"
[ "$(rhash --printf '%{aich}' "$copy")" = "$aich" ] || fail "B's copy has another AICH root"

# The relay rewrites its counts every half second: wait for a copy written after the download.
done_at=$(date +%s.%N)
for _ in $(seq 50); do
  [ "$(stat -c %.9Y "$work/frames.json" 2>/dev/null || echo 0)" \> "$done_at" ] && break
  sleep 0.1
done
frames=$(cat "$work/frames.json")
count() {
  python3 -c "import json,sys; c=json.loads(sys.argv[1]); print(c['$1'].get('$2', 0))" "$frames"
}
echo "frames through the relay: $frames"
[ "$(count to_target c5:a3)" -gt 0 ] || fail "B never asked for blocks in the 64-bit form"
[ $(($(count from_target c5:a2) + $(count from_target c5:a1))) -gt 0 ] ||
  fail "A never sent blocks in the 64-bit forms"
[ "$(count to_target e3:47)" = 0 ] || fail "B asked for blocks of the large file in the 32-bit form"
[ "$(count from_target e3:46)" = 0 ] || fail "A sent blocks of the large file in the 32-bit form"
[ "$(count from_target c5:40)" = 0 ] || fail "A sent packed blocks of the large file in the 32-bit form"
network_stop
echo "passed after $SECONDS s"
