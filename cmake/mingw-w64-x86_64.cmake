# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (posix threads).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(MingwTriplet x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${MingwTriplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MingwTriplet}-g++-posix)
set(CMAKE_RC_COMPILER ${MingwTriplet}-windres)
set(CMAKE_AR ${MingwTriplet}-gcc-ar-posix)
set(CMAKE_RANLIB ${MingwTriplet}-gcc-ranlib-posix)

# Libraries and headers come from the MinGW sysroot and from the prefixes the
# build script lists in CMAKE_PREFIX_PATH; programs still run from the host.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${MingwTriplet})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
