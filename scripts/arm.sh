#!/usr/bin/env bash
# Cross build for 32-bit ARM (Debian armel: ARMv5TE, soft float): both programs and
# the unit tests, built in build-arm/ with Debian's cross compiler, then every unit
# test and the package test run under qemu-user. The armel libraries come in a
# sysroot made by mmdebstrap from the archive and release the host's apt uses, kept
# in build-arm/sysroot and made anew when its package list changes. The pictures and
# sound come from the native build in build/ (made here when it lacks them).
#   arm.sh [--prepare]    --prepare: only make the sysroot
set -euo pipefail
cd "$(dirname "$0")/.."
prepare=
[ "${1:-}" = --prepare ] && prepare=1
bash scripts/deps.sh arm
jobs=$(nproc)
top=$PWD
out=$top/build-arm
sysroot=$out/sysroot
triplet=arm-linux-gnueabi

start=$SECONDS
step() { printf '\n=== arm: %s (at %d s)\n' "$*" $((SECONDS - start)); }


# The sysroot follows the host: its release, and the libstdc++ of the cross
# compiler's major version (12 on Debian 12, 14 on Debian 13).
release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
[ -n "$release" ] || { echo "arm.sh: no VERSION_CODENAME in /etc/os-release" >&2; exit 1; }
gcc_major=$("$triplet-g++" -dumpversion)
gcc_major=${gcc_major%%.*}
packages=(base-files libc6-dev "libstdc++-$gcc_major-dev"
          libsdl1.2-dev libsdl-image1.2-dev libsdl-mixer1.2-dev libsdl-ttf2.0-dev
          libsdl-net1.2-dev libpng-dev libx11-dev libsystemd-dev libgtest-dev)
# what the sysroot is made of; a change makes it (and the build on it) anew
key="armel $release ${packages[*]} trim-1"

if [ "$(cat "$out/sysroot.key" 2>/dev/null)" != "$key" ]; then
    step "sysroot for armel $release"
    mirror=$(bash scripts/archive.sh "$release")
    # Debian unstable calls itself by the next release's name (forky) in
    # os-release, while its apt sources say sid
    if [ -z "$mirror" ] && mirror=$(bash scripts/archive.sh sid) && [ -n "$mirror" ]; then
        release=sid
    fi
    [ -n "$mirror" ] || { echo "arm.sh: no apt source for $release in /etc/apt" >&2; exit 1; }
    echo "from $mirror: ${packages[*]}"
    rm -rf "$out"
    mkdir -p "$out"
    new=$out/sysroot.new
    # TMPDIR: apt's _apt user must be able to write there
    inc=$(IFS=,; echo "${packages[*]}")
    # not quiet: a failure's log must name what the archive answered
    # unstable's Release is valid for a week only; an archive that is a dated copy is older
    if ! TMPDIR=/var/tmp mmdebstrap --arch=armel --variant=extract --include="$inc" \
            --aptopt='Acquire::Check-Valid-Until "false"' \
            "$release" "$new" "$mirror" 2>"$out/mmdebstrap.log"; then
        cat "$out/mmdebstrap.log" >&2
        # Debian unstable no longer builds armel at all
        if grep -q "did not find any indices for architecture 'armel'" "$out/mmdebstrap.log"; then
            echo "arm.sh: SKIPPED: $mirror has no armel packages for $release;" \
                 "no ARM build is possible with this release" >&2
            exit 77
        fi
        # An archive that lists the packages but does not hold their files (a
        # partial mirror) cannot give an armel sysroot here at all: that is told
        # apart, as exit code 77, from a failure of the machine or the network.
        if grep -q ' 404 ' "$out/mmdebstrap.log"; then
            echo "arm.sh: SKIPPED: $mirror lists $release's armel packages but does not hold" \
                 "all of them (404 above); no ARM build is possible with this archive" >&2
            exit 77
        fi
        echo "arm.sh: no armel sysroot from $mirror for $release" >&2
        exit 1
    fi
    # links the packages made absolute would point into the host
    find "$new" -type l -lname '/*' -print0 | while IFS= read -r -d '' link; do
        ln -sfn "$(realpath -ms --relative-to="$(dirname "$link")" "$new$(readlink "$link")")" "$link"
    done
    # not needed for building or running: documentation, translations, and what
    # SDL's OpenGL dependency brings along (its drivers, and LLVM and z3 for them
    # when nothing else links them)
    rm -rf "$new"/usr/share/doc "$new"/usr/share/man "$new"/usr/share/info "$new"/usr/share/locale \
           "$new/usr/lib/$triplet/dri"
    for lib in libLLVM libz3; do
        users=$(cd "$new/usr/lib/$triplet" && grep -l -- "$lib" ./*.so* 2>/dev/null | grep -v "^\./$lib" || true)
        [ -n "$users" ] || rm -f "$new/usr/lib/$triplet/$lib"*
    done
    mv "$new" "$sysroot"
    echo "$key" >"$out/sysroot.key"
    echo "sysroot: $(du -sh "$sysroot" | cut -f1)"
else
    step "sysroot for armel $release (kept)"
fi

[ -z "$prepare" ] || exit 0

step "native pictures and sound"
[ -f build/CMakeCache.txt ] || cmake -S . -B build >/dev/null
cmake --build build -j"$jobs" --target horatik-data

step "cross build"
export ARMEL_SYSROOT=$sysroot
cmake -S . -B "$out" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/armel-toolchain.cmake" \
    -DARMEL_SYSROOT="$sysroot" -DHORATIK_ASSETS_FROM="$top/build" \
    -DHORATIK_WERROR=ON -DHORATIK_BENCH=OFF >/dev/null
cmake --build "$out" -j"$jobs"

# ELF header: class 1 (32-bit), machine 40 (ARM)
for f in "$out/run/horatik-gp2x" "$out/run/horatik-desktop"; do
    [ "$(od -An -tu1 -j4 -N1 "$f" | tr -d ' ')" = 1 ] &&
    [ "$(od -An -tu2 -j18 -N2 "$f" | tr -d ' ')" = 40 ] ||
        { echo "arm.sh: $f is no 32-bit ARM program" >&2; exit 1; }
done

step "unit and package tests under qemu"
# no GoogleTest in the sysroot would leave nothing to run and say nothing
units=$(ctest --test-dir "$out" -N -L unit | sed -n 's/^Total Tests: //p')
[ "${units:-0}" -gt 0 ] || { echo "arm.sh: no unit tests in $out" >&2; exit 1; }
ctest --test-dir "$out" --output-on-failure -j"$jobs" -L 'unit|package'
step "done"
