# Sourced by the tests that are scripts: named checks counted into $passed and $failed, and
# polling with a deadline.
#   check NAME CONDITION...   runs the condition; a failure prints "FAIL: NAME"
#   within SECONDS CONDITION...   polls the condition until it holds or the time is up
#   not CONDITION...          the condition's opposite, for check and within
passed=0 failed=0

check() {
  local name=$1
  shift
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $name"; fi
}

within() {
  local end=$((SECONDS + $1))
  shift
  until "$@"; do ((SECONDS < end)) || return 1; sleep 0.1; done
}

not() { ! "$@"; }
