# What the mingw-w64 toolchain files share; they set CMAKE_SYSTEM_PROCESSOR
# and VANDREL_MINGW_TRIPLE, then include this.
#
# The "posix" variant of the compiler is used because its C++ library has
# std::thread and std::mutex (the sound layer streams from a thread). Every
# program is linked statically: one .exe that needs only the system's own
# DLLs, with no libgcc, libstdc++ or winpthread DLL to ship beside it.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${VANDREL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VANDREL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VANDREL_MINGW_TRIPLE}-windres)

# Libraries and headers come from the mingw sysroot only (zlib from
# libz-mingw-w64-dev lives there); programs run at build time are the
# build machine's own.
set(CMAKE_FIND_ROOT_PATH /usr/${VANDREL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(ZLIB_USE_STATIC_LIBS ON)
