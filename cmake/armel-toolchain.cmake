# Cross build for Debian's armel (32-bit ARM, ARMv5TE, soft float) with Debian's cross
# compiler (crossbuild-essential-armel), against a sysroot of Debian's armel packages,
# with qemu-user running the programs and the tests. scripts/arm.sh makes the sysroot
# and drives all of it:
#
#   cmake -S . -B build-arm -DCMAKE_TOOLCHAIN_FILE=cmake/armel-toolchain.cmake \
#         -DARMEL_SYSROOT=$PWD/build-arm/sysroot -DHORATIK_ASSETS_FROM=$PWD/build
#
# This proves the code on 32-bit ARM; the console itself needs its own toolchain and
# SDL port (gp2x-toolchain.cmake).
if(NOT ARMEL_SYSROOT)
  set(ARMEL_SYSROOT "$ENV{ARMEL_SYSROOT}")
endif()
if(NOT IS_DIRECTORY "${ARMEL_SYSROOT}/usr/include")
  message(FATAL_ERROR "ARMEL_SYSROOT (\"${ARMEL_SYSROOT}\") is no armel sysroot: scripts/arm.sh makes one")
endif()
set(ARMEL_SYSROOT "${ARMEL_SYSROOT}" CACHE PATH "Root of the armel libraries and headers")
# configure checks read this file again in projects of their own, without our cache
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ARMEL_SYSROOT)

set(HX_CROSS_TRIPLET arm-linux-gnueabi)
set(HX_CROSS_ROOT ${ARMEL_SYSROOT})
include(${CMAKE_CURRENT_LIST_DIR}/cross-arm.cmake)
set(CMAKE_SYSROOT ${ARMEL_SYSROOT})
set(CMAKE_LIBRARY_ARCHITECTURE arm-linux-gnueabi)

set(ENV{PKG_CONFIG_LIBDIR}
    "${ARMEL_SYSROOT}/usr/lib/arm-linux-gnueabi/pkgconfig:${ARMEL_SYSROOT}/usr/lib/pkgconfig:${ARMEL_SYSROOT}/usr/share/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${ARMEL_SYSROOT})

# No binfmt_misc needed: CTest and the tests that start a program put this in front.
find_program(ARMEL_QEMU qemu-arm)
if(NOT ARMEL_QEMU)
  message(FATAL_ERROR "qemu-arm not found (Debian package qemu-user)")
endif()
set(CMAKE_CROSSCOMPILING_EMULATOR ${ARMEL_QEMU} -L ${ARMEL_SYSROOT})
