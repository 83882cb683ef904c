#!/usr/bin/env bash
# The command's exit codes and messages as a script sees them: usage errors
# are 2 with an "ebbwise:" line, a finished report is 0, and standard error
# stays empty when it is not a terminal.
set -u
ebbwise=$1
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
export EBBWISE_DATA_DIR=$data
failures=0

expect() {
  local code=$1 pattern=$2
  shift 2
  local err
  err=$("$ebbwise" "$@" 2>&1 >/dev/null)
  local got=$?
  if [[ $got != "$code" ]]; then
    echo "ebbwise $*: exit $got, expected $code ($err)"
    failures=$((failures + 1))
  elif [[ -n $pattern && $err != $pattern ]]; then
    echo "ebbwise $*: said \"$err\", expected $pattern"
    failures=$((failures + 1))
  elif [[ -z $pattern && -n $err ]]; then
    echo "ebbwise $*: said \"$err\" on standard error, expected nothing"
    failures=$((failures + 1))
  fi
}

expect 2 'ebbwise: nothing to do*'
expect 2 'ebbwise: unknown option "--bogus"*' --bogus --report 1h
expect 2 'ebbwise: --report: "soon" is not a duration*' --simulate --report soon
expect 2 'ebbwise: no scenario "no-such-day"*' --simulate no-such-day --report 10s
expect 2 'ebbwise: *' --simulate "$data" --report 10s
expect 0 '' --help
expect 0 '' --simulate weak-charger --report 30s
expect 0 '' --simulate --report 10s --json

exit $((failures > 0))
