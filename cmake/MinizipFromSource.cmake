# minizip built from its C sources, for builds with no minizip package to link
# (the Windows cross build: Debian has no mingw minizip). The sources come
# from Debian's zlib source package, fetched into the build tree by
# scripts/fetch-minizip when the build first needs them; zlib itself is the
# platform's (libz-mingw-w64-dev, linked statically).
#
# Defines vandrel_minizip: the reading and writing interfaces (unzip.h, zip.h)
# with zlib, as the system's minizip package provides them elsewhere.
find_package(ZLIB REQUIRED)

set(_minizip_dir ${CMAKE_BINARY_DIR}/_deps/minizip)
set(_minizip_sources ioapi.c unzip.c zip.c iowin32.c)
set(_minizip_headers ioapi.h unzip.h zip.h iowin32.h crypt.h)
set(_minizip_files ${_minizip_sources} ${_minizip_headers})
list(TRANSFORM _minizip_files PREPEND ${_minizip_dir}/)
list(TRANSFORM _minizip_sources PREPEND ${_minizip_dir}/)

add_custom_command(
  OUTPUT ${_minizip_files}
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/fetch-minizip ${_minizip_dir}
  COMMENT "Fetching minizip's sources from Debian's zlib source package"
  VERBATIM)

add_library(vandrel_minizip STATIC ${_minizip_sources})
# Third-party code: compiled as it is, without our warnings.
target_compile_options(vandrel_minizip PRIVATE -w)
target_include_directories(vandrel_minizip SYSTEM PUBLIC ${_minizip_dir})
target_link_libraries(vandrel_minizip PUBLIC ZLIB::ZLIB)
