#!/usr/bin/env bash
# TARN to TARN on loopback: two tarnsvc processes and the test index server, as in the peer
# tests. A shares one file; B downloads it by link. Prints the rate and, for each side, the
# CPU seconds the daemon used while the file moved (from /proc, per process and per thread),
# and per GB. The yardstick is measured in the same run, just before the download: the same
# bytes copied over a plain loopback TCP connection into a file in B's temp folder (the disk
# the part file is on), made durable with one fdatasync at the end; the ratio of the two rates
# is printed with the load average. With --perf the system is sampled with perf meanwhile and
# each daemon's hottest functions are printed.
#
# Usage: bench/tarn_to_tarn.sh [--perf] [--name FILE] [--limit KIB] [--build-dir DIR] [MEGABYTES]
#   MEGABYTES    size of the file in MiB (default 1024)
#   --name FILE  the file's name (default bench.bin; its type decides whether packing is tried)
#   --limit KIB  B's "Max Download" in KiB/s, for the cores a given rate costs (195313 KiB/s
#                is 200 MB/s); none by default
#   --build-dir  the folder the programs were built in (default build)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$root/build
megabytes=1024
name=bench.bin
sample=
limit=
while [ $# -gt 0 ]; do
  case "$1" in
    --perf) sample=1 ;;
    --name) name=$2; shift ;;
    --limit) limit=$2; shift ;;
    --build-dir) build_dir=$2; shift ;;
    -h | --help) sed -n '2,16p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) megabytes=$1 ;;
  esac
  shift
done
export TARN_BUILD=$build_dir
# shellcheck source=../scripts/tarn-instance.sh
source "$root/scripts/tarn-instance.sh"
# shellcheck source=../tests/peers/peer_network.sh
source "$root/tests/peers/peer_network.sh"

ticks=$(getconf CLK_TCK)
# thread_times PID: "tid name cpu-ticks" for every thread of the process.
thread_times() {
  local task stat
  for task in /proc/"$1"/task/*; do
    stat=$(cat "$task/stat" 2>/dev/null) || continue
    # The name is in parentheses and may hold spaces; the times follow it.
    local name=${stat#*(}
    name=${name%)*}
    local rest=${stat##*) }
    read -r -a fields <<<"$rest"
    echo "${task##*/} ${name// /_} $((fields[11] + fields[12]))"
  done
}
process_ticks() {  # process_ticks PID: user + system ticks of all its threads
  local fields
  read -r -a fields <<<"$(sed 's/.*) //' /proc/"$1"/stat)"
  echo $((fields[11] + fields[12]))
}
# report SIDE PID BEFORE_FILE: the process's CPU since BEFORE, and its busiest threads.
report() {
  local side=$1 pid=$2 before=$3 now total
  now=$(process_ticks "$pid")
  total=$((now - $(head -n 1 "$before")))
  thread_times "$pid" >>"$before.seen"
  python3 - "$side" "$total" "$ticks" "$megabytes" "$before" "$before.seen" "$seconds" <<'PY'
import sys
side, total, ticks, mb, before_file, seen_file, seconds = sys.argv[1:8]
total, ticks, gb = int(total), int(ticks), int(mb) / 1024
before = {}
for line in open(before_file).read().splitlines()[1:]:
    tid, name, t = line.split()
    before[tid] = int(t)
# The last figure seen of every thread, ended ones included.
last = {}
for line in open(seen_file).read().splitlines():
    tid, name, t = line.split()
    last[tid] = (name, int(t))
threads = []
for tid, (name, t) in last.items():
    used = t - before.get(tid, 0)
    if used > 0:
        threads.append((used, name, tid))
print("%s: %.2f CPU s, %.2f CPU s per GB, %.2f cores" %
      (side, total / ticks, total / ticks / gb, total / ticks / float(seconds)))
for used, name, tid in sorted(threads, reverse=True)[:6]:
    print("    thread %-16s %6s  %.2f s" % (name, tid, used / ticks))
PY
}

