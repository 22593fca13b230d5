# Cross build for 32-bit Windows with Debian's mingw-w64 (g++-mingw-w64-i686).
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/i686-w64-mingw32.cmake
#
# The "posix" variant of the compiler is used because its C++ library has
# std::thread and std::mutex (the sound layer streams from a thread). Every
# program is linked statically: one .exe that needs only the system's own
# DLLs, with no libgcc, libstdc++ or winpthread DLL to ship beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(VANDREL_MINGW_TRIPLE i686-w64-mingw32)
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

# Cross-built programs run under Wine on this machine.
find_program(VANDREL_WINE_PROGRAM wine)
if(VANDREL_WINE_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VANDREL_WINE_PROGRAM})
endif()
