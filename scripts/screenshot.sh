#!/usr/bin/env bash
# Takes the README's screenshots of the demo program on a virtual X display:
# docs/screenshot.png (the classic window), docs/explorer-objects.png and
# docs/explorer-classes.png (the explorer's two views), docs/explorer-memory.png and
# docs/explorer-leaks.png (the Memory view on a heap dump of examples/leak). Needs
# Xvfb, xdotool, ImageMagick's import and the JDK's jcmd.
#
#   scripts/screenshot.sh [BUILD_DIR] [classic|explorer|memory|all]     (default: build all)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
which=${2:-all}
out="$root/docs/screenshot.png"
agent="$build/agent/libvorlanagt.so"
viewer="$build/viewer/Vorlan"
for f in "$agent" "$viewer" "$build/examples/classes/VorlanDemo.class"; do
    [[ -e $f ]] || { echo "missing $f: build first" >&2; exit 1; }
done
for tool in Xvfb xdotool import; do
    command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'; }

# A virtual display of the given size; DISPLAY names it from here on.
start_display() {
    local display=:$((90 + RANDOM % 100))
    Xvfb "$display" -screen 0 "$1" -nolisten tcp >"$work/xvfb-$display.log" 2>&1 &
    pids+=($!)
    export DISPLAY=$display
    for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done
}

# The demo program with the agent listening on $port, every root kind listed.
start_demo() {
    : >"$work/demo.err"
    java "-agentpath:$agent=port=$port,kind=0,debug=0" -cp "$build/examples/classes" VorlanDemo \
        >"$work/demo.out" 2>"$work/demo.err" &
    pids+=($!)
    demo=$!
    for _ in $(seq 100); do grep -q '^listen$' "$work/demo.err" && break; sleep 0.1; done
}

classic() {
port=$(free_port)
start_display 1024x768x24
start_demo

# The log window opens at debug level 1 and writes vllog.txt into the working directory.
(cd "$work" && exec "$viewer" "port=$port" "debug=1") &
pids+=($!)
main=$(xdotool search --sync --name '^Vorlan$' | head -1)
sleep 1

# No window manager: the main window's client area starts at its laid-out corner (265,67).
click() { xdotool mousemove "$1" "$2" click 1; sleep 0.7; }
click $((265 + 112 + 40)) $((67 + 376 + 12))   # refresh
click $((265 + 8 + 60)) $((67 + 8 + 10))        # focus the tree on "classes"

# Type-ahead finds a caption among the shown rows; Right expands the selected node.
find_and_expand() { xdotool type --delay 60 "$1"; sleep 0.6; xdotool key Right; sleep 0.8; }
find_and_expand 'sun/launcher/LauncherHelper'
find_and_expand 'VorlanDemo'
find_and_expand 'VorlanDemo$Person[]'
xdotool key Down Down; sleep 0.5
find_and_expand 'VorlanDemo$Person'
xdotool key Down; sleep 0.5
find_and_expand 'VorlanDemo$Address'
xdotool mousemove $((265 + 320)) $((67 + 200)) click --repeat 5 --delay 100 5   # wheel down to the address
sleep 0.5
xdotool windowraise "$main"; sleep 0.5

mkdir -p "$(dirname "$out")"
import -window root -crop 620x456+88+60 +repage "$out"
echo "wrote $out"

# "close" ends the demo's JVM and the viewer.
click $((265 + 216 + 40)) $((67 + 376 + 12))
wait "$demo" && echo "demo ended with status 0"
}

# The explorer on the demo: a Person opened in the Objects view, then the histogram with
# the instances of java.lang.String. Its settings go to the work directory, not yours.
explorer() {
port=$(free_port)
start_display 1280x860x24
start_demo
export XDG_CONFIG_HOME="$work/config"
"$viewer" explore "port=$port" >"$work/explorer.out" 2>&1 &
pids+=($!)
window=$(xdotool search --sync --name '^Vorlan explorer' | head -1)
xdotool windowfocus "$window"
# Hello, the histogram, and the roots sorted by kind, one heap walk per root: done when
# the agent's progress lines (one per reply) stop for two seconds.
last=-1
for _ in $(seq 120); do
    sleep 2
    now=$(wc -l <"$work/demo.err")
    [[ $now == "$last" ]] && break
    last=$now
done

key() { xdotool key --delay 80 "$@"; sleep 0.6; }
key ctrl+f; xdotool type --delay 40 'VorlanDemo$Person'; key Return   # the class's instances
sleep 1; key Return; sleep 1                                           # the first one, in Objects
key Down Down Down Right; sleep 0.8                                    # its address, opened
key Up Up Up; sleep 1.2                                                # the Person, in the details
import -window "$window" "$root/docs/explorer-objects.png"
echo "wrote $root/docs/explorer-objects.png"

key ctrl+f; xdotool type --delay 40 'java.lang.String'; key Return    # the Strings, listed
sleep 1; key Down Down Down; sleep 1                                   # one of them, in the details
key ctrl+f Escape; sleep 0.5                                           # the whole histogram again
xdotool key Tab; sleep 1.2
import -window "$window" "$root/docs/explorer-classes.png"
echo "wrote $root/docs/explorer-classes.png"
kill "$demo"
}

# The Memory view on a heap dump of LeakyCache, the service that leaks sessions: the
# biggest objects opened down to where the sessions accumulate, then the leak suspects.
memory() {
start_display 1280x860x24
java -Xmx256m -cp "$build/examples/classes" LeakyCache 20000 >"$work/leaky.out" 2>&1 &
pids+=($!)
leaky=$!
for _ in $(seq 100); do [[ $(wc -l <"$work/leaky.out") -ge 4 ]] && break; sleep 0.2; done
jcmd "$leaky" GC.heap_dump "$work/leaky.hprof" >/dev/null
kill "$leaky"
export XDG_CONFIG_HOME="$work/config"
"$viewer" explore "hprof=$work/leaky.hprof" >"$work/memory.out" 2>&1 &
pids+=($!)
window=$(xdotool search --sync --name '^Vorlan explorer' | head -1)
xdotool windowfocus "$window"
sleep 8                                                   # read and analysed
key() { xdotool key --delay 80 "$@"; sleep 0.6; }
key Right Down Right Down Right Down Right Down Right      # down the chain to the sessions
key Down Down; sleep 1.2                                  # one of them, in the details
import -window "$window" "$root/docs/explorer-memory.png"
echo "wrote $root/docs/explorer-memory.png"
key alt+s; sleep 0.5; key Down Down; sleep 1.2            # the leak suspects
import -window "$window" "$root/docs/explorer-leaks.png"
echo "wrote $root/docs/explorer-leaks.png"
}

case $which in
    classic) classic ;;
    explorer) explorer ;;
    memory) memory ;;
    *) classic; explorer; memory ;;
esac
