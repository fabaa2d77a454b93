# Cross build of the handheld program for the console: an arm-*-linux cross compiler
# and the console's own SDL port installed under a prefix of its own.
#
#   cmake -S . -B build-gp2x -DCMAKE_TOOLCHAIN_FILE=cmake/gp2x-toolchain.cmake \
#         -DGP2X_TRIPLET=arm-open2x-linux -DGP2X_PREFIX=/opt/open2x/gcc-4.1.1-glibc-2.3.6 \
#         -DHORATIK_ASSETS_FROM=$PWD/build
#   cmake --build build-gp2x --target horatik-gp2x-zip
#
# The prefix holds include/SDL/*.h and lib/libSDL*.a of the console's port (with its
# screen-light call), SDL_image, SDL_mixer and SDL_ttf, and bin/sdl-config; pkg-config
# files under lib/pkgconfig are used when present, sdl-config otherwise. The pictures
# and sound come from a native build (HORATIK_ASSETS_FROM), since the generator cannot
# run on the build machine when it is built for the console.
set(GP2X_TRIPLET "arm-linux" CACHE STRING "Prefix of the cross compiler's programs")
set(GP2X_PREFIX "/opt/gp2x" CACHE PATH "Where the console's SDL and its libraries are installed")
# configure checks read this file again in projects of their own, without our cache
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES GP2X_TRIPLET GP2X_PREFIX)

set(HX_CROSS_TRIPLET ${GP2X_TRIPLET})
set(HX_CROSS_ROOT ${GP2X_PREFIX})
include(${CMAKE_CURRENT_LIST_DIR}/cross-arm.cmake)

# pkg-config looks only into the prefix; without files there it finds nothing and
# the build falls back to the prefix's sdl-config
set(ENV{PKG_CONFIG_LIBDIR} ${GP2X_PREFIX}/lib/pkgconfig)
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")
# the console's libraries are static; their codecs come along
set(HX_SDL_EXTRA_LIBS png z vorbisidec freetype pthread m CACHE STRING "Libraries the static SDL libraries need")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# the handheld program alone: the console has no desktop, and nothing runs tests there
set(HORATIK_DESKTOP OFF CACHE BOOL "" FORCE)
set(HORATIK_TESTS OFF CACHE BOOL "" FORCE)
set(HORATIK_BENCH OFF CACHE BOOL "" FORCE)
