#!/usr/bin/env bash
# tarnshell as the desktop runs it: registered as the handler of ed2k://, p2p:// and tarn://
# links in folders of its own, links opened with xdg-open start their downloads in a real
# tarnsvc (started by D-Bus activation when it is not running), malformed links and an
# unreachable daemon give one notification each (recorded by the test's notification server
# on the test's own session bus), and --unregister leaves the folders as they were.
# Usage: tarnshell_links_test.sh SOURCE_ROOT BUILD_DIR
set -uo pipefail
root=$1
export TARN_BUILD=$2
# shellcheck source=../../scripts/tarn-instance.sh
source "$root/scripts/tarn-instance.sh"
# shellcheck source=../support/checks.sh
source "$root/tests/support/checks.sh"

work=$(mktemp -d)
dir=$work/a
bus_pid= recorder_pid=
stop_daemon() {  # the daemon the bus started, found by the bus
  local pid
  pid=$(dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.GetConnectionUnixProcessID string:com.ostrel.TarnSvc 2>/dev/null |
    sed -n 's/.*uint32 \([0-9]*\).*/\1/p')
  [ -n "$pid" ] || return 0
  kill -TERM "$pid" 2>/dev/null
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
}
cleanup() {
  if [ "$failed" -gt 0 ]; then
    echo "--- notifications"; cat "$work/notes" 2>/dev/null
  fi
  [ -n "$bus_pid" ] && stop_daemon
  instance_stop_daemon "$dir"
  [ -n "$recorder_pid" ] && kill "$recorder_pid" 2>/dev/null
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null
  index_server_stop
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

daemon_on_bus() {  # asks the bus, which starts nothing
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:com.ostrel.TarnSvc 2>/dev/null | grep -q 'boolean true'
}
downloading() {  # downloading NAME: the daemon lists a download of that name
  [ "$(instance_json "$dir" "any(x['name'] == '''$1''' for x in d)" downloads)" = True ]
}
notified() {  # notified TEXT: a recorded notification holds TEXT
  grep -qF -- "$1" "$work/notes"
}
notes() { grep -c '"call":"Notify"' "$work/notes"; }
user_files() {  # every file and folder of the user's XDG folders but the daemon's own data
  (cd "$dir" && find data config-home -path data/Ostrel -prune -o -print | sort |
    while read -r f; do [ -f "$f" ] && echo "$f $(sha1sum <"$f" | cut -c1-40)" || echo "$f/"; done)
}
# The desktop's handlers run where xdg-open hands them over: gio (xdg-utils 1.1.3 takes a scheme
# with a digit, such as ed2k:, for a file name in its generic mode).
open_link() { XDG_CURRENT_DESKTOP=GNOME xdg-open "$1" >/dev/null 2>&1; }
handle() {  # handle LINK: runs the handler as the desktop entry does; status in $rc
  "$TARN_BUILD/tarnshell" ProtocolHandler "$1" 2>"$work/err"
  rc=$?
}

hash_a=0123456789ABCDEF0123456789ABCDEF
index_server_start "$work" 0 || { echo "the index server did not start"; exit 1; }
peer_port=$((20000 + RANDOM % 20000))
instance_prepare "$dir" "$INDEX_SERVER_PORT" "$peer_port" "$((peer_port + 1))"
export TARN_CONFIG_DIR=$dir/config XDG_DATA_HOME=$dir/data XDG_CONFIG_HOME=$dir/config-home \
  XDG_RUNTIME_DIR=$dir/runtime
mkdir -p "$XDG_CONFIG_HOME"
"$TARN_BUILD/tarnsvc" -RegServer
# The session bus reads the activation file from $XDG_DATA_HOME, so it starts after it.
dbus-daemon --session --fork --nopidfile --print-address=3 --print-pid=4 3>"$dir/bus" \
  4>"$work/bus.pid" >/dev/null
export DBUS_SESSION_BUS_ADDRESS=$(tr -d '[:space:]' <"$dir/bus")
bus_pid=$(tr -d '[:space:]' <"$work/bus.pid")
"$TARN_BUILD/test-notification-server" >"$work/notes" 2>&1 &
recorder_pid=$!
check "the notification server runs" within 10 grep -q ready "$work/notes"

before=$(user_files)
check "--register" "$TARN_BUILD/tarnshell" --register
check "--register again" "$TARN_BUILD/tarnshell" --register
check "the desktop entry" grep -q "^Exec=$TARN_BUILD/tarnshell ProtocolHandler %u$" \
  "$XDG_DATA_HOME/applications/tarnshell.desktop"
check "the default handler" [ "$(xdg-mime query default x-scheme-handler/ed2k)" = tarnshell.desktop ]

# No daemon yet: the click starts it through the bus, and the download in it (the activated
# daemon ends again once the handler has left the bus; the download stays).
check "no daemon before the click" not daemon_on_bus
open_link "ed2k://|file|a.bin|100|$hash_a|/"
check "a click starts the daemon and the download" \
  within 30 grep -rqs "a.bin" "$XDG_DATA_HOME/Ostrel/TARN/Temp"

# The daemon started by hand and running: more clicks, the link forms the handler knows.
within 20 not daemon_on_bus
instance_start "$dir"
check "the daemon runs" instance_wait "$dir" 30
check "the clicked download is listed" downloading a.bin
open_link "tarn://|b%20b.bin|00000000000000000000000000000001|200|"
check "a tarn link starts its download" within 10 downloading "b b.bin"
handle "p2p://|caf%C3%A9.bin|00000000000000000000000000000002|300|"
check "a p2p link" [ "$rc" -eq 0 ]
check "a UTF-8 name is decoded" downloading "café.bin"
handle "ed2k://%7Cfile%7Cescaped.bin%7C400%7C00000000000000000000000000000003%7C/"
check "a link escaped whole by a browser" within 5 downloading escaped.bin
handle "ed2k://|server|127.0.0.7|4661|/"
check "a server link adds its server" [ "$rc" -eq 0 ]
check "the server is listed" [ "$(instance_json "$dir" "any(s['address'] == '127.0.0.7:4661' for s in d)" servers)" = True ]
check "no notification for any of that" [ "$(notes)" -eq 0 ]

# What does nothing, said once each.
open_link "ed2k://|file|a.bin|100|${hash_a:1}|/"
check "a malformed link is named in one notification" within 10 notified "hash: 31 hexadecimal digits, 32 expected"
handle "ed2k://|file|a.bin|100|$hash_a"
check "a link without its closing bar exits 2" [ "$rc" -eq 2 ]
check "and says why" notified "TARN cannot read this link"
handle "tarn://|zero.bin|$hash_a|0|"
check "size 0 is refused" notified "size: 0: an empty file cannot be downloaded"
handle "ed2k://|file|$(printf 'n%.0s' $(seq 260))|100|$hash_a|/"
check "a name of 260 characters is refused" notified "name: 260 characters, at most 259"
handle "ed2k://|file|a%1B%5B2J.bin|100|$hash_a|/"
check "a name with a terminal escape is refused" notified "name: control character U+001B"
handle "ed2k://|file|again.bin|100|$hash_a|/"
check "a second link of a listed file exits 1" [ "$rc" -eq 1 ]
check "and says so" notified "again.bin: already downloading or shared"
check "one notification each" [ "$(notes)" -eq 6 ]

check "--unregister" "$TARN_BUILD/tarnshell" --unregister
check "--unregister again" "$TARN_BUILD/tarnshell" --unregister
after=$(user_files)
check "the folders are as they were" [ "$before" = "$after" ]
[ "$before" = "$after" ] || diff <(echo "$before") <(echo "$after")

# Nothing answers for the daemon any more: one notification, status 3.
"$TARN_BUILD/tarnsvc" -UnregServer
dbus-send --session --dest=org.freedesktop.DBus --print-reply /org/freedesktop/DBus \
  org.freedesktop.DBus.ReloadConfig >/dev/null 2>&1
instance_stop_daemon "$dir"
check "the daemon has left" within 10 not daemon_on_bus
handle "ed2k://|file|late.bin|100|00000000000000000000000000000004|/"
check "an unreachable daemon exits 3" [ "$rc" -eq 3 ]
check "and is said in a notification" notified "TARN is not running"

# The restart offer: one notification; any answer but "restart" ends it without a restart.
"$TARN_BUILD/tarnshell" RestartHandler &
restart_pid=$!
check "RestartHandler offers a restart" within 10 notified "Restart the computer to finish setting up TARN."
dbus-send --session --print-reply --dest=org.freedesktop.Notifications \
  /org/freedesktop/Notifications com.ostrel.TarnTest.Recorder.InvokeAction \
  "uint32:$(notes)" string:dismissed >/dev/null
check "and ends once answered" within 10 not kill -0 "$restart_pid"
wait "$restart_pid"
check "with status 0" [ $? -eq 0 ]

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
