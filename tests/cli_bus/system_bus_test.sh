#!/usr/bin/env bash
# The system service as scripts/install sets it up: a private bus with the system bus's rules
# and the installed D-Bus policy, the daemon as an unprivileged service user, and `tarn` as
# root, as a member of the service's group and as a stranger. The machine need not have the
# user and group "tarn": the policy is read with "nobody" and "nogroup" in their place. Needs
# root to change users; skipped (77) without it.
# Usage: system_bus_test.sh SOURCE_ROOT BUILD_DIR
set -uo pipefail
root=$1 build=$2
# shellcheck source=../support/checks.sh
source "$root/tests/support/checks.sh"
if [ "$(id -u)" -ne 0 ] || ! command -v setpriv >/dev/null || ! getent group nogroup >/dev/null ||
   ! getent passwd daemon >/dev/null; then
  echo "system_bus_test: needs root, setpriv, the group nogroup and the user daemon; skipped"
  exit 77
fi
service_uid=$(id -u nobody) service_gid=$(getent group nogroup | cut -d: -f3)
stranger_uid=$(id -u daemon) stranger_gid=$(id -g daemon)

work=$(mktemp -d)
chmod 755 "$work"
bus_pid= daemon_pid=
cleanup() {
  [ -n "$daemon_pid" ] && kill -TERM "$daemon_pid" 2>/dev/null && wait "$daemon_pid" 2>/dev/null
  [ "$failed" -gt 0 ] && { echo "--- tarnsvc log"; tail -n 30 "$work/tarnsvc.log"; }
  [ -n "$bus_pid" ] && kill -TERM "$bus_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

DESTDIR=$work/install PREFIX=/usr "$root/scripts/install" "$build" >/dev/null
sed -e 's/user="tarn"/user="nobody"/' -e 's/group="tarn"/group="nogroup"/' \
    "$work/install/usr/share/dbus-1/system.d/com.ostrel.TarnSvc.conf" >"$work/policy.conf"
cat >"$work/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$work/bus.socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus"
           send_interface="org.freedesktop.DBus.Introspectable"/>
  </policy>
  <include>$work/policy.conf</include>
</busconfig>
CONF
dbus-daemon --config-file="$work/bus.conf" --fork --nopidfile --print-pid=3 3>"$work/bus.pid" \
  >/dev/null 2>"$work/bus.log"
bus_pid=$(tr -d '[:space:]' <"$work/bus.pid")
export TARN_BUS=system DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/bus.socket

# prepare_config DIR DATA PORT: a registry whose folders are below DATA and whose peer ports
# are PORT and PORT+1, so nothing of the test goes to /var/lib.
prepare_config() {
  local dir=$1 data=$2 port=$3
  mkdir -p "$dir" "$data"
  cat >"$dir/HKEY_LOCAL_MACHINE.reg" <<REG
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\\Software\\Ostrel\\TARN]
"Server IP"="127.0.0.1"
"Server Port"=dword:00000009
"Application Path"="$data"
"Config Path"="$data/Config"
"Shared Path"="$data/Shared"
"Temp Path"="$data/Temp"

[HKEY_LOCAL_MACHINE\\Software\\Ostrel\\TARN\\Connections]
"TCP Port"=$(printf 'dword:%08x' "$port")
"UDP Port"=$(printf 'dword:%08x' "$((port + 1))")
REG
}
data=$work/data/Ostrel/TARN
port=$((20000 + RANDOM % 20000))
prepare_config "$work/config" "$data" "$port"
chown -R "$service_uid:$service_gid" "$work/config" "$work/data"

as_member() { setpriv --reuid="$stranger_uid" --regid="$stranger_gid" --groups="$service_gid" "$@"; }
as_stranger() { setpriv --reuid="$stranger_uid" --regid="$stranger_gid" --clear-groups "$@"; }
# run AS ARGS...: tarn as that user; status in $rc, output in $out, errors in $err.
run() {
  local as=$1
  shift
  $as env TARN_BUS=system DBUS_SYSTEM_BUS_ADDRESS="$DBUS_SYSTEM_BUS_ADDRESS" \
    "$build/tarn" "$@" >"$work/out" 2>"$work/err"
  rc=$?
  out=$(cat "$work/out") err=$(cat "$work/err")
}
as_root() { "$@"; }

setpriv --reuid="$service_uid" --regid="$service_gid" --clear-groups \
  env TARN_CONFIG_DIR="$work/config" HOME="$work" "$build/tarnsvc" >"$work/tarnsvc.log" 2>&1 &
daemon_pid=$!
for _ in $(seq 150); do
  run as_root config ConfigPath
  [ "$rc" -eq 0 ] && break
  sleep 0.2
done
check "the daemon answers root on the system bus" [ "$rc" -eq 0 ]
check "the daemon runs as the service user" [ "$(stat -c %u /proc/$daemon_pid)" -eq "$service_uid" ]

run as_member config UserName
check "a member of the group may call it" [ "$rc" -eq 0 ]
run as_stranger status
check "a stranger is refused" [ "$rc" -eq 3 ]
check "a stranger is told it is the permission, the bus and the group" \
  grep -q 'permission denied: the system bus refuses .*group "tarn"' "$work/err"

# Only the service user may own the name: a second daemon as root is refused and says so.
prepare_config "$work/root-config" "$work/root-data" "$((port + 2))"
env TARN_CONFIG_DIR="$work/root-config" HOME="$work" timeout 60 "$build/tarnsvc" >"$work/root.log" 2>&1
second=$?
check "root cannot take the service's name" [ "$second" -ne 0 -a "$second" -ne 124 ]
check "and says why" grep -q "cannot take the name com.ostrel.TarnSvc" "$work/root.log"

# The daemon writes downloads only where its configuration lets it.
run as_member download 'ed2k://|file|x.bin|1000|00112233445566778899AABBCCDDEE02|/' --to /tmp/tarn-anywhere
check "a download into a folder not allowed is refused" [ "$rc" -eq 1 ]
check "nothing was made there" [ ! -e /tmp/tarn-anywhere ]
run as_member download 'ed2k://|file|x.bin|1000|00112233445566778899AABBCCDDEE02|/' --to "$data/Shared/in"
check "a download below the shared folder is taken" [ "$rc" -eq 0 ]

# The private key is the service user's alone.
check "the registry file is 0600" [ "$(stat -c %a "$work/config/HKEY_LOCAL_MACHINE.reg")" = 600 ]
check "the registry folder is 0700" [ "$(stat -c %a "$work/config")" = 700 ]
check "the configuration folder is 0700" [ "$(stat -c %a "$data/Config")" = 700 ]

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
