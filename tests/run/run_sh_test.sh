#!/usr/bin/env bash
# ./run.sh as a user runs it, on this build tree (already built, so nothing is rebuilt):
# the demo starts with the agent and the explorer opens on it in a virtual display;
# VORLAN_WINDOW=classic opens the classic window; closing the viewer stops the demo; with
# no display it says how to get one and stops the demo.
# usage: run_sh_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1 build=$2

scratch=$(mktemp -d /tmp/vorlan-run-test.XXXXXX)
xvfb=""
cleanup() {
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
  wait 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# A virtual display of our own; Xvfb names a free one.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$scratch/display" 2>"$scratch/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
display=":$(head -n1 "$scratch/display")"

# Runs run.sh with WINDOW until a window titled TITLE shows, then closes the viewer the
# way a user would end it and checks that the demo went with it.
open_and_close() {
  local window=$1 title=$2 port run pid demo viewer
  port=$(free_port)
  DISPLAY=$display VORLAN_PORT=$port VORLAN_WINDOW=$window VORLAN_BUILD_DIR=$build \
    "$source_dir/run.sh" >"$scratch/run-$window.log" 2>&1 &
  run=$!
  local shown=""
  for _ in $(seq 600); do
    shown=$(DISPLAY=$display xdotool search --name "$title" 2>/dev/null | head -n1) && [ -n "$shown" ] && break
    kill -0 "$run" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$shown" ] || { cat "$scratch/run-$window.log" >&2; fail "$window: no window titled '$title'"; }
  demo=$(sed -n 's/^Demo program running (pid \([0-9]*\)).*/\1/p' "$scratch/run-$window.log")
  [ -n "$demo" ] || fail "$window: run.sh did not say the demo runs"
  grep -q "agent on 127.0.0.1:$port" "$scratch/run-$window.log" || fail "$window: not on port $port"
  viewer=$(pgrep -P "$run" -x Vorlan || true)
  [ -n "$viewer" ] || fail "$window: no viewer under run.sh"
  [ -n "$viewer" ] && kill "$viewer"
  for _ in $(seq 100); do kill -0 "$run" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$run" 2>/dev/null; then fail "$window: run.sh still runs after the viewer ended"; kill "$run"; fi
  wait "$run" 2>/dev/null || true
  for _ in $(seq 100); do [ -n "$demo" ] && kill -0 "$demo" 2>/dev/null || break; sleep 0.1; done
  [ -n "$demo" ] && kill -0 "$demo" 2>/dev/null && { fail "$window: the demo outlived run.sh"; kill "$demo"; }
  return 0
}

open_and_close explorer "^Vorlan explorer"
open_and_close classic "^Vorlan$"

# No display: one message saying how to get one, status 2, the demo stopped.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY VORLAN_PORT="$(free_port)" VORLAN_BUILD_DIR="$build" \
  "$source_dir/run.sh" >"$scratch/nodisplay.log" 2>&1 || status=$?
[ "$status" -eq 2 ] || fail "without a display run.sh ended with $status, not 2"
grep -q "xvfb-run -a" "$scratch/nodisplay.log" || fail "without a display run.sh did not say how to get one"
demo=$(sed -n 's/^Demo program running (pid \([0-9]*\)).*/\1/p' "$scratch/nodisplay.log")
[ -n "$demo" ] || fail "without a display the demo did not start"
for _ in $(seq 100); do [ -n "$demo" ] && kill -0 "$demo" 2>/dev/null || break; sleep 0.1; done
[ -n "$demo" ] && kill -0 "$demo" 2>/dev/null && { fail "without a display the demo was left running"; kill "$demo"; }

if [ "$failures" -ne 0 ]; then
  echo "$failures failed"
  exit 1
fi
echo "run.sh: the demo starts, the explorer and the classic window open, and nothing outlives the viewer"
