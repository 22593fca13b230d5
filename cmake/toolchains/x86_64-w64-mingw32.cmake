# Cross build for 64-bit Windows with Debian's mingw-w64
# (g++-mingw-w64-x86-64-posix): the Windows tests on a machine whose Wine
# runs only 64-bit programs (see cmake/WineTarget.cmake).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VANDREL_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
