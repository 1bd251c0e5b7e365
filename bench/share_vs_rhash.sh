#!/usr/bin/env bash
# Sharing one file, daemon start included, against rhash on the same file in the same run: the
# time from starting tarnsvc with the file in its shared folder to a Shared.dat that lists it,
# and the time of `rhash --ed2k --aich` (one thread, the same two digests). Runs alternate,
# three of each by default (the file is in the page cache for both); prints every time with
# the CPU seconds each used (on a busy machine the times say more about the scheduler), the
# medians, their ratio (goal: at most 0.6), the CPU model and the load average.
#
# Usage: bench/share_vs_rhash.sh [--build-dir DIR] [--runs N] [MEGABYTES]
#   MEGABYTES    size of the file in MiB (default 512)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=$root/build
megabytes=512
runs=3
while [ $# -gt 0 ]; do
  case "$1" in
    --build-dir) build_dir=$2; shift ;;
    --runs) runs=$2; shift ;;
    -h | --help) sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) megabytes=$1 ;;
  esac
  shift
done
command -v rhash >/dev/null || { echo "rhash is not installed" >&2; exit 1; }
export TARN_BUILD=$build_dir
# shellcheck source=../scripts/tarn-instance.sh
source "$root/scripts/tarn-instance.sh"
# shellcheck source=../tests/peers/peer_network.sh
source "$root/tests/peers/peer_network.sh"

network_start a || fail "the network did not start"
file=$(network_share a "shared.bin" $((megabytes * 1024 * 1024))) || fail "no room for the file"
config=$work/a/data/Ostrel/TARN/Config
now() { date +%s.%N; }
ticks=$(getconf CLK_TCK)
# cpu_seconds PID: user + system time of a running process.
cpu_seconds() {
  local fields
  read -r -a fields <<<"$(sed 's/.*) //' /proc/"$1"/stat)"
  python3 -c "print('%.2f' % ($((fields[11] + fields[12])) / $ticks))"
}
listed() { [ -f "$config/Shared.dat" ] && grep -q "shared.bin" "$config/Shared.dat"; }

tarn_times=()
rhash_times=()
for run in $(seq "$runs"); do
  started=$(now)
  rhash_cpu=$( { /usr/bin/time -f "%U %S" rhash --ed2k --aich "$file" >/dev/null; } 2>&1) ||
    fail "rhash failed"
  rhash_times+=("$(python3 -c "print($(now) - $started)")")
  rhash_cpu=$(python3 -c "print('%.2f' % sum(map(float, '$rhash_cpu'.split())))")

  rm -f "$config/Shared.dat" "$config/AICH.dat"
  started=$(now)
  instance_start "$work/a" "$work/a/tarnsvc.log.$run"
  deadline=$((SECONDS + 600))
  until listed; do
    [ "$SECONDS" -lt "$deadline" ] || fail "Shared.dat did not list the file"
    sleep 0.01
  done
  tarn_times+=("$(python3 -c "print($(now) - $started)")")
  tarn_cpu=$(cpu_seconds "$(cat "$work/a/tarnsvc.pid")")
  instance_stop_daemon "$work/a"
  echo "run $run: rhash ${rhash_times[-1]:0:5} s (CPU $rhash_cpu s)," \
    "tarnsvc start to Shared.dat ${tarn_times[-1]:0:5} s (CPU $tarn_cpu s)"
done
python3 - "${tarn_times[*]}" "${rhash_times[*]}" "$megabytes" <<'PY'
import statistics, sys
tarn = [float(x) for x in sys.argv[1].split()]
rhash = [float(x) for x in sys.argv[2].split()]
t, r = statistics.median(tarn), statistics.median(rhash)
print("%s MiB: tarnsvc %.2f s, rhash %.2f s (medians of %d); ratio %.2f (goal: at most 0.6)"
      % (sys.argv[3], t, r, len(tarn), t / r))
model = next((l.split(":", 1)[1].strip() for l in open("/proc/cpuinfo") if l.startswith("model name")), "?")
print("CPU: %s; load average %s" % (model, " ".join(open("/proc/loadavg").read().split()[:3])))
PY
network_stop
