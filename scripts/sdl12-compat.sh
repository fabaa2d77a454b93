#!/usr/bin/env bash
# Unpacks Debian's sdl12-compat (the SDL 1.2 API over SDL2) into a build folder and
# prints the folder to put into LD_LIBRARY_PATH, so that the tests can run again on
# it; the system's own SDL is not touched. Prints nothing when the build's programs
# load that very sdl12-compat already.
#   sdl12-compat.sh BUILD           the host release's (Debian 12: 1.2.60)
#   sdl12-compat.sh BUILD newest    unstable's, the newest the archive has, from the
#                                   archive the host's apt uses
# Exit code 77: the archive holds no unstable (a dated or partial mirror).
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:?build folder}" && pwd)
which=${2:-release}

# the SDL 1.2 the build's programs load: classic SDL is libSDL-1.2.so.0.11.*,
# sdl12-compat is libSDL-1.2.so.1.2.*
sdl=$(readlink -f "$(ldd "$build/run/horatik-desktop" | awk '$1 == "libSDL-1.2.so.0" { print $3 }')")

sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)

if [ "$which" = release ]; then
    case "$sdl" in
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
            { "${sudo[@]}" apt-get update -qq && apt-get download libsdl1.2-compat; }; } ) >&2
        dpkg -x "$dir"/libsdl1.2-compat_*.deb "$dir"
        lib=$(find "$dir" -name libSDL-1.2.so.0 -printf '%h\n' | head -1)
    fi
    echo "$lib"
    exit 0
fi

[ "$which" = newest ] || { echo "usage: sdl12-compat.sh BUILD [newest]" >&2; exit 2; }
dir=$build/sdl12-compat-newest
lib=$(find "$dir/root" -name libSDL-1.2.so.0 -printf '%h\n' 2>/dev/null | head -1 || true)
if [ -z "$lib" ] || [ -n "$(find "$dir/stamp" -mmin +1440 2>/dev/null)" ]; then
    # unstable from the host's archive, in an apt of its own: the host's sources stay
    archive=$(bash scripts/archive.sh "$(. /etc/os-release && echo "${VERSION_CODENAME:-}")")
    [ -n "$archive" ] || archive=$(bash scripts/archive.sh sid)
    [ -n "$archive" ] || { echo "sdl12-compat.sh: no archive in the host's apt sources" >&2; exit 1; }
    rm -rf "$dir"
    mkdir -p "$dir"/apt/lists/partial "$dir"/apt/cache/archives/partial "$dir/root"
    echo "deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $archive sid main" \
        >"$dir/apt/sources.list"
    # unstable's Release is valid for a week; an archive that is a dated copy is older
    opts=(-o Dir::Etc::SourceList="$dir/apt/sources.list" -o Dir::Etc::SourceParts=/dev/null
          -o Dir::State::Lists="$dir/apt/lists" -o Dir::Cache="$dir/apt/cache"
          -o Dir::State::status=/dev/null -o Acquire::Check-Valid-Until=false
          -o Debug::NoLocking=true)
    # root's apt fetches as _apt, which cannot write into the build folder
    [ "$(id -u)" -eq 0 ] && opts+=(-o APT::Sandbox::User=root)
    if ! TMPDIR=/var/tmp apt-get "${opts[@]}" update -qq >"$dir/apt.log" 2>&1 ||
       ! ( cd "$dir" && apt-get "${opts[@]}" download libsdl1.2debian ) >>"$dir/apt.log" 2>&1; then
        cat "$dir/apt.log" >&2
        echo "sdl12-compat.sh: SKIPPED: no unstable sdl12-compat from $archive" >&2
        exit 77
    fi
    dpkg -x "$dir"/libsdl1.2debian_*.deb "$dir/root"
    touch "$dir/stamp"
    lib=$(find "$dir/root" -name libSDL-1.2.so.0 -printf '%h\n' | head -1)
fi
# where the system's is that one already (Debian unstable), the tests above ran on it
[ "$(basename "$(readlink -f "$lib/libSDL-1.2.so.0")")" = "$(basename "$sdl")" ] && exit 0
echo "$lib"
