#!/usr/bin/env bash
# Unpacks Debian's sdl12-compat (the SDL 1.2 API over SDL2) into a build folder and
# prints the folder to put into LD_LIBRARY_PATH, so that the tests can run a second
# time on it; the system's own SDL is not touched. Prints nothing when the build's
# programs already run on sdl12-compat (Debian 13 and later).
#   sdl12-compat.sh BUILD
set -euo pipefail
build=$(cd "${1:?build folder}" && pwd)

# the SDL 1.2 the build's programs load: classic SDL is libSDL-1.2.so.0.11.*,
# sdl12-compat is libSDL-1.2.so.1.2.*
sdl=$(ldd "$build/run/horatik-desktop" | awk '$1 == "libSDL-1.2.so.0" { print $3 }')
case "$(readlink -f "$sdl")" in
    *libSDL-1.2.so.0.*) ;;
    *) exit 0 ;;
esac

dir=$build/sdl12-compat
lib=$(find "$dir" -name libSDL-1.2.so.0 -printf '%h\n' 2>/dev/null | head -1 || true)
if [ -z "$lib" ]; then
    rm -rf "$dir"
    mkdir -p "$dir"
    # as root apt fetches it unsandboxed and says so; the lists may need a refresh
    ( cd "$dir" && { apt-get download libsdl1.2-compat 2>/dev/null ||
        { sudo=(); [ "$(id -u)" -ne 0 ] && sudo=(sudo)
          "${sudo[@]}" apt-get update -qq && apt-get download libsdl1.2-compat; }; } ) >&2
    dpkg -x "$dir"/libsdl1.2-compat_*.deb "$dir"
    lib=$(find "$dir" -name libSDL-1.2.so.0 -printf '%h\n' | head -1)
fi
echo "$lib"
