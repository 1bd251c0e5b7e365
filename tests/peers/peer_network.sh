# Sourced by the tests that run several tarnsvc instances against one test index server (after
# scripts/tarn-instance.sh): a scratch folder, the server, the instances by name, files to
# share, a download by link checked byte for byte, and a stop that checks nothing outlives it.
#
#   network_start NAME...          the server (with the options in network_server_options),
#                                  and each instance's registry in $work/NAME
#   network_share NAME FILE SIZE   SIZE random bytes in NAME's shared folder; prints the path
#   network_run NAME...            starts the instances' daemons and waits until they answer
#   network_link NAME FILE         the ed2k link of FILE as NAME shares it
#   network_wait_offered TO FILE HASH    waits until TO's search finds the file with HASH
#   network_transfer FROM TO FILE PATH   once the server has FROM's FILE, TO downloads it by
#                                  link; checks its content
#                                  against PATH and that TO shares it afterwards
#   network_stop                   stops everything; fails when a process survives
#   fail TEXT                      explains, shows the logs, stops everything, exits 1
# TARN_KEEP=1 leaves the scratch folder (logs, files) in place.

work=$(mktemp -d "${TMPDIR:-/tmp}/tarn-peers.XXXXXX")
network_names=()
network_extra_pids=()  # further processes a test started (stopped with the network)
network_server_options=()
network_stopped=

network_pids() {
  local name pid
  for name in "${network_names[@]}"; do instance_pids "$work/$name"; done
  [ -n "${INDEX_SERVER_PID:-}" ] && kill -0 "$INDEX_SERVER_PID" 2>/dev/null && echo "$INDEX_SERVER_PID"
  for pid in "${network_extra_pids[@]}"; do kill -0 "$pid" 2>/dev/null && echo "$pid"; done
  true
}

network_stop() {
  local pids name pid survivors=0
  [ -n "$network_stopped" ] && return 0
  network_stopped=1
  pids=$(network_pids)
  for name in "${network_names[@]}"; do instance_stop "$work/$name"; done
  index_server_stop
  for pid in "${network_extra_pids[@]}"; do kill -TERM "$pid" 2>/dev/null; done
  for pid in $pids; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$pid" 2>/dev/null; then
      echo "process $pid ($(tr '\0' ' ' </proc/"$pid"/cmdline 2>/dev/null)) survived its stop" >&2
      kill -KILL "$pid" 2>/dev/null
      survivors=$((survivors + 1))
    fi
  done
  [ -n "${TARN_KEEP:-}" ] || rm -rf "$work"
  [ "$survivors" -eq 0 ] || { echo "FAILED: $survivors processes outlived the stop" >&2; exit 1; }
}
trap network_stop EXIT
trap 'exit 130' INT TERM

fail() {
  local name pid
  echo "FAILED: $*" >&2
  for name in "${network_names[@]}"; do
    echo "--- $name: downloads"; instance_tarn "$work/$name" downloads 2>&1 | head -n 10
    echo "--- $name: tarnsvc log"; tail -n 30 "$work/$name/tarnsvc.log" 2>/dev/null
  done
  echo "--- index server log"; tail -n 20 "$work/server.log" 2>/dev/null
  network_stop
  exit 1
}

network_start() {
  local name base
  # Each instance its own id: sources are told apart by their ids.
  index_server_start "$work" 0 --distinct-ids "${network_server_options[@]}" || return 1
  # Peer ports below the ephemeral range, so no outgoing connection holds one.
  base=$((20000 + RANDOM % 12000))
  for name in "$@"; do
    network_names+=("$name")
    instance_prepare "$work/$name" "$INDEX_SERVER_PORT" "$base" $((base + 1))
    mkdir -p "$work/$name/data/Ostrel/TARN/Shared"
    base=$((base + 2))
  done
}

network_share() {
  local name=$1 file=$2 size=$3 path
  path=$work/$name/data/Ostrel/TARN/Shared/$file
  head -c "$size" /dev/urandom >"$path" || return 1
  echo "$path"
}

network_run() {
  local name pid
  for name in "$@"; do instance_start "$work/$name"; done
  for name in "$@"; do instance_wait "$work/$name" 30 || return 1; done
}

network_link() {
  local name=$1 file=$2
  instance_json "$work/$name" \
    "next('ed2k://|file|%s|%d|%s|/' % (f['name'], f['size'], f['hash']) for f in d if f['name'] == '$file')" \
    shared
}

# Seconds since the epoch with a fraction, for rates.
network_now() { date +%s.%N; }

# Waits until a search by NAME's first word, from instance TO, finds the file with HASH: the
# sharing daemon offers a file only when a burst of changes has settled, and a download asks
# the server for sources at once and then only every few minutes.
network_wait_offered() {
  local to=$1 file=$2 hash=$3 found=
  for _ in $(seq 30); do
    found=$(instance_json "$work/$to" "any(r['hash'] == '$hash' for r in d)" search "${file%% *}" --wait 1)
    [ "$found" = True ] && return 0
    sleep 0.5
  done
  return 1
}

network_transfer() {
  local from=$1 to=$2 file=$3 source=$4 link hash started seconds
  link=$(network_link "$from" "$file") || fail "$from does not share $file"
  hash=$(echo "$link" | cut -d'|' -f5)
  network_wait_offered "$to" "$file" "$hash" || fail "the server does not find $from's $file"
  started=$(network_now)
  # The list followed on a pipe tells the completion in a line of its own.
  instance_tarn_bg "$work/$to" downloads --follow >"$work/$to/follow.out" 2>&1
  local follower=$!
  instance_tarn "$work/$to" download "$link" >/dev/null || fail "$to refused the link $link"
  instance_wait_file "$work/$to" "$hash" "${TARN_E2E_SECONDS:-120}" ||
    fail "$to did not complete $file from $from in time"
  seconds=$(python3 -c "print(round($(network_now) - $started, 2))")
  for _ in $(seq 50); do grep -q "complete, now shared" "$work/$to/follow.out" && break; sleep 0.1; done
  kill -TERM "$follower" 2>/dev/null
  wait "$follower" 2>/dev/null
  grep -q "^[0-9]* $file: complete, now shared$" "$work/$to/follow.out" ||
    fail "$to's downloads --follow did not tell the completion: $(tail -n 3 "$work/$to/follow.out")"
  [ "$(instance_json "$work/$to" "sum(1 for x in d if x['hash'] == '$hash')" shared)" = 1 ] ||
    fail "$to lists $file more than once among its shared files"
  local copy=$work/$to/data/Ostrel/TARN/Shared/$file
  [ "$(stat -c %s "$copy")" = "$(stat -c %s "$source")" ] || fail "$to's copy of $file has another size"
  cmp -s "$copy" "$source" || fail "$to's copy of $file differs from $from's"
  [ "$(instance_json "$work/$to" "sum(1 for x in d if x['hash'] == '$hash')" downloads)" = 0 ] ||
    fail "$file is still in $to's downloads"
  echo "$to downloaded $file ($(stat -c %s "$source") bytes) from $from in $seconds s, content equal"
}
