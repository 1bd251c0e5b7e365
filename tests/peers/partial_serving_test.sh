#!/usr/bin/env bash
# A download in progress serves only the parts it verified. A shares a file of three parts,
# slowly ("Max Upload" 100 KiB/s). B resumes a download of it from a part file placed in its
# temp folder that holds parts 0 and 2, both verified before (the metadata requires only part
# 1); B takes the hash set and a few unverified blocks of part 1 from A, then A goes away.
# C downloads the file with B as its only live source: it must get parts 0 and 2 byte for
# byte, and not one byte of part 1 (its part file stays zero there).
#
# Usage: partial_serving_test.sh SOURCE_ROOT BUILD_DIR
set -uo pipefail
root=$1
export TARN_BUILD=$2
# shellcheck source=../../scripts/tarn-instance.sh
source "$root/scripts/tarn-instance.sh"
# shellcheck source=peer_network.sh
source "$root/tests/peers/peer_network.sh"

part=9728000
size=$((2 * part + 5000000))
verified=$((part + 5000000))  # parts 0 and 2
network_start a b c || fail "the network did not start"
instance_setting "$work/a" "Max Upload" 100
source_file=$(network_share a "partly.bin" "$size") || fail "A's file was not created"
network_run a || fail "A did not start"
instance_wait_shared "$work/a" 1 60 || fail "A did not share its file"
link=$(network_link a "partly.bin") || fail "A does not share the file"
hash=$(echo "$link" | cut -d'|' -f5)
# B asks the server for sources once at its start: A's offer must be there by then.
network_wait_offered a "partly.bin" "$hash" || fail "the server does not find A's file"

# B's part file: A's bytes in parts 0 and 2, nothing in part 1, which is all that is required.
b_temp=$work/b/data/Ostrel/TARN/Temp
mkdir -p "$b_temp"
python3 - "$source_file" "$b_temp" "$hash" "$size" "$part" <<'PY'
import sys
source, temp, hash, size, part = sys.argv[1], sys.argv[2], sys.argv[3], int(sys.argv[4]), int(sys.argv[5])
data = bytearray(open(source, 'rb').read())
data[part:2 * part] = bytes(part)
open(temp + '/00000.tarn.tmp', 'wb').write(data)
open(temp + '/00000.tarn.dat', 'w').write(
    '<?xml version="1.0" encoding="utf-8" ?>\n<DownloadFile>\n\t<HHASH>%s</HHASH>\n'
    '\t<FileName>partly.bin</FileName>\n\t<FileSize>%d</FileSize>\n\t<EmptyBlockList>\n'
    '\t\t<Block>\n\t\t\t<StartPos>%d</StartPos>\n\t\t\t<EndPos>%d</EndPos>\n\t\t</Block>\n'
    '\t</EmptyBlockList>\n</DownloadFile>' % (hash, size, part, 2 * part))
PY
network_run b c || fail "B and C did not start"

completed() {  # completed NAME: bytes its download of the file holds
  instance_json "$work/$1" "next((x['completed'] for x in d if x['hash'] == '$hash'), -1)" downloads
}
[ "$(completed b)" -ge "$verified" ] || fail "B did not resume with parts 0 and 2 ($(completed b))"
# Unverified data at B: some blocks of part 1 from A, far from the whole part.
deadline=$((SECONDS + 60))
until [ "$(completed b)" -gt "$verified" ]; do
  [ "$SECONDS" -lt "$deadline" ] || fail "B got nothing of part 1 from A"
  sleep 0.2
done
instance_stop_daemon "$work/a"
b_has=$(completed b)
[ "$b_has" -lt $((verified + part)) ] || fail "B completed part 1 after all ($b_has)"
echo "B holds $b_has bytes, $((b_has - verified)) of them unverified in part 1"

instance_tarn "$work/c" download "$link" >/dev/null || fail "C refused the link"
deadline=$((SECONDS + 60))
until [ "$(completed c)" = "$verified" ]; do
  [ "$SECONDS" -lt "$deadline" ] || fail "C did not get parts 0 and 2 from B ($(completed c))"
  sleep 0.2
done
sleep 3  # anything more B would send comes in this time
[ "$(completed c)" = "$verified" ] || fail "C got more than B's verified parts ($(completed c))"
# The part file on disk: the saved state is what a pause writes.
instance_tarn "$work/c" pause "$(instance_json "$work/c" "next(x['key'] for x in d if x['hash'] == '$hash')" downloads)" >/dev/null
python3 - "$source_file" "$work/c/data/Ostrel/TARN/Temp/00000.tarn.tmp" "$part" <<'PY' ||
import sys
source, copy, part = open(sys.argv[1], 'rb').read(), open(sys.argv[2], 'rb').read(), int(sys.argv[3])
assert copy[:part] == source[:part], "part 0 differs"
assert copy[2 * part:] == source[2 * part:], "part 2 differs"
assert copy[part:2 * part].count(0) == part, "part 1 holds data"
PY
  fail "C's part file is not parts 0 and 2 of the file alone"
echo "C got parts 0 and 2 from B and nothing of part 1"
network_stop
echo "passed"
