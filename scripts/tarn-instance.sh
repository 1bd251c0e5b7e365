# Sourced by scripts/demo and the command-line tests: one tarnsvc instance in a folder of its
# own, on a D-Bus session bus of its own. Two instances on one machine need separate
# configuration and data folders (TARN_CONFIG_DIR, XDG_DATA_HOME), separate peer ports, and
# separate buses: every instance claims the same well-known name com.ostrel.TarnSvc, so each
# gets a private dbus-daemon and `tarn` reaches an instance through its bus address.
#
#   instance_prepare DIR SERVER_PORT TCP_PORT UDP_PORT   the registry of a new instance
#   instance_setting DIR NAME NUMBER   a further DWORD value under the product key
#   instance_start DIR [LOG]      starts its bus and daemon; sets INSTANCE_BUS, INSTANCE_PIDS
#   instance_tarn DIR ARGS...     runs tarn against it (instance_tarn_bg: in the background)
#   instance_wait DIR SECONDS     waits until its daemon answers
#   instance_stop_daemon DIR      stops its daemon only
#   instance_stop DIR             stops its daemon, then its bus (one it started)
#   instance_pids DIR             the processes it started and still runs (daemon, bus)
#   instance_json DIR EXPR ARGS... runs tarn ARGS... --json, prints the Python EXPR of its answer d
#   instance_wait_shared DIR COUNT SECONDS   waits until it shares COUNT files
#   instance_wait_file DIR HASH SECONDS      waits until it shares the file with HASH
#   instance_ui DIR               starts `tarnshell ui --no-open` on it (log DIR/ui.log); sets
#                                 UI_PID and UI_ADDRESS, the page's address with its token
#   index_server_start DIR [PORT [OPTION...]]  starts the test index server (PORT 0 or none:
#                                 a free one) with its OPTIONs;
#                                 sets INDEX_SERVER_PID and INDEX_SERVER_PORT; log DIR/server.log
#   index_server_stop             stops it

instance_hex() { printf 'dword:%08x' "$1"; }

instance_prepare() {
  local dir=$1 server=$2 tcp=$3 udp=$4
  mkdir -p "$dir/config" "$dir/data" "$dir/runtime"
  chmod 700 "$dir/runtime"
  cat > "$dir/config/HKEY_LOCAL_MACHINE.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\Software\\Ostrel\\TARN]
"Server IP"="127.0.0.1"
"Server Port"=$(instance_hex "$server")
"Hashing Pause"=dword:00000000

[HKEY_LOCAL_MACHINE\\Software\\Ostrel\\TARN\\Connections]
"TCP Port"=$(instance_hex "$tcp")
"UDP Port"=$(instance_hex "$udp")
REG
}

instance_setting() {
  local dir=$1 name=$2 value=$3
  sed -i "/^\\[HKEY_LOCAL_MACHINE\\\\Software\\\\Ostrel\\\\TARN\\]/a \"$name\"=$(instance_hex "$value")" \
    "$dir/config/HKEY_LOCAL_MACHINE.reg"
}

instance_env() {
  local dir=$1
  echo "TARN_CONFIG_DIR=$dir/config XDG_DATA_HOME=$dir/data XDG_CONFIG_HOME=$dir/config-home" \
       "XDG_RUNTIME_DIR=$dir/runtime DBUS_SESSION_BUS_ADDRESS=$(cat "$dir/bus")"
}

instance_start() {
  local dir=$1 log=${2:-$1/tarnsvc.log}
  # A bus file written beforehand (the test's dbus-run-session) is used as it stands.
  [ -s "$dir/bus" ] || dbus-daemon --session --fork --nopidfile --print-address=3 --print-pid=4 \
    3>"$dir/bus" 4>"$dir/bus.pid" >/dev/null
  sed -i "s/[[:space:]]*$//" "$dir/bus" "$dir/bus.pid" 2>/dev/null || true
  env $(instance_env "$dir") "$TARN_BUILD/tarnsvc" >"$log" 2>&1 &
  echo $! > "$dir/tarnsvc.pid"
}

