#!/usr/bin/env bash
# The installed program on a real X server (Xvfb) under a window manager
# (openbox), driven by xdotool and checked by what reaches the screen.
#
#   real_display_test.sh CASE BIN_DIR
#
# CASE: notices, enter, logpath or about. Exits 77 (skipped) when the tools
# or the server are missing, except under CI=true, where that is a failure.
# CORVID_SHOTS=DIR keeps the notices' screenshots.
set -euo pipefail
case_name="$1"
bin="$2"

work=$(mktemp -d "${TMPDIR:-/tmp}/corvid-display.XXXXXX")
pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
unavailable() {
  if [ "${CI:-}" = true ]; then fail "$* (the display tests must run in CI)"; fi
  echo "SKIP: $*"
  exit 77
}

for tool in Xvfb openbox xdotool xprop import convert; do
  command -v "$tool" >/dev/null || unavailable "$tool is not installed"
done

# until SECONDS COMMAND...: true once COMMAND succeeds, polled every 50 ms.
until_true() {
  local limit=$(( $(date +%s%N) + $1 * 1000000000 ))
  shift
  until "$@"; do
    [ "$(date +%s%N)" -lt "$limit" ] || return 1
    sleep 0.05
  done
}

# The server picks a free display number and writes it to fd 3.
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -br -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
exec 3>&-
numbered() { grep -q '^[0-9][0-9]*$' "$work/display"; }
until_true 10 numbered || unavailable "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(cat "$work/display")"
# The number comes when the server listens; a loaded machine may still
# refuse the first client, so the window manager waits for the server and
# is started again if it gave up.
serving() { xprop -root >/dev/null 2>&1; }
until_true 10 serving || fail "Xvfb on $DISPLAY takes no clients: $(cat "$work/xvfb.log")"
managed() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
for attempt in 1 2 3; do
  openbox --sm-disable >"$work/openbox.log" 2>&1 &
  pids+=($!)
  until_true 10 managed && break
  [ "$attempt" -lt 3 ] || fail "openbox did not start: $(cat "$work/openbox.log")"
done

# install [--with-data-source]: a fresh machine folder with the program in
# C:\Program Files\Corvid and an ODBC configuration of its own.
install() {
  export CORVID_HOME="$work/machine" ODBCSYSINI="$work/odbc"
  unset CORVID_NETWORK
  rm -rf "$CORVID_HOME" "$ODBCSYSINI"
  mkdir -p "$CORVID_HOME" "$ODBCSYSINI"
  : >"$ODBCSYSINI/odbcinst.ini"
  : >"$ODBCSYSINI/odbc.ini"
  "$bin/corvid-install" --install-path 'C:\Program Files\Corvid' "$@" >/dev/null || fail "corvid-install $*"
  folder="$CORVID_HOME/drives/c/Program Files/Corvid"
}

# start ARGS...: the program in the background; its pid in $program.
start() {
  "$folder/corvid" "$@" >"$work/corvid.log" 2>&1 &
  program=$!
  pids+=("$program")
}

stop() {
  kill "$program" 2>/dev/null || true
  wait "$program" 2>/dev/null || true
}

# shows TITLE: the visible window of the program with that title, into
# $found; gone TITLE: none left.
shows() {
  found=$(xdotool search --all --onlyvisible --pid "$program" --name "^$1\$" 2>/dev/null | head -1)
  [ -n "$found" ]
}
gone() { ! shows "$1"; }
# new_window: a visible window of the program not in $seen, into $found.
new_window() {
  found=$(xdotool search --all --onlyvisible --pid "$program" 2>/dev/null | grep -vxF -f <(printf '%s\n' none "${seen[@]}") | head -1)
  [ -n "$found" ]
}

# window TITLE: that window, waited for.
window() {
  until_true 10 shows "$1" || fail "no window \"$1\" (program says: $(cat "$work/corvid.log"))"
  echo "$found"
}

