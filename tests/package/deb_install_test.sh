#!/usr/bin/env bash
# The Debian package, installed into a throwaway root (never this machine's
# /usr): its Depends resolve, its programs find their libraries, and from the
# installed tree alone corvid-install and a silent run of the sample network
# store the sample's rows.
#   tests/package/deb_install_test.sh build-release/corvid_*.deb
set -euo pipefail
deb=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The Depends are packages this system can install (all of them, since
# dpkg --root below installs none).
apt-get install -s "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "Depends do not resolve"; }

root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/log"
: >"$root/var/lib/dpkg/status"
dpkg --root="$root" --force-depends --force-script-chrootless -i "$deb" >"$work/dpkg.log" 2>&1 ||
  { cat "$work/dpkg.log"; fail "dpkg -i"; }
dpkg --root="$root" -s corvid | grep -q "^Status: install ok installed" || fail "not installed"

for program in "$root"/usr/bin/* "$root"/usr/lib/corvid/*.so "$root"/usr/lib/corvid/Dsnsmith.exe; do
  [ -x "$program" ] && file -L "$program" | grep -q ELF || continue
  ! ldd "$program" | grep "not found" || fail "$program: libraries missing"
  ! file -L "$program" | grep -q "not stripped" || fail "$program is not stripped"
done

bin="$root/usr/bin"
share="$root/usr/share/corvid"
export CORVID_HOME="$work/machine" ODBCSYSINI="$work/odbc"
unset CORVID_NETWORK ODBCINI ODBCINSTINI
mkdir -p "$CORVID_HOME" "$ODBCSYSINI"
: >"$ODBCSYSINI/odbcinst.ini"
: >"$ODBCSYSINI/odbc.ini"
"$bin/corvid-install" --install-path 'C:\Program Files\Corvid' --with-data-source >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "corvid-install"; }
folder="$CORVID_HOME/drives/c/Program Files/Corvid"
for file in corvid Dsnsmith.exe libcorvidodbcsetup.so Corvid.hlp sql/sqlite.sql Corvid.db; do
  [ -f "$folder/$file" ] || fail "corvid-install left out $file"
done
[ "$(stat -c %a "$CORVID_HOME/registry.reg")" = 600 ] || fail "registry.reg is not 0600"

CORVID_SAMPLE="$share/sample" "$bin/ntsim" run "$share/sample/network.ntsim"
CORVID_SAMPLE_DLLS="$share/sample/messages" "$bin/ntsim" run "$share/sample/messages.ntsim"
"$folder/corvid" -S "$share/sample/domain.imp" || fail "the silent run's exit code is $?"

grep -q "^Processed	" "$folder/Corvid.log" || fail "no run report in Corvid.log"
for table in System Security Application; do
  rows=$(sqlite3 "$folder/Corvid.db" "SELECT count(*) FROM $table")
  [ "$rows" -gt 0 ] || fail "no rows in $table"
  echo "  $table: $rows rows"
done
# The sample's switched-off computer fails its three logs.
status=0
"$bin/corvid-logcheck" "$folder/Corvid.log" >"$work/check.log" || status=$?
grep -q "^corvid-logcheck: ERRORS processed=15 errors=3 failed=OFF05/System,OFF05/Security,OFF05/Application " \
  "$work/check.log" && [ "$status" = 1 ] || { cat "$work/check.log"; fail "corvid-logcheck"; }

# The units as installed, beside this system's own targets (the root has no
# systemd); man pages are checked below, where they are.
if command -v systemd-analyze >/dev/null; then
  cp -n /usr/lib/systemd/system/*.target /usr/lib/systemd/system/*.slice "$root/usr/lib/systemd/system/" 2>/dev/null || true
  systemd-analyze verify --man=no --root="$root" /usr/lib/systemd/system/corvid.timer /usr/lib/systemd/system/corvid.service \
    >"$work/units.log" 2>&1 && [ ! -s "$work/units.log" ] || { cat "$work/units.log"; fail "systemd-analyze verify"; }
fi

# Every man page renders without a warning, and says what matters.
for page in man1/corvid.1 man1/corvid-logcheck.1 man1/ntsim.1 man8/corvid-install.8; do
  text=$(MANWIDTH=80 man --warnings -l "$root/usr/share/man/$page.gz" 2>"$work/man.err") || fail "man $page"
  [ ! -s "$work/man.err" ] || { cat "$work/man.err"; fail "man $page warns"; }
  [ -n "$text" ] || fail "man $page is empty"
done
MANWIDTH=80 man -l "$root/usr/share/man/man1/corvid.1.gz" 2>/dev/null | grep -q "UNABLE TO WRITE LOG" ||
  fail "corvid(1) does not explain the run log"

echo "deb install test: 1 passed, 0 failed"