instance_tarn() {
  local dir=$1
  shift
  env $(instance_env "$dir") "$TARN_BUILD/tarn" "$@"
}

# As instance_tarn, in the background; $! is tarn itself, so a signal reaches it.
instance_tarn_bg() {
  local dir=$1
  shift
  env $(instance_env "$dir") "$TARN_BUILD/tarn" "$@" &
}

instance_wait() {
  local dir=$1 seconds=$2 end
  end=$((SECONDS + seconds))
  while ((SECONDS < end)); do
    instance_tarn "$dir" config ConfigPath >/dev/null 2>&1 && return 0
    sleep 0.2
  done
  return 1
}

instance_stop_daemon() {
  local dir=$1 pid
  [ -f "$dir/tarnsvc.pid" ] || return 0
  pid=$(cat "$dir/tarnsvc.pid")
  kill -TERM "$pid" 2>/dev/null || true
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  rm -f "$dir/tarnsvc.pid"
}

instance_stop() {
  local dir=$1
  instance_stop_daemon "$dir"
  if [ -f "$dir/bus.pid" ]; then
    kill -TERM "$(cat "$dir/bus.pid")" 2>/dev/null || true
    rm -f "$dir/bus.pid"
  fi
}

instance_pids() {
  local dir=$1 file pid
  for file in "$dir/tarnsvc.pid" "$dir/bus.pid"; do
    [ -f "$file" ] || continue
    pid=$(cat "$file")
    kill -0 "$pid" 2>/dev/null && echo "$pid"
  done
  true
}

instance_json() {
  local dir=$1 expr=$2
  shift 2
  instance_tarn "$dir" "$@" --json 2>/dev/null | python3 -c "import json,sys; d=json.load(sys.stdin); print($expr)"
}

instance_wait_shared() {
  local dir=$1 count=$2 seconds=$3 end
  end=$((SECONDS + seconds))
  while ((SECONDS < end)); do
    [ "$(instance_json "$dir" 'len(d)' shared)" = "$count" ] && return 0
    sleep 0.2
  done
  return 1
}

instance_wait_file() {
  local dir=$1 hash=$2 seconds=$3 end
  end=$((SECONDS + seconds))
  while ((SECONDS < end)); do
    [ "$(instance_json "$dir" "any(f['hash'] == '$hash' for f in d)" shared)" = True ] && return 0
    sleep 0.2
  done
  return 1
}

instance_ui() {
  local dir=$1
  UI_ADDRESS=
  env $(instance_env "$dir") "$TARN_BUILD/tarnshell" ui --no-open >"$dir/ui.log" 2>&1 &
  UI_PID=$!
  for _ in $(seq 100); do
    UI_ADDRESS=$(sed -n 's/^TARN.s page: \(http[^ ]*\)$/\1/p' "$dir/ui.log" 2>/dev/null)
    [ -n "$UI_ADDRESS" ] && return 0
    sleep 0.1
  done
  return 1
}

index_server_start() {
  local dir=$1 port=${2:-0}
  shift 2 2>/dev/null || shift
  INDEX_SERVER_PORT=
  "$TARN_BUILD/test-index-server" --port "$port" "$@" >"$dir/server.log" 2>&1 &
  INDEX_SERVER_PID=$!
  for _ in $(seq 50); do grep -q "test index server on" "$dir/server.log" && break; sleep 0.1; done
  INDEX_SERVER_PORT=$(sed -n 's/^test index server on [0-9.]*:\([0-9]*\).*/\1/p' "$dir/server.log")
  [ -n "$INDEX_SERVER_PORT" ]
}

index_server_stop() {
  [ -n "${INDEX_SERVER_PID:-}" ] || return 0
  kill -TERM "$INDEX_SERVER_PID" 2>/dev/null
  wait "$INDEX_SERVER_PID" 2>/dev/null
  INDEX_SERVER_PID=
  true
}
