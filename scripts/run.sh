#!/usr/bin/env bash
# Builds the desktop clock and starts it in build/run, where it keeps its files.
# Without a display it starts a virtual one; without a sound device it lets SDL
# use its dummy audio driver. It says so in both cases.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh build
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target horatik-desktop

# however this script ends (Ctrl+C, timeout, the window closed), the clock ends
# before its display does, and what it started ends with it
xvfb=
clock=
# (a clock that has ended already is no reason to stop here: set -e holds in traps)
cleanup() {
    [ -z "$clock" ] || { kill -TERM "$clock" 2>/dev/null || true; wait "$clock" 2>/dev/null || true; }
    [ -z "$xvfb" ] || { kill "$xvfb" 2>/dev/null || true; wait "$xvfb" 2>/dev/null || true; }
}
trap cleanup EXIT
trap 'exit 143' TERM HUP
trap 'exit 130' INT
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    for n in $(seq 90 120); do
        [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || break
    done
    # a session of its own: a signal to this script's process group (Ctrl+C,
    # timeout) reaches the clock, and the display is ended after it by the trap
    # -noreset: else Xvfb makes itself anew as the readiness check below leaves,
    # and the clock connecting meanwhile is refused
    setsid Xvfb :$n -screen 0 640x480x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    xvfb=$!
    export DISPLAY=:$n
    # no desktop session either: no session bus for SDL2 to start one of its own for
    [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ] || export DBUS_SESSION_BUS_ADDRESS=disabled:
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    echo "No display found: started a virtual one (Xvfb) as $DISPLAY; the clock runs there unseen."
fi

if [ -z "${SDL_AUDIODRIVER:-}" ] && ! ls /dev/snd/pcm* >/dev/null 2>&1 &&
   [ ! -S "${XDG_RUNTIME_DIR:-/nonexistent}/pulse/native" ]; then
    export SDL_AUDIODRIVER=dummy
    echo "No sound device found: using SDL's dummy audio driver; the alarm will be silent."
fi

cd build/run
./horatik-desktop &
clock=$!
wait $clock