# keys WINDOW KEY...: the window activated, then the keys typed.
keys() {
  local target="$1"
  shift
  xdotool windowactivate --sync "$target" >/dev/null 2>&1 || xdotool windowfocus --sync "$target"
  xdotool key --delay 50 "$@"
}

# painted WINDOW NAME: the window's pixels on the screen hold more than a
# plain fill: the icon and the text were drawn.
painted() {
  local shot="$work/$2.png"
  import -window "$1" "$shot" 2>/dev/null || fail "$2 went before it could be seen"
  local colours
  colours=$(convert "$shot" -format %k info:)
  [ -n "${CORVID_SHOTS:-}" ] && mkdir -p "$CORVID_SHOTS" && cp "$shot" "$CORVID_SHOTS/"
  [ "$colours" -ge 8 ] || fail "$2 is not painted: $colours colours on the screen"
}

case "$case_name" in
  notices)
    # Each start before the data source exists shows "Preparing Data
    # Source..." for a second; the long list then shows "Loading, please
    # wait..." while its types are asked for. Whether the window manager has
    # mapped a window when the program paints it is a race: several starts.
    seq -f 'PC%05g' 1 60000 >"$work/long.imp"
    for round in 1 2 3; do
      install
      start "$work/long.imp"
      seen=()
      for notice in preparing loading; do
        until_true 10 new_window || fail "round $round: no $notice notice"
        shown="$found"
        seen+=("$shown")
        # Well inside the second the notice is up, and long after any
        # window manager maps a window.
        sleep 0.3
        painted "$shown" "$notice-$round"
        xdotool search --all --onlyvisible --pid "$program" 2>/dev/null | grep -qx "$shown" ||
          fail "round $round: the $notice notice went before it was seen"
      done
      stop
    done
    ;;
  enter)
    # No computer at all: the gather selection lists none and greys OK.
    install --with-data-source
    echo "the last run" >"$folder/Corvid.log"
    start
    main=$(window Ravelin)
    keys "$main" alt+g
    selection=$(window "Gather Event Logs")
    keys "$selection" Return
    sleep 1
    shows "Gather Event Logs" ||
      fail "Enter closed the selection dialog with OK greyed"
    [ "$(cat "$folder/Corvid.log")" = "the last run" ] || fail "Enter started a gather: $(cat "$folder/Corvid.log")"
    keys "$selection" Escape
    until_true 5 gone "Gather Event Logs" ||
      fail "Escape did not leave the selection dialog"
    stop
    ;;
  logpath)
    # "..." and Save unchanged, then "View Log" opens the path picked.
    install --with-data-source
    printf '#!/bin/sh\nprintf "%%s" "$1" > "%s"\n' "$work/viewed" >"$work/viewer"
    chmod +x "$work/viewer"
    VISUAL="$work/viewer" start
    main=$(window Ravelin)
    keys "$main" alt+l
    options=$(window Options)
    keys "$options" Tab space
    picker=$(window 'Select Log File')
    keys "$picker" Return
    until_true 5 gone "Select Log File" ||
      fail "the file dialog did not take the name it showed"
    keys "$options" alt+v
    until_true 5 test -s "$work/viewed" || fail "View Log opened nothing"
    [ "$(cat "$work/viewed")" = "$folder/Corvid.log" ] || fail "the log path picked is $(cat "$work/viewed")"
    stop
    ;;
  about)
    # The main window's own menu bar reaches the system menu's About.
    install --with-data-source
    start
    main=$(window Ravelin)
    # A loaded machine may open the menu after the letter was typed: the
    # menu is asked for again, a few times, before that counts as a fault.
    for attempt in 1 2 3 4 5; do
      keys "$main" alt+r
      sleep 0.5
      xdotool key a
      until_true 3 shows "About Corvid" && break
      xdotool key Escape
    done
    about=$(window "About Corvid")
    keys "$about" Return
    stop
    ;;
  *)
    fail "unknown case $case_name"
    ;;
esac
echo "PASS: $case_name"
