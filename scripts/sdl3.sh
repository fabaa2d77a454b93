#!/usr/bin/env bash
# The unit and end-to-end tests again on the SDL that Fedora, Arch and the next
# Debian run: the newest sdl12-compat (unstable's) over sdl2-compat over SDL3, under
# X (Xvfb, openbox) and natively on a headless Wayland compositor (sway). SDL3 needs
# a newer C library than Debian 12's, so they run in a Debian 13 root made with
# mmdebstrap from the archive the host's apt uses, kept in BUILD/sdl3-root and made
# anew when its package list changes; the build's own programs and tests run there
# from the same path. With ASAN-BUILD, its clock is resized there under
# AddressSanitizer too. Needs root (chroot, mounts).
# Exit code 77: skipped (not root, or no Debian 13 or unstable in the archive).
#   sdl3.sh [--prepare] BUILD [ASAN-BUILD]     --prepare: only make the root
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
prepare=
[ "${1:-}" = --prepare ] && { prepare=1; shift; }
mkdir -p "${1:?build folder}"
build=$(cd "$1" && pwd)
asan=${2:+$(cd "$2" && pwd)}
root=$build/sdl3-root
jobs=$(nproc)

start=$SECONDS
step() { printf '\n=== sdl3: %s (at %d s)\n' "$*" $((SECONDS - start)); }

if [ "$(id -u)" -ne 0 ]; then
    sudo -n true 2>/dev/null && exec sudo -n bash "$top/scripts/sdl3.sh" ${prepare:+--prepare} "$build" ${asan:+"$asan"}
    echo "sdl3.sh: SKIPPED: the Debian 13 root needs root (chroot), and sudo asks for a password" >&2
    exit 77
fi
case "$top" in
    "$root"/*) echo "sdl3.sh: run it from outside its root" >&2; exit 2 ;;
esac

# What the tests meet: the programs' libraries (sdl12-compat and SDL2 come with
# libsdl1.2debian), the test harness's tools, sway and its screenshot and key tools,
# ctest. The ASan runtime is Debian 13's of the same soname. SDL3 meets PipeWire's
# client library, whose configuration Debian 13 keeps in pipewire-bin.
packages=(ca-certificates libsdl1.2debian libsdl2-compat libsdl3-0 libsdl-image1.2 libsdl-mixer1.2
          libsdl-ttf2.0-0 libsdl-net1.2 libpng16-16t64 libx11-6 libxtst6 libsystemd0 libasan8 libubsan1
          xvfb xauth x11-utils x11-xserver-utils xdotool openbox fontconfig fonts-liberation
          pulseaudio pulseaudio-utils libpipewire-0.3-common pipewire-bin dbus-daemon python3-dbus python3-gi
          faketime xprintidle procps sway grim wtype cmake)
key="trixie ${packages[*]}"

if [ "$(cat "$build/sdl3-root.key" 2>/dev/null)" != "$key" ]; then
    step "Debian 13 root"
    archive=$(bash scripts/archive.sh "$(. /etc/os-release && echo "${VERSION_CODENAME:-}")")
    [ -n "$archive" ] || archive=$(bash scripts/archive.sh sid)
    [ -n "$archive" ] || { echo "sdl3.sh: no archive in the host's apt sources" >&2; exit 1; }
    command -v mmdebstrap >/dev/null || bash scripts/deps.sh arm
    # a root left mounted by a run that was killed: rm must not reach the repository
    awk -v r="$root/" 'index($2 "/", r) == 1 { print $2 }' /proc/self/mounts | sort -r |
        while read -r m; do umount -l "$m"; done
    if awk -v r="$root/" 'index($2 "/", r) == 1 { found = 1 } END { exit !found }' /proc/self/mounts; then
        echo "sdl3.sh: $root has mounts that do not go" >&2
        exit 1
    fi
    rm -rf "$root" "$build/sdl3-root.key"
    tmp=$(mktemp -d /var/tmp/hx-mmdebstrap.XXXXXX)
    chmod 1777 "$tmp"
    inc=$(IFS=,; echo "${packages[*]}")
    if ! TMPDIR=$tmp mmdebstrap --variant=apt --include="$inc" --dpkgopt='path-exclude=/usr/share/doc/*' \
            --dpkgopt='path-exclude=/usr/share/man/*' --dpkgopt='path-exclude=/usr/share/locale/*' \
            trixie "$root" "$archive" >"$build/sdl3-root.log" 2>&1; then
        rm -rf "$tmp"
        cat "$build/sdl3-root.log" >&2
        if grep -q -E "no such file|404|Release' does not have a Release file" "$build/sdl3-root.log"; then
            echo "sdl3.sh: SKIPPED: $archive holds no Debian 13 to make the root from" >&2
            exit 77
        fi
        echo "sdl3.sh: no Debian 13 root from $archive" >&2
        exit 1
    fi
    rm -rf "$tmp"
    echo "$key" >"$build/sdl3-root.key"
else
    step "Debian 13 root (kept)"
fi

[ -z "$prepare" ] || exit 0

# the newest sdl12-compat, unpacked into the build folder, which the root sees
code=0
bash scripts/sdl12-compat.sh "$build" newest >/dev/null || code=$?
[ $code -eq 0 ] || exit $code
newest=$(find "$build/sdl12-compat-newest/root" -name libSDL-1.2.so.0 -printf '%h\n' | head -1)
# Debian 13 puts sdl2-compat beside its real SDL2
stack=$newest:/usr/lib/x86_64-linux-gnu/sdl2-compat

. scripts/chroot.sh
trap unmountall EXIT
mountsystem "$root"
mnt "$root/tmp" -t tmpfs tmpfs
mnt "$root$top" --bind "$top"
[ -n "$asan" ] && [ "${asan#"$top"/}" = "$asan" ] && mnt "$root$asan" --bind "$asan"
[ "${build#"$top"/}" = "$build" ] && mnt "$root$build" --bind "$build"
inside() {
    chroot "$root" /usr/bin/env -i HOME=/root PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 \
        LD_LIBRARY_PATH="$stack" ${HX_RUN_MARK:+HX_RUN_MARK=$HX_RUN_MARK} "$@"
}

step "which SDL the clock loads"
# the clock itself in the background (not a subshell around it), ended by its pid
inside bash -c "cd '$build/run' || exit; SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy \
    DBUS_SESSION_BUS_ADDRESS=disabled: ./horatik-desktop & clock=\$!; sleep 2; \
    grep -o -E 'lib(SDL-1\\.2|SDL2-2\\.0|SDL3)\\.so[.0-9]*' /proc/\$clock/maps | sort -u; \
    kill \$clock; wait \$clock" || true

step "unit and end-to-end tests, X and Wayland"
# what does not meet SDL's video, input, sound or bus (installing and packaging,
# settings files that cannot be written or read) ran on the host already
inside ctest --test-dir "$build" --output-on-failure -j"$jobs" -L 'unit|e2e' -E '^e2e\.(Install|Faults|BadInput)\.'

if [ -n "$asan" ]; then
    step "the clock under AddressSanitizer, resized under openbox"
    # faketime, preloaded by the test, comes before the ASan runtime
    inside env ASAN_OPTIONS=detect_leaks=0:abort_on_error=1:verify_asan_link_order=0 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$asan/tests/e2e/e2e_clock" --gtest_filter='Desktop.ResizedAgainAndAgainUnderAWindowManager'
fi
step "done"