# plain_copy SOURCE FOLDER: MiB/s of a loopback TCP copy of SOURCE into a new file in FOLDER,
# made durable by one fdatasync at the end (the copy is removed afterwards).
plain_copy() {
  python3 - "$1" "$2" <<'PY'
import os, socket, sys, time
source, folder = sys.argv[1:3]
target = os.path.join(folder, "plain-copy.bin")
listener = socket.socket()
listener.bind(("127.0.0.1", 0))
listener.listen(1)
started = time.monotonic()
if os.fork() == 0:
    with socket.create_connection(listener.getsockname()) as out, open(source, "rb") as data:
        out.sendfile(data)
    os._exit(0)
connection, _ = listener.accept()
fd = os.open(target, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
buffer = bytearray(1 << 20)
view = memoryview(buffer)
copied = 0
while True:
    got = connection.recv_into(buffer)
    if got == 0:
        break
    done = 0
    while done < got:
        done += os.write(fd, view[done:got])
    copied += got
os.fdatasync(fd)
seconds = time.monotonic() - started
os.close(fd)
os.wait()
os.unlink(target)
print("%.1f" % (copied / 1048576 / seconds))
PY
}

network_start a b || fail "the network did not start"
[ -n "$limit" ] && instance_setting "$work/b" "Max Download" "$limit"
source_file=$(network_share a "$name" $((megabytes * 1024 * 1024))) || fail "no room for the file"
network_run a b || fail "the daemons did not start"
instance_wait_shared "$work/a" 1 600 || fail "A did not hash and share its file"
link=$(network_link a "$name") || fail "A does not share the file"
# The clock starts once the server can name A as a source, so only the transfer is timed.
network_wait_offered b "$name" "$(echo "$link" | cut -d'|' -f5)" || fail "the server does not find A's file"
a_pid=$(cat "$work/a/tarnsvc.pid")
b_pid=$(cat "$work/b/tarnsvc.pid")
{ process_ticks "$a_pid"; thread_times "$a_pid"; } >"$work/a.before"
{ process_ticks "$b_pid"; thread_times "$b_pid"; } >"$work/b.before"
if [ -n "$sample" ]; then
  # The whole system: a process sampled by its id loses the threads it starts later.
  perf record -a -F 499 -g -o "$work/a.perf" >/dev/null 2>&1 &
  perf_pid=$!
fi

temp_folder=$work/b/data/Ostrel/TARN/Temp
mkdir -p "$temp_folder"
plain_rate=$(plain_copy "$source_file" "$temp_folder") || fail "the plain copy failed"
sync
started=$(date +%s.%N)
instance_tarn "$work/b" download "$link" >/dev/null || fail "B refused the link"
copy=$work/b/data/Ostrel/TARN/Shared/$name
wanted=$((megabytes * 1024 * 1024))
# Polled from the disk: asking the daemon would cost it CPU that is no transfer's.
deadline=$((SECONDS + 1800))
polls=0
until [ -f "$copy" ] && [ "$(stat -c %s "$copy")" = "$wanted" ]; do
  [ "$SECONDS" -lt "$deadline" ] || fail "the download did not finish"
  # Threads that end before the transfer does are counted from their last figures.
  if [ $((polls++ % 20)) = 0 ]; then
    thread_times "$a_pid" >>"$work/a.before.seen"
    thread_times "$b_pid" >>"$work/b.before.seen"
  fi
  sleep 0.05
done
seconds=$(python3 -c "print($(date +%s.%N) - $started)")
report "serving side (A)" "$a_pid" "$work/a.before" >"$work/a.report"
report "downloading side (B)" "$b_pid" "$work/b.before" >"$work/b.report"
[ -n "$sample" ] && { kill -INT "$perf_pid"; wait "$perf_pid"; }

python3 -c "
rate = $megabytes / $seconds
print('%d MiB in %.2f s: %.1f MiB/s (goal: 200 MB/s, under one core per side)' % ($megabytes, $seconds, rate))
print('plain loopback copy into the same folder, one fdatasync: %.1f MiB/s; ratio %.2f (goal: 0.8)' % ($plain_rate, rate / $plain_rate))
print('load average: ' + ' '.join(open('/proc/loadavg').read().split()[:3]))
"
cat "$work/a.report" "$work/b.report"
cmp -s "$copy" "$source_file" || fail "the copy differs"
if [ -n "$sample" ]; then
  for side in "serving side:$a_pid" "downloading side:$b_pid"; do
    echo "${side%:*}, hottest functions (perf, share of its own samples):"
    perf report -i "$work/a.perf" --pid "${side#*:}" --stdio --no-children --percentage relative \
      --sort dso,symbol 2>/dev/null | grep -E '^ +[0-9.]+%' | head -n 20 | cut -c1-110
  done
fi
network_stop
