#!/bin/sh
# Starts the real brizel program with its own home, config, state and Movies folders, waits for its trace
# line "KBZ: starting event loop", ends it with SIGTERM and checks what a user's desktop sees afterwards:
# exit status 0, the log file's opening and quitting lines, the preferences file written.
# Usage: run_brizel.sh <brizel executable> <work folder> [movie path]
set -u
exe=$1
work=$2
shift 2

rm -rf "$work"
mkdir -p "$work/home/Videos" "$work/config" "$work/state"
export HOME="$work/home" XDG_CONFIG_HOME="$work/config" XDG_STATE_HOME="$work/state"
export XDG_VIDEOS_DIR="$work/home/Videos"
out="$work/stdout.txt"

fail() {
  echo "FAIL: $*"
  echo "---- program output ----"
  cat "$out" 2>/dev/null
  exit 1
}

"$exe" "$@" >"$out" 2>&1 &
pid=$!
# Up to 60 s for the start (a loaded machine), checked every 0.2 s; no timing is asserted.
i=0
until grep -q "KBZ: starting event loop" "$out" 2>/dev/null; do
  kill -0 "$pid" 2>/dev/null || { wait "$pid"; fail "brizel ended before its event loop (status $?)"; }
  i=$((i + 1))
  [ $i -gt 300 ] && { kill -KILL "$pid"; fail "no \"KBZ: starting event loop\" within 60 s"; }
  sleep 0.2
done
# Let the open-documents request of the command line take its road before quitting.
sleep 1
kill -TERM "$pid"
wait "$pid"
status=$?
[ "$status" -eq 0 ] || fail "SIGTERM ended brizel with status $status, not 0"

log="$XDG_STATE_HOME/brizel/logs/Brizel Log"
[ -f "$log" ] || fail "no log file at $log"
grep -q "Opened application Orl Brizel." "$log" || fail "the log lacks \"Opened application Orl Brizel.\""
grep -q "Application quit." "$log" || fail "the log lacks \"Application quit.\""
prefs=$(find "$XDG_CONFIG_HOME/brizel" -type f 2>/dev/null | head -1)
[ -n "$prefs" ] || fail "no preferences file under $XDG_CONFIG_HOME/brizel"
for key in "Version" "Window Locations"; do
  grep -q "<key>$key</key>" "$prefs" || fail "the preferences file $prefs has no \"$key\""
done
echo "brizel started, ended by SIGTERM with status 0, log and preferences written ($prefs)"
