#!/bin/sh
# Runs the D-Bus code generator without its chatter: what it generates is not worth a line, and
# it names every annotation of ours it does not use (com.ostrel.TarnSvc.Slot, DispId, IID,
# DIID: kept in the XML as the record of the vtable order and the identities) as an ignored
# option. Any other line it writes is shown; its exit status is kept.
# Usage: quiet-xml2cpp.sh GENERATOR ARGUMENTS...
messages=$(mktemp) || exit 1
"$@" > /dev/null 2> "$messages"
status=$?
grep -v "Option 'com\.ostrel\.TarnSvc\.[A-Za-z]*' not allowed or supported in this context" \
  "$messages" >&2
rm -f "$messages"
exit $status
