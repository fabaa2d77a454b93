#!/usr/bin/env bash
# The console's package: one folder with the program, its icon, data/ and the logo,
# and the program runs from the unpacked folder. Given the built handheld program,
# the package must hold that very file (a cross build's, not the build machine's).
# A cross build's emulator comes in HX_EMULATOR and is put before the program.
set -euo pipefail
zip=${1:?zip file}
program=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
unzip -q "$zip"

want="horatik/
horatik/Tavlo.png
horatik/data/
horatik/data/bg.png
horatik/data/fennick.png
horatik/data/times.ttf
horatik/data/weck.png
horatik/data/weck.wav
horatik/horatik.gpe
horatik/horatik.png"
got=$(find horatik | sed 's|$|/|; s|/$||' | while read -r p; do [ -d "$p" ] && echo "$p/" || echo "$p"; done | sort)
if [ "$got" != "$want" ]; then
    echo "package holds:"; echo "$got"; exit 1
fi
[ -x horatik/horatik.gpe ] || { echo "horatik.gpe is not executable"; exit 1; }
if [ -n "$program" ] && ! cmp -s "$program" horatik/horatik.gpe; then
    echo "horatik.gpe is not $program"; exit 1
fi
size=$(identify -format '%wx%h' horatik/horatik.png)
[ "$size" = 32x32 ] || { echo "icon is $size"; exit 1; }

cd horatik
# shellcheck disable=SC2086 # the emulator's words
SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy ${HX_EMULATOR:-} ./horatik.gpe 2>err &
pid=$!
sleep 1.5
kill -TERM $pid
code=0
wait $pid || code=$?
[ $code -eq 0 ] || { echo "exit code $code"; exit 1; }
[ ! -s err ] || { echo "standard error:"; cat err; exit 1; }
echo "package ok"
