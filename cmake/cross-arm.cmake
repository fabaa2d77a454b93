# What both ARM toolchain files share: a Linux target on ARM, the cross compiler's
# programs by their triplet, and libraries, headers and CMake packages taken from the
# target's root alone, programs from the build machine. The including file sets
# HX_CROSS_TRIPLET and HX_CROSS_ROOT first.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CMAKE_C_COMPILER ${HX_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${HX_CROSS_TRIPLET}-g++)
set(CMAKE_FIND_ROOT_PATH ${HX_CROSS_ROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
