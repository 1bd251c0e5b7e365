#!/usr/bin/env bash
# The layer check passes on a tree whose includes point down, and fails on one where a single
# include runs back up (engine/base including engine/core).
set -euo pipefail
check=$1
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/framework" "$tree/engine/base" "$tree/engine/core"
echo '#include "framework/Log.h"' > "$tree/engine/base/Hash.h"
echo '#include "engine/base/Hash.h"' > "$tree/engine/core/Module.h"
"$check" "$tree" >/dev/null || { echo "FAIL: a tree pointing down was refused"; exit 1; }
# The command line may use the service's client side, but not the rest of the service.
mkdir -p "$tree/cli" "$tree/service/client" "$tree/service/dbus"
echo '#include "service/client/ApiClient.h"' > "$tree/cli/Commands.h"
"$check" "$tree" >/dev/null || { echo "FAIL: the command line on the service's client was refused"; exit 1; }
echo '#include "service/dbus/ApiBus.h"' >> "$tree/cli/Commands.h"
"$check" "$tree" >/dev/null 2>&1 && { echo "FAIL: the command line on the service's bus glue was allowed"; exit 1; }
echo '#include "service/client/ApiClient.h"' > "$tree/cli/Commands.h"
# So may the desktop side, but it may not use the command line.
mkdir -p "$tree/shell"
echo '#include "service/client/ApiClient.h"' > "$tree/shell/Mirror.h"
"$check" "$tree" >/dev/null || { echo "FAIL: the desktop side on the service's client was refused"; exit 1; }
echo '#include "cli/Commands.h"' >> "$tree/shell/Mirror.h"
"$check" "$tree" >/dev/null 2>&1 && { echo "FAIL: the desktop side on the command line was allowed"; exit 1; }
echo '#include "service/client/ApiClient.h"' > "$tree/shell/Mirror.h"
# The web page sits on the desktop side's mirrors; the mirrors may not reach into the page.
mkdir -p "$tree/shell/ui"
echo '#include "shell/Mirror.h"' > "$tree/shell/ui/Page.h"
"$check" "$tree" >/dev/null || { echo "FAIL: the web page on the desktop side was refused"; exit 1; }
echo '#include "shell/ui/Page.h"' >> "$tree/shell/Mirror.h"
"$check" "$tree" >/dev/null 2>&1 && { echo "FAIL: the desktop side reaching into its web page was allowed"; exit 1; }
echo '#include "service/client/ApiClient.h"' > "$tree/shell/Mirror.h"
echo '#include "engine/core/Module.h"' >> "$tree/engine/base/Hash.h"
if out=$("$check" "$tree" 2>&1); then
  echo "FAIL: an include running back up was not caught"; exit 1
fi
grep -q 'engine/base/Hash.h:2: includes "engine/core/Module.h"' <<<"$out" ||
  { echo "FAIL: the fault was not named: $out"; exit 1; }
echo "1 passed, 0 failed"
