#!/usr/bin/env bash
# corvid-logcheck against run logs of the shapes the program writes:
# appended reports, errors, a report cut short, no report at all.
#   tests/package/logcheck_test.sh PATH/TO/corvid-logcheck
set -uo pipefail
check=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
passed=0 failed=0

report() {  # report DATE PROCESSED ERRORS [ERROR-LINE...]
  local date=$1 processed=$2 errors=$3
  shift 3
  printf '===============================\n%s Gathering completed\n' "$date"
  printf 'Descr\tComputerName\t TableName\tOperation\tErrorCode\n===============================\n'
  printf 'Success\tPDC01\tSystem     \tOPERATION COMPLETED\t0\n'
  local line
  for line in "$@"; do printf '%s\n' "$line"; done
  printf '\n===============================\nProcessed\t%s\nErrors\t%s\n\n' "$processed" "$errors"
}

expect() {  # expect NAME STATUS PATTERN -- ARGS...
  local name=$1 want=$2 pattern=$3
  shift 4
  local out status
  out=$("$check" "$@" 2>&1)
  status=$?
  if [ "$status" -eq "$want" ] && [[ "$out" == $pattern ]]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "FAIL $name: status $status, output: $out"
  fi
}

{ report "12/03/2026 10:00:00" 6 2 $'Error\tOFF05\tSystem     \tUNABLE TO OPEN LOG\t53' \
    $'Error\tOFF05\tSecurity   \tUNABLE TO OPEN LOG\t53'
  report "12/04/2026 10:19:15" 3 0; } >"$work/append.log"
expect "the newest of appended reports counts" 0 \
  'corvid-logcheck: OK processed=3 errors=0 failed= completed="12/04/2026 10:19:15" log=*' -- "$work/append.log"
expect "quiet when all is well" 0 '' -- --quiet "$work/append.log"

{ report "12/03/2026 10:00:00" 3 0
  report "12/04/2026 10:19:15" 6 2 $'Error\tOFF05\tSystem     \tUNABLE TO OPEN LOG\t53' \
    $'Error\tWS04\tApplication\tUNABLE TO WRITE LOG\tHYT00'; } | sed 's/$/\r/' >"$work/errors.log"
expect "errors in the newest report, CRLF lines" 1 \
  'corvid-logcheck: ERRORS processed=6 errors=2 failed=OFF05/System,WS04/Application completed=*' \
  -- --quiet "$work/errors.log"

report "12/04/2026 10:19:15" 3 0 | head -n 7 >"$work/cut.log"
expect "a report cut short is no report" 2 '*UNKNOWN no complete report*' -- "$work/cut.log"
head -c 4096 /dev/urandom >"$work/noise.log"
expect "noise" 2 '*UNKNOWN*' -- "$work/noise.log"
expect "no file" 2 '*UNKNOWN no run log*' -- "$work/missing.log"
touch -d '2 hours ago' "$work/append.log"
expect "a report older than --max-age" 2 '*UNKNOWN stale*' -- --max-age 3600 "$work/append.log"
expect "a bad option" 2 'usage:*' -- --max-age soon "$work/append.log"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
