#!/usr/bin/env bash
# docs/database.md, "Using PostgreSQL instead", run as written: its shell
# blocks in order, against a throwaway server instead of the system's, with
# the package installed into a throwaway root; then a silent gather of the
# sample into the data source it made.
#   tests/package/postgres_doc_test.sh build-release/corvid_*.deb
# Only what ties the steps to this machine is changed: the server's port,
# the postgres account (a trusted socket), the /etc and /usr paths.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
deb=$(realpath "$1")
fail() { echo "FAIL: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || { echo "postgres doc test: needs root (runuser); skipped"; exit 0; }
pg_bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -1)
[ -n "$pg_bin" ] || fail "no PostgreSQL server installed"

work=$(mktemp -d)
# Under /tmp itself, reachable by nobody, who runs the server.
pg=$(mktemp -d /tmp/corvid-pgdoc-XXXXXX)
cleanup() {
  runuser -u nobody -- "$pg_bin/pg_ctl" -D "$pg/data" -m immediate stop >/dev/null 2>&1 || true
  rm -rf "$work" "$pg"
}
trap cleanup EXIT

# Like a fresh Debian server: peer (here trust) on the socket for postgres,
# passwords over TCP.
chown nobody "$pg"
chmod 755 "$pg"
runuser -u nobody -- "$pg_bin/initdb" -D "$pg/data" -U postgres --auth-local=trust --auth-host=scram-sha-256 \
  -E UTF8 --locale=C --no-sync >"$pg/initdb.log" 2>&1 || { cat "$pg/initdb.log"; fail "initdb"; }
port=
for try in 1 2 3 4 5; do
  candidate=$((20000 + RANDOM % 30000))
  if runuser -u nobody -- "$pg_bin/pg_ctl" -D "$pg/data" -l "$pg/server.log" -w -t 30 \
      -o "-k $pg -p $candidate -c listen_addresses=127.0.0.1 -c fsync=off" start >/dev/null 2>&1; then
    port=$candidate
    break
  fi
done
[ -n "$port" ] || { cat "$pg/server.log"; fail "the throwaway server did not start"; }

root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/log"
: >"$root/var/lib/dpkg/status"
dpkg --root="$root" --force-depends --force-script-chrootless -i "$deb" >"$work/dpkg.log" 2>&1 ||
  { cat "$work/dpkg.log"; fail "dpkg -i"; }

export HOME="$work/home" CORVID_HOME="$work/machine" ODBCSYSINI="$work/odbc" PATH="$root/usr/bin:$PATH"
unset CORVID_NETWORK ODBCINI ODBCINSTINI PGHOST PGPORT PGUSER PGPASSWORD PGPASSFILE
mkdir -p "$HOME" "$CORVID_HOME" "$ODBCSYSINI"
: >"$ODBCSYSINI/odbc.ini"
# What odbc-postgresql's own installation registers.
odbcinst -i -d -f /usr/share/psqlodbc/odbcinst.ini.template >/dev/null
grep -q "^CommLog=1" "$ODBCSYSINI/odbcinst.ini" || fail "Debian's driver entry has changed; check step 5"

# The section's shell blocks, in order, each without its indentation.
awk '
  /^## Using PostgreSQL instead/ { in_section = 1; next }
  /^## / { in_section = 0 }
  !in_section { next }
  !in_block && /^ *```sh$/ { in_block = 1; indent = index($0, "`") - 1; next }
  in_block && /^ *```$/ { in_block = 0; next }
  in_block { print substr($0, indent + 1) }
' "$repo/docs/database.md" >"$work/steps.sh"
grep -q "createdb" "$work/steps.sh" && grep -q "isql" "$work/steps.sh" || fail "no steps found in docs/database.md"
sed -i -e 's|^apt-get install .*|: packages installed by scripts/lib/packages.sh|' \
  -e 's|runuser -u postgres -- |as_postgres |' \
  -e "s|5432|$port|g" \
  -e "s|/etc/odbc|$ODBCSYSINI/odbc|g" \
  -e "s|/usr/share/corvid|$root/usr/share/corvid|g" "$work/steps.sh"
as_postgres() { PGHOST="$pg" PGPORT="$port" PGUSER=postgres "$@"; }
stamp="$work/stamp"
touch "$stamp"
(
  set -e
  cd "$work"
  source "$work/steps.sh"
) >"$work/steps.log" 2>&1 || { cat "$work/steps.sh" "$work/steps.log"; fail "the documented steps"; }
grep -q "^| 0 *|" "$work/steps.log" || { cat "$work/steps.log"; fail "isql did not count the empty table"; }

folder="$CORVID_HOME/drives/c/Program Files/Corvid"
share="$root/usr/share/corvid"
CORVID_SAMPLE="$share/sample" ntsim run "$share/sample/network.ntsim"
CORVID_SAMPLE_DLLS="$share/sample/messages" ntsim run "$share/sample/messages.ntsim"
"$folder/corvid" -S "$share/sample/domain.imp"
# Only the sample's switched-off computer fails.
check=$(corvid-logcheck "$folder/Corvid.log") || true
[[ "$check" == *"processed=15 errors=3 failed=OFF05/System,OFF05/Security,OFF05/Application "* ]] ||
  { cat "$folder/Corvid.log"; fail "the gather into PostgreSQL"; }
for table in system security application; do
  rows=$(psql -X -A -t -h localhost -p "$port" -U corvid -d corvid -c "SELECT count(*) FROM $table")
  [ "$rows" -gt 0 ] || fail "no rows in $table"
  echo "  $table: $rows rows"
done
! find /tmp -maxdepth 1 -name 'psqlodbc_*.log' -newer "$stamp" | grep . || fail "psqlODBC left a communication log"
grep -q '"Password"=""' "$CORVID_HOME/registry.reg" || fail "the password went into the settings"
echo "postgres doc test: 1 passed, 0 failed"
