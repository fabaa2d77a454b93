#!/usr/bin/env bash
# Installs the Debian packages Horatik needs, only those that are missing. Every
# name here exists on Debian 12 and on Debian 13.
#   deps.sh build   what building the two programs and the Debian package needs
#   deps.sh test    that plus what the tests, sanitizers, fuzzers and benchmarks need
set -euo pipefail

# dpkg-dev: dpkg-shlibdeps, which the package's dependencies come from
build=(cmake make g++ pkg-config
       libsdl1.2-dev libsdl-image1.2-dev libsdl-mixer1.2-dev libsdl-ttf2.0-dev libsdl-net1.2-dev
       libpng-dev libx11-dev fonts-liberation
       xvfb x11-utils xauth dpkg-dev)
test=(googletest libgtest-dev
      xdotool faketime imagemagick x11-apps
      valgrind clang libclang-rt-dev python3 unzip desktop-file-utils
      libsdl2-2.0-0 lintian appstream man-db)

want=("${build[@]}")
[ "${1:-build}" = test ] && want+=("${test[@]}")

missing=()
for p in "${want[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -ne 0 ] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
