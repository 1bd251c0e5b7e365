#!/usr/bin/env bash
# `tarn` as a user runs it, against a real tarnsvc on the session bus of dbus-run-session and a
# loopback test index server: every sub-command, --json parsed back, exit statuses, and the
# one-line messages for a stopped daemon, a malformed link and an unknown key.
# Usage: dbus-run-session -- tarn_cli_test.sh SOURCE_ROOT BUILD_DIR
set -uo pipefail
root=$1
export TARN_BUILD=$2
# shellcheck source=../../scripts/tarn-instance.sh
source "$root/scripts/tarn-instance.sh"
# shellcheck source=../support/checks.sh
source "$root/tests/support/checks.sh"

work=$(mktemp -d)
server_pid=
cleanup() {
  instance_stop_daemon "$work/a"
  # A failure is explained by what the daemon and the server saw.
  if [ "$failed" -gt 0 ]; then
    echo "--- tarnsvc log"; tail -n 40 "$work/a/tarnsvc.log"
    echo "--- index server log"; tail -n 40 "$work/server.log"
  fi
  [ -n "$server_pid" ] && kill -TERM "$server_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# run ARGS...: tarn's status in $rc, its output in $out, its errors in $err.
run() {
  instance_tarn "$work/a" "$@" >"$work/out" 2>"$work/err"
  rc=$?
  out=$(cat "$work/out")
  err=$(cat "$work/err")
}
one_line_error() {  # one_line_error TEXT: stderr is one line holding TEXT
  [ "$(wc -l <"$work/err")" -eq 1 ] && grep -q -- "$1" "$work/err" || { echo "stderr: $err"; false; }
}
json() { python3 -c "import json,sys; d=json.load(open('$work/out')); $1"; }

mkdir -p "$work/a"
echo "$DBUS_SESSION_BUS_ADDRESS" > "$work/a/bus"

# Help needs no daemon.
run --help
check "tarn --help" [ "$rc" -eq 0 ]
for command in status servers search download downloads pause stop resume cancel shared uploads config watch; do
  run "$command" --help
  check "tarn $command --help" grep -q "^Usage: tarn $command" "$work/out"
done
run frobnicate
check "an unknown command exits 2" [ "$rc" -eq 2 ]
check "an unknown command says so" one_line_error 'unknown command "frobnicate"'
run
check "bare tarn exits 2" [ "$rc" -eq 2 ]
check "bare tarn says so in one line on stderr" one_line_error "give a command"
check "bare tarn prints nothing on stdout" [ -z "$out" ]
TARN_BUS=system DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/no-such-bus run status
check "no system bus exits 3" [ "$rc" -eq 3 ]
check "no system bus is named as such" one_line_error "no system bus"

# The daemon not running yet.
run status
check "no daemon exits 3" [ "$rc" -eq 3 ]
check "no daemon gives one clear line" one_line_error "daemon is not running"
run download 'ed2k://|file|a.txt|1000|0123456789ABCDEF0123456789ABCDE|/'
check "a malformed link is refused without a daemon too" [ "$rc" -eq 2 ]

# The server's name carries escape codes (colour, window title, clear screen), as a hostile
# server's would.
evil=$(printf 'evil\033[31m\033]0;pwned\007\033[2J')
"$TARN_BUILD/test-index-server" --port 0 --name "$evil" >"$work/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 50); do grep -q "test index server on" "$work/server.log" && break; sleep 0.1; done
server_port=$(sed -n 's/^test index server on 127.0.0.1:\([0-9]*\).*/\1/p' "$work/server.log")
check "the index server runs" [ -n "$server_port" ]
peer_port=$((20000 + RANDOM % 20000))
instance_prepare "$work/a" "$server_port" "$peer_port" "$((peer_port + 1))"
shared_dir=$work/a/data/Ostrel/TARN/Shared
mkdir -p "$shared_dir"
head -c 300000 /dev/urandom > "$shared_dir/tarn cli sample.bin"
# A shared file whose name carries the escape codes too; offered at login with the sample.
head -c 2000 /dev/urandom > "$shared_dir/${evil}.bin"
instance_start "$work/a"
check "the daemon answers" instance_wait "$work/a" 30

run status --json
check "status --json" json "assert d['tcp_port'] == $peer_port and d['servers'] >= 1"
run status
check "status for people" grep -q "^ports       TCP $peer_port" "$work/out"

run servers --json
check "servers --json lists the index server" json "assert any(s['address'] == '127.0.0.1:$server_port' for s in d)"
run servers add 127.0.0.1:99999
check "servers add with a bad port exits 2" [ "$rc" -eq 2 ]
check "servers add names the port" one_line_error "port"

# The session with the index server; the search below needs it too.
for _ in $(seq 150); do
  run status --json
  json "assert d['connected']" 2>/dev/null && break
  sleep 0.2
done
check "status --json shows the index server and our id" json "assert d['connected'] and d['server_address'] == '127.0.0.1:$server_port' and d['client_id'] > 0 and d['low_id'] == (d['client_id'] < 0x1000000)"
run status
check "status tells the server" grep -q "^server      127.0.0.1:$server_port.*id [0-9]* ([a-z]* id)" "$work/out"
check "status tells the totals" grep -q "^transferred .* up (.*), .* down (.*)" "$work/out"
run status --json
check "status --json has the totals" json "assert all(d[k] >= 0 for k in ('uploaded', 'downloaded', 'upload_rate', 'download_rate'))"
run servers add 127.0.0.2:4661 --json
check "servers add" json "assert d == {'address': '127.0.0.2:4661', 'result': 'added'}"
run servers --json
check "servers --json lists the added server" json "assert any(s['address'] == '127.0.0.2:4661' for s in d)"
run servers add 'ed2k://|server|127.0.0.2|4661|/'
check "a server link of a listed server says so" grep -q "already listed" "$work/out"
run servers remove 127.0.0.2:4661 --json
check "servers remove" json "assert d['result'] == 'removed'"
run servers --json
check "servers remove unlists it" json "assert not any(s['address'].startswith('127.0.0.2:') for s in d)"
run servers remove 127.0.0.2:4661
check "removing an unlisted server exits 1" [ "$rc" -eq 1 ]
run servers remove "127.0.0.1:$server_port"
check "the connected server cannot be removed" [ "$rc" -eq 1 ]
run servers add 224.0.0.1:4661
check "a multicast server address exits 2" [ "$rc" -eq 2 ]
run servers add 127.0.0:4661
check "a bad server address exits 2" [ "$rc" -eq 2 ]
check "a bad server address names the address" one_line_error "address"
run servers connect 127.0.0.9:4661
check "connecting to an unlisted server exits 1" [ "$rc" -eq 1 ]
run servers connect "127.0.0.1:$server_port" --json
check "servers connect" json "assert d['result'] == 'connected'"

run config --json
check "config --json" json "assert d['TCPPort'] == '$peer_port' and d['SharedPath'].endswith('Shared')"
run config UserName "cli tester \"ø\""
check "config sets a name" [ "$rc" -eq 0 ]
run config UserName --json
check "config reads it back" json "assert d['UserName'] == 'cli tester \"ø\"'"
run config SharedPath /tmp
check "a read-only setting exits 2" [ "$rc" -eq 2 ]
run config NoSuchSetting
check "an unknown setting says so" one_line_error 'no setting "NoSuchSetting"'
run config TCPPort 70000
check "a bad port exits 2" [ "$rc" -eq 2 ]
run config TCPPort -1
check "a negative port exits 2" [ "$rc" -eq 2 ]
check "a negative port is out of range" one_line_error "TCPPort -1 is out of range"
run config UserName ""
check "an empty user name exits 2" [ "$rc" -eq 2 ]
check "an empty user name says so" one_line_error "UserName cannot be empty"
run config TCPPort "$((peer_port + 2))"
check "a new port is taken" [ "$rc" -eq 0 ]
check "a new port is said to need a restart" grep -q "from its next start" "$work/out"
run config TCPPort "$peer_port"

# Failures are told as failures: syntax errors with the parser's reason, unknown types.
for case in "(ux|Invalid '(' expression" "ux AND|Invalid AND expression" ")|syntax error"; do
  expression=${case%%|*} reason=${case#*|}
  run search "$expression" --wait 1
  check "search '$expression' exits 2" [ "$rc" -eq 2 ]
  check "search '$expression' gives the parser's reason" one_line_error "search: $reason"
done
run search ux --type Music
check "an unknown type exits 2" [ "$rc" -eq 2 ]
check "an unknown type says so" one_line_error "unknown --type Music"
run download 'ed2k://|file|x.bin|1000|00112233445566778899AABBCCDDEE01|/' --to /etc/tarn-test
check "a download into a folder not allowed exits 1" [ "$rc" -eq 1 ]
check "a folder not allowed is named" one_line_error "does not write to /etc/tarn-test"
run downloads --json
check "a refused download adds nothing" json "assert d == []"
run servers add 127.0.0.1:4700
check "a second port of a listed address exits 1" [ "$rc" -eq 1 ]
check "a second port of a listed address says what is listed" one_line_error "holds 127.0.0.1 as 127.0.0.1:$server_port"
run servers add "127.0.0.3:$server_port"
run servers connect "127.0.0.3:$server_port" --wait 8
check "connecting to a dead server exits 1" [ "$rc" -eq 1 ]
check "connecting to a dead server says so" one_line_error "127.0.0.3:$server_port did not"
run servers remove "127.0.0.3:$server_port"
for _ in $(seq 100); do
  run status --json
  json "assert d['connected']" 2>/dev/null && break
  sleep 0.2
done

# A second daemon on the bus cannot answer as the first: it says so and exits non-zero.
mkdir -p "$work/b"
cp "$work/a/bus" "$work/b/bus"
instance_prepare "$work/b" "$server_port" "$((peer_port + 4))" "$((peer_port + 5))"
env $(instance_env "$work/b") timeout 60 "$TARN_BUILD/tarnsvc" >"$work/b/tarnsvc.log" 2>&1
second=$?
check "a second daemon on the bus exits non-zero" [ "$second" -ne 0 -a "$second" -ne 124 ]
check "a second daemon says why" grep -q "cannot take the name com.ostrel.TarnSvc" "$work/b/tarnsvc.log"
check "a second daemon does not claim to run" bash -c "! grep -q 'Service started' '$work/b/tarnsvc.log'"

# The shared file gets hashed and offered; the search finds it through the index server.
for _ in $(seq 100); do
  run shared --json
  json "assert len(d) == 2" 2>/dev/null && break
  sleep 0.2
done
check "shared --json lists the sample" json "f = [f for f in d if f['name'] == 'tarn cli sample.bin'][0]; assert f['size'] == 300000 and len(f['hash']) == 32"
run shared
check "shared for people" grep -q "tarn cli sample.bin" "$work/out"
run uploads --json
check "uploads --json: nobody has asked us yet" json "assert d == []"
run uploads
check "uploads for people" grep -q "nobody queued" "$work/out"
run uploads extra
check "uploads takes no arguments" [ "$rc" -eq 2 ]
for _ in $(seq 20); do
  run search "cli sample" --wait 3 --json
  json "assert len(d) >= 1" 2>/dev/null && break
  sleep 0.5
done
check "search --json finds the sample" json "assert d[0]['name'] == 'tarn cli sample.bin' and d[0]['size'] == 300000"
run search "cli sample" --wait 3 --min-size 1M
check "a size filter leaves it out" grep -q "no results" "$work/out"
# Offers carry the type and extension of each name: a search by either finds what we share.
run search "cli sample" --wait 3 --type iso --json
check "a search by type finds a shared file" json "assert d and d[0]['name'] == 'tarn cli sample.bin'"
run search "cli sample" --wait 3 --ext bin --json
check "a search by extension finds a shared file" json "assert d and d[0]['name'] == 'tarn cli sample.bin'"
run search "cli sample" --wait 3 --type Audio
check "a search by another type leaves it out" grep -q "no results" "$work/out"
run search "cli sample" --wait 3 --min-size lots
check "a bad size exits 2" [ "$rc" -eq 2 ]
# Bounds above 32 bits go whole: cut to their low 32 bits they would be 1 byte.
run search "cli sample" --wait 3 --min-size 4294967297
check "a lower bound above 4 GiB leaves it out" grep -q "no results" "$work/out"
run search "cli sample" --wait 3 --max-size 4294967297 --json
check "an upper bound above 4 GiB keeps it" json "assert d and d[0]['name'] == 'tarn cli sample.bin'"
run search "cli sample" --wait 3 --max-size 257G
check "a size above 256 GiB exits 2" [ "$rc" -eq 2 ]
check "a size above 256 GiB says the bound" one_line_error "up to 256 GiB"
run search "cli sample" --wait 3
check "search for people prints the result line" grep -q "tarn cli sample.bin .* 1 source$" "$work/out"

# A new search gives new keys: the last one counts.
run search "cli sample" --wait 3 --json
result_key=$(python3 -c "import json; print(json.load(open('$work/out'))[0]['key'])")

# Downloads by link, with a UTF-8 name in percent escapes.
link='ed2k://|file|caf%C3%A9%20%22live%22.ogg|123456|00112233445566778899AABBCCDDEEFF|/'
run download "$link"
check "download by link" [ "$rc" -eq 0 ]
run download "$link"
check "the same link again" grep -q "already downloading or shared" "$work/out"
run downloads --json
check "downloads --json has the decoded name" json "assert d[0]['name'] == 'café \"live\".ogg' and d[0]['size'] == 123456"
key=$(python3 -c "import json; print(json.load(open('$work/out'))[0]['key'])")
run downloads
check "downloads for people" grep -q "café \"live\".ogg .*120.6 KiB" "$work/out"
run downloads --follow --for 1.5
check "downloads --follow on a pipe prints plain lines" grep -q "^$key .*café" "$work/out"
check "downloads --follow on a pipe draws nothing" bash -c "! grep -q $'\\033' '$work/out'"
run pause "$key"
check "pause" [ "$rc" -eq 0 ]
run downloads --json
check "paused" json "assert d[0]['state'] == 'paused'"
run resume "$key"
run downloads --json
check "resumed" json "assert d[0]['state'] in ('waiting', 'downloading')"
run stop "$key"
run downloads --json
check "stopped" json "assert d[0]['state'] == 'stopped'"
run pause 9999
check "an unknown key exits 1" [ "$rc" -eq 1 ]
check "an unknown key says so" one_line_error "no download with key 9999"
run pause abc
check "a key that is no number exits 2" [ "$rc" -eq 2 ]
run download 'ed2k://|file|a.txt|1000|0123456789ABCDEF0123456789ABCDE|/'
check "a malformed link exits 2" [ "$rc" -eq 2 ]
check "a malformed link names the field" one_line_error "bad link: hash"
run download 'ed2k://|file|a.txt|0|0123456789ABCDEF0123456789ABCDEF|/'
check "a link of size 0 is refused" [ "$rc" -ne 0 ]
run download 987654
check "an unknown result key exits 1" [ "$rc" -eq 1 ]
check "an unknown result key says so" one_line_error "no search result with key 987654"
run download "$result_key" --name "copy of sample.bin"
check "download by result key (the file we share ourselves)" grep -q "already downloading or shared" "$work/out"

# Text from the network reaches the terminal escaped in every sub-command: the server's name,
# and a shared file's name that comes back as a search result.
no_escapes() {  # nothing a terminal acts on in the output or the errors
  if LC_ALL=C grep -q $'[\x01-\x08\x0b-\x1f\x7f]' "$work/out" "$work/err"; then
    echo "escape codes in: $(cat -v "$work/out" "$work/err")"; false
  fi
}
run download "ed2k://|file|${evil}%1B%5B2J.bin|1000|00112233445566778899AABBCCDDEE00|/"
for command in status servers shared downloads uploads config "watch --for 0.5"; do
  run $command
  check "$command prints no escape codes" no_escapes
done
run status
check "status shows the server's name, escaped" grep -q 'evil?\[31m?\]0;pwned??\[2J' "$work/out"
run servers
check "servers shows the name, escaped" grep -q 'evil?\[31m' "$work/out"
for _ in $(seq 20); do
  run search evil --wait 3
  grep -q 'evil' "$work/out" && break
  sleep 0.5
done
check "a search finds the file with escape codes in its name" grep -q 'evil.\[31m' "$work/out"
check "search prints no escape codes" no_escapes
run downloads --follow --for 1
check "downloads --follow prints no escape codes" no_escapes
run search 'evil)' --wait 1
check "an error message prints no escape codes" no_escapes

# Events: cancelling a download while watching, and while following the list in terminals
# of 80 and 100 columns, with a name longer than either.
run download "ed2k://|file|$(printf 'a%.0s' $(seq 120)).bin|5000000|00112233445566778899AABBCCDDEE03|/"
instance_tarn "$work/a" watch --for 3 --json >"$work/watch" 2>&1 &
watcher=$!
followers=()
for columns in 80 100; do
  env $(instance_env "$work/a") "$root/tests/cli_bus/in_terminal.py" "$columns" \
    "$TARN_BUILD/tarn" downloads --follow --for 3 >"$work/follow$columns" 2>&1 &
  followers+=($!)
done
sleep 1
run cancel "$key"
check "cancel" [ "$rc" -eq 0 ]
wait "$watcher" "${followers[@]}"
for columns in 80 100; do
  check "downloads --follow fits $columns columns" python3 -c "
lines = open('$work/follow$columns', encoding='utf-8').read().splitlines()
assert any('aaaa' in line for line in lines), lines
assert all(len(line) < $columns for line in lines), [l for l in lines if len(l) >= $columns]"
  check "downloads --follow at $columns columns tells the removal" \
    grep -q "^$key café \"live\".ogg: removed" "$work/follow$columns"
done
check "watch --json saw the removal" python3 -c "
import json
events = [json.loads(line) for line in open('$work/watch') if line.strip()]
assert {'subject': 'download', 'event': 'removed', 'key': $key} in events, events"
run downloads --json
check "the cancelled download is gone" json "assert all(x['key'] != $key for x in d)"

# Without the index server the daemon loses its session: a search says so.
kill -TERM "$server_pid" 2>/dev/null
wait "$server_pid" 2>/dev/null
server_pid=
for _ in $(seq 100); do
  run status --json
  json "assert not d['connected']" 2>/dev/null && break
  sleep 0.2
done
run search anything --wait 1
check "a search while not connected exits 1" [ "$rc" -eq 1 ]
check "a search while not connected says so" one_line_error "not connected"

# A daemon restarted under a running watch is followed; one that stays away ends it.
instance_tarn "$work/a" watch --for 60 >"$work/watch" 2>"$work/watch.err" &
watcher=$!
sleep 0.5
instance_stop_daemon "$work/a"
# An earlier run left a 5 GiB download (its part file sparse) that lacks its last 1000 bytes.
large_hash=00112233445566778899AABBCCDDEE05
temp_dir=$work/a/data/Ostrel/TARN/Temp
mkdir -p "$temp_dir"
printf '<?xml version="1.0" encoding="utf-8" ?>\n<DownloadFile>\n\t<HHASH>%s</HHASH>\n\t<FileName>film.mkv</FileName>\n\t<FileSize>5368709120</FileSize>\n\t<EmptyBlockList>\n\t\t<Block>\n\t\t\t<StartPos>5368708120</StartPos>\n\t\t\t<EndPos>5368709120</EndPos>\n\t\t</Block>\n\t</EmptyBlockList>\n</DownloadFile>' \
  "$large_hash" >"$temp_dir/00099.tarn.dat"
truncate -s 5368709120 "$temp_dir/00099.tarn.tmp"
instance_start "$work/a" "$work/a/tarnsvc-again.log"
check "the daemon starts again" instance_wait "$work/a" 30
for _ in $(seq 50); do grep -q "daemon restarted" "$work/watch" && break; sleep 0.2; done
run download 'ed2k://|file|after.bin|1000|00112233445566778899AABBCCDDEE04|/'
for _ in $(seq 50); do grep -q "download added" "$work/watch" && break; sleep 0.2; done
check "watch follows the restarted daemon" grep -q "^daemon restarted" "$work/watch"
check "watch hears the restarted daemon's events" grep -q "^download added" "$work/watch"

# Files above 4 GiB: true sizes in the listings, and links up to 256 GiB reach the daemon.
run downloads --json
check "downloads --json shows a 5 GiB download whole" json "f = [x for x in d if x['name'] == 'film.mkv'][0]; assert f['size'] == 5368709120 and f['completed'] == 5368708120, f"
run downloads
check "downloads for people shows 5 GiB" grep -q "film.mkv .*5.0 GiB" "$work/out"
run download "ed2k://|file|film.mkv|5368709120|$large_hash|/"
check "a 5 GiB link reaches the daemon" grep -q "already downloading or shared" "$work/out"
run download "ed2k://|file|huge.iso|274877906945|00112233445566778899AABBCCDDEE06|/"
check "a link above 256 GiB exits 2" [ "$rc" -eq 2 ]
check "a link above 256 GiB names the size" one_line_error "bad link: size: 274877906945 is above 274877906944"

# The daemon stopped under a running bus.
instance_stop_daemon "$work/a"
run downloads
check "a stopped daemon exits 3" [ "$rc" -eq 3 ]
check "a stopped daemon gives one clear line" one_line_error "daemon is not running"
wait "$watcher"
check "watch ends with 3 when the daemon stays away" [ "$?" -eq 3 ]
check "watch says the daemon stopped" grep -q "watch: the daemon stopped" "$work/watch.err"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
