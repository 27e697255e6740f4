#!/usr/bin/env bash
# Builds what the demo needs (the agent, the viewer and the demo program; the tests are
# built by ./test.sh), starts the demo Java program with the agent and opens the explorer
# on it. VORLAN_PORT picks another port (default 12345); VORLAN_WINDOW=classic opens the
# classic window instead; VORLAN_BUILD_DIR builds elsewhere than build/.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
# A first configure makes an unoptimised build without debug information, with clang
# where it is installed: it compiles in well under half the time of the optimised
# default with g++, and the demo's heap is small. A build/ configured before keeps its
# type and compiler.
build=${VORLAN_BUILD_DIR:-build}
first=()
if [ ! -f "$build/CMakeCache.txt" ]; then
  first=(-DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG=-O0 -DCMAKE_C_FLAGS_DEBUG=-O0)
  command -v clang++ >/dev/null && first+=(-DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang)
fi
cmake -G Ninja -S . -B "$build" "${first[@]}" >/dev/null
targets=(vorlanagt vorlan_demo_classes)
grep -q '^VORLAN_BUILD_VIEWER:BOOL=ON' "$build/CMakeCache.txt" && targets+=(Vorlan)
cmake --build "$build" --target "${targets[@]}"

port=${VORLAN_PORT:-12345}
window=${VORLAN_WINDOW:-explorer}
java_bin="$(dirname "$(readlink -f "$(command -v javac)")")/java"
log=$build/demo.log
"$java_bin" "-agentpath:$(readlink -f "$build")/agent/libvorlanagt.so=port=$port,kind=1,debug=0" \
  -cp "$build/examples/classes" VorlanDemo >"$log" 2>&1 &
demo=$!
trap 'kill $demo 2>/dev/null || true' EXIT

for _ in $(seq 100); do
  grep -q "^listen$" "$log" && break
  if ! kill -0 $demo 2>/dev/null; then cat "$log"; echo "error: the demo program ended" >&2; exit 1; fi
  sleep 0.1
done
if grep -q "cannot listen" "$log"; then
  grep "cannot listen" "$log" >&2
  echo "Pick another port: VORLAN_PORT=12346 $0" >&2
  exit 1
fi
echo "Demo program running (pid $demo), agent on 127.0.0.1:$port; its output is in $log"

viewer=$build/viewer/Vorlan
if [ ! -x "$viewer" ]; then
  echo "No viewer built; speak the protocol directly, e.g.: printf p | nc -q1 127.0.0.1 $port | tr '\\0' ' '"
  wait $demo
  exit 0
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  cat >&2 <<MSG
No display to open the viewer on. Run it on a desktop session, over ssh -X, or in a
virtual display with:  xvfb-run -a $0
The demo program has been stopped.
MSG
  exit 2
fi
if [ "$window" = classic ]; then
  # The classic window's first connection attempt goes to 12345; the port word serves the later ones.
  "$viewer" port=$port debug=1
else
  "$viewer" explore port=$port
fi
