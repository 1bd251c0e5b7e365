#!/usr/bin/env bash
# Runs scripts/install into a DESTDIR and checks the files it puts in place.
# Usage: install_test.sh <scripts/install> <build-folder>
set -euo pipefail
install_script=$1 build=$2
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT

DESTDIR=$dest PREFIX=/usr "$install_script" "$build"

fail() { echo "install_test: $*" >&2; exit 1; }
[ -x "$dest/usr/bin/tarnsvc" ] || fail "program missing"
[ -x "$dest/usr/bin/tarn" ] || fail "command line missing"
[ -x "$dest/usr/bin/tarnshell" ] || fail "desktop side missing"
desktop=$dest/usr/share/applications/tarnshell.desktop
grep -qx 'Exec=env TARN_BUS=system /usr/bin/tarnshell ProtocolHandler %u' "$desktop" ||
  fail "desktop entry lacks its command"
grep -qx 'MimeType=x-scheme-handler/ed2k;x-scheme-handler/p2p;x-scheme-handler/tarn;' "$desktop" ||
  fail "desktop entry lacks the link types"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop entry does not validate"
fi
for file in index.html app.js app.css; do
  [ -s "$dest/usr/share/tarn/ui/$file" ] || fail "web page file $file missing"
done
page_files=$(find "$dest/usr/share/tarn/ui" -type f | wc -l)
for page in man1/tarn.1 man8/tarnsvc.8; do
  [ -s "$dest/usr/share/man/$page" ] || fail "manual $page missing"
  if command -v man >/dev/null; then
    warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' man --warnings -l "$dest/usr/share/man/$page" 2>&1 >/dev/null) ||
      fail "manual $page does not format"
    [ -z "$warnings" ] || fail "manual $page: $warnings"
  fi
done
unit=$dest/etc/systemd/system/tarnsvc.service
for line in Type=notify BusName=com.ostrel.TarnSvc ExecStart=/usr/bin/tarnsvc Restart=on-failure \
            NoNewPrivileges=yes ProtectSystem=strict PrivateTmp=yes Environment=TARN_BUS=system \
            User=tarn Group=tarn "StateDirectory=Ostrel tarn" UMask=0077 CapabilityBoundingSet= \
            "Description=TARN Client Network Service"; do
  grep -qx "$line" "$unit" || fail "unit lacks $line"
done
# The service manager's own rating of the sandbox: at most 3.0 ("OK") of 10.
if systemd-analyze security --help 2>/dev/null | grep -q -- --offline; then
  rating=$(systemd-analyze security --offline=yes "$unit" 2>&1 |
           sed -n 's/.*Overall exposure level for tarnsvc.service: \([0-9.]*\).*/\1/p')
  [ -n "$rating" ] || fail "systemd-analyze gave no rating"
  awk -v r="$rating" 'BEGIN { exit !(r <= 3.0) }' || fail "exposure $rating above 3.0"
fi
activation=$dest/usr/share/dbus-1/system-services/com.ostrel.TarnSvc.service
grep -qx 'SystemdService=tarnsvc.service' "$activation" || fail "activation file lacks the unit"
grep -qx 'Name=com.ostrel.TarnSvc' "$activation" || fail "activation file lacks the name"
grep -qx 'User=tarn' "$activation" || fail "activation file does not name the service user"
policy=$dest/usr/share/dbus-1/system.d/com.ostrel.TarnSvc.conf
grep -q '<policy group="tarn">' "$policy" || fail "policy lacks the group"
grep -A1 '<policy user="tarn">' "$policy" | grep -q '<allow own="com.ostrel.TarnSvc"/>' ||
  fail "the service user may not own the name"
[ "$(grep -c '<allow own=' "$policy")" -eq 1 ] || fail "someone besides the service user owns the name"
grep -q '<deny send_destination="com.ostrel.TarnSvc"/>' "$policy" || fail "policy lets everyone in"
if command -v xmllint >/dev/null; then xmllint --noout "$policy" || fail "policy is no XML"; fi
# Nothing may land outside DESTDIR.
[ "$(find "$dest" -type f | wc -l)" -eq $((9 + page_files)) ] || fail "unexpected files: $(find "$dest" -type f)"
echo "install_test: ok"
