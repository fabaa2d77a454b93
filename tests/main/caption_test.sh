#!/usr/bin/env bash
# The desktop window's caption shows the ticks of the last second, a plain number,
# and changes once a second; the handheld program has no caption to show.
set -euo pipefail
run=${1:?runtime folder}
work=$(mktemp -d)
exec 3>"$work/displayfd"
bash "$(dirname "$0")/../services.sh" start xvfb 640x480 3 >/dev/null 2>&1 &
xvfb=$!
clock=
trap 'kill $xvfb $clock 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/displayfd" ] && break; sleep 0.05; done
export DISPLAY=:$(head -n1 "$work/displayfd")
ln -s "$run/data" "$work/data"
cd "$work"
SDL_AUDIODRIVER=dummy DBUS_SESSION_BUS_ADDRESS=disabled: "$run/horatik-desktop" &
clock=$!

caption() { xwininfo -root -tree | sed -n 's/^ *0x[0-9a-f]* "\([^"]*\)": ("horatik-desktop".*/\1/p' | head -n1; }
seen=()
for _ in $(seq 12); do
    sleep 0.5
    c=$(caption)
    [ -n "$c" ] && seen+=("$c")
done
echo "captions: ${seen[*]}"
[ ${#seen[@]} -ge 6 ] || { echo "no caption"; exit 1; }
for c in "${seen[@]:2}"; do
    [[ $c =~ ^[0-9]+$ ]] && [ "$c" -ge 1 ] && [ "$c" -le 101 ] || { echo "caption '$c' is not a tick count"; exit 1; }
done
kill -TERM $clock
code=0; wait $clock || code=$?
[ $code -eq 0 ] || { echo "exit code $code"; exit 1; }
