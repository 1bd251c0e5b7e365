#!/usr/bin/env bash
# A huge library as a user meets it, through the daemon: FILES small files (a few hundred bytes
# each) in folders of 1,000 under the shared folder of one tarnsvc, with the test index server
# on loopback. Prints the first start to a complete Shared.dat, the second start (nothing
# changed) to the first offer reaching the server, and the daemon's peak resident memory on
# each start.
#
# Usage: bench/library_offer.sh [--build-dir DIR] [FILES]
#   FILES        how many files (default 100000)
#   --build-dir  the folder the programs were built in (default build)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$root/build
files=100000
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) build_dir=$2; shift ;;
    -h | --help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) files=$1 ;;
  esac
  shift
done
export TARN_BUILD=$build_dir
# shellcheck source=../scripts/tarn-instance.sh
source "$root/scripts/tarn-instance.sh"
# shellcheck source=../tests/peers/peer_network.sh
source "$root/tests/peers/peer_network.sh"

network_start a || fail "the network did not start"
shared=$work/a/data/Ostrel/TARN/Shared
shared_dat=$work/a/data/Ostrel/TARN/Config/Shared.dat
python3 - "$shared" "$files" <<'PY' || fail "no room for the files"
import os, sys
shared, files = sys.argv[1], int(sys.argv[2])
for index in range(files):
    folder = os.path.join(shared, "folder%03d" % (index // 1000))
    if index % 1000 == 0:
        os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "file%06d.txt" % index), "w") as out:
        out.write(("file %d of the library. " % index) * (8 + index % 16))
PY

now() { date +%s.%N; }
elapsed() { python3 -c "print('%.2f' % ($(now) - $1))"; }
peak_mb() { awk '/VmHWM/ { printf "%.1f", $2 / 1024 }' /proc/"$(cat "$work/a/tarnsvc.pid")"/status; }
offers() { grep -c '^tcp 0x15' "$work/server.log"; }
# shared_dat_entries: the files Shared.dat lists (0 while it is missing).
shared_dat_entries() { [ -f "$shared_dat" ] && grep -c '<SharedFile' "$shared_dat" || echo 0; }

started=$(now)
network_run a || fail "the daemon did not start"
deadline=$((SECONDS + 900))
until [ "$(shared_dat_entries)" -ge "$files" ]; do
  [ "$SECONDS" -lt "$deadline" ] || fail "Shared.dat did not list every file in time"
  sleep 0.1
done
echo "first start to a complete Shared.dat: $(elapsed "$started") s, peak $(peak_mb) MB resident"
instance_stop_daemon "$work/a"

offered_before=$(offers)
started=$(now)
instance_start "$work/a"
deadline=$((SECONDS + 120))
until [ "$(offers)" -gt "$offered_before" ]; do
  [ "$SECONDS" -lt "$deadline" ] || fail "the second start offered nothing"
  sleep 0.01
done
echo "second start to the first offer at the server: $(elapsed "$started") s," \
  "peak $(peak_mb) MB resident (goals: first start under 60 s, second under 2 s, under 150 MB)"
grep -q "^hashing" "$work/a/tarnsvc.log" && echo "(the second start hashed again:" \
  "$(grep '^hashing' "$work/a/tarnsvc.log"))"
network_stop
