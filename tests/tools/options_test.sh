#!/usr/bin/env bash
# --help and --version of the tools, and the data-source tool without a
# display (Qt alone would abort it).
#   tests/tools/options_test.sh BINDIR VERSION
set -uo pipefail
bin=$1 version=$2
passed=0 failed=0
ok() { passed=$((passed + 1)); }
no() { failed=$((failed + 1)); echo "FAIL: $*"; }

for tool in corvid-install ntsim Dsnsmith.exe corvid-logcheck; do
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/$tool" --help 2>&1) && [[ "$out" == usage:* ]] &&
    ok || no "$tool --help: $out"
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/$tool" --version 2>&1) &&
    [ "$out" = "$tool (Corvid) $version" ] && ok || no "$tool --version: $out"
done

out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/Dsnsmith.exe" 2>&1)
status=$?
[ "$status" -eq 0 ] && [[ "$out" == *"no display"* ]] && ok || no "Dsnsmith.exe without a display: $status $out"

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
