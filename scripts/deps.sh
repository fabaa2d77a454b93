#!/usr/bin/env bash
# Installs the Debian packages Horatik needs, only those that are missing. Every
# name here exists on Debian 12 and on Debian 13.
#   deps.sh build   what building the two programs and the Debian package needs
#   deps.sh arm     that plus the ARM cross compiler, qemu and mmdebstrap (scripts/arm.sh)
#   deps.sh test    all of those plus what the tests, sanitizers, fuzzers and benchmarks need
set -euo pipefail

# dpkg-dev: dpkg-shlibdeps, which the package's dependencies come from
build=(cmake make g++ pkg-config
       libsdl1.2-dev libsdl-image1.2-dev libsdl-mixer1.2-dev libsdl-ttf2.0-dev libsdl-net1.2-dev
       libpng-dev libx11-dev libsystemd-dev fonts-liberation
       xvfb x11-utils xauth dpkg-dev)
# pulseaudio, pulseaudio-utils: a sound server of the tests' and the benchmark's own, and
# pactl and parec to look at it and record its sink; dbus-daemon, python3-dbus and
# python3-gi: a session bus of the tests' own with stand-ins for the desktop's power
# services; xdg-desktop-portal and xdg-desktop-portal-gtk: Debian's own desktop portal,
# run by hand on such a bus; xprintidle: the X server's idle time; libpipewire-0.3-common: the
# configuration whose absence PipeWire's client library (which SDL2 and SDL3 load)
# prints about, which after Debian 12 moved to pipewire-bin
test=(googletest libgtest-dev
      xdotool libxtst-dev faketime imagemagick x11-apps x11-xserver-utils pulseaudio pulseaudio-utils
      valgrind clang libclang-rt-dev python3 unzip desktop-file-utils
      libsdl2-2.0-0 lintian appstream man-db openbox fontconfig
      dbus-daemon python3-dbus python3-gi xdg-desktop-portal xdg-desktop-portal-gtk xprintidle
      libpipewire-0.3-common)
# after Debian 12, whose SDL 1.2 is classic (no Wayland driver), a headless Wayland
# compositor with its screenshot and key tools, for the native Wayland case
[ "$(. /etc/os-release && echo "${VERSION_CODENAME:-}")" = bookworm ] || test+=(pipewire-bin sway grim wtype)
# no foreign architecture on the host: the ARM libraries come in a sysroot of their
# own; unzip and imagemagick serve the package test; mount, which every installed
# Debian has, is missing from a bare root, and the SDL3 pass mounts in its own
arm=(crossbuild-essential-armel qemu-user mmdebstrap unzip imagemagick mount)

case "${1:-build}" in
    build) want=("${build[@]}") ;;
    arm)   want=("${build[@]}" "${arm[@]}") ;;
    test)  want=("${build[@]}" "${arm[@]}" "${test[@]}") ;;
    *)     echo "usage: deps.sh [build|arm|test]" >&2; exit 2 ;;
esac

mapfile -t want < <(printf '%s\n' "${want[@]}" | sort -u)
missing=()
for p in "${want[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
# apt's _apt user checks signatures in TMPDIR, which may be a folder it cannot write
"${sudo[@]}" env TMPDIR=/var/tmp apt-get update -qq
"${sudo[@]}" env TMPDIR=/var/tmp apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
