# minizip built from its C sources, for builds with no minizip package to link
# (the Windows cross build: Debian has no mingw minizip; the browser build).
# The sources come from Debian's zlib source package, fetched into the build
# tree by scripts/fetch-minizip when the build first needs them. zlib itself
# is the platform's where it has one (libz-mingw-w64-dev, linked statically);
# the browser has none, so there it is built from the same source package.
#
# Defines vandrel_minizip: the reading and writing interfaces (unzip.h, zip.h)
# with zlib, as the system's minizip package provides them elsewhere.
set(_minizip_dir ${CMAKE_BINARY_DIR}/_deps/minizip)
set(_minizip_sources ioapi.c unzip.c zip.c)
set(_minizip_headers ioapi.h unzip.h zip.h crypt.h)
if(WIN32)
  list(APPEND _minizip_sources iowin32.c)
  list(APPEND _minizip_headers iowin32.h)
endif()
set(_minizip_files ${_minizip_sources} ${_minizip_headers})
list(TRANSFORM _minizip_files PREPEND ${_minizip_dir}/)
list(TRANSFORM _minizip_sources PREPEND ${_minizip_dir}/)

set(_fetch_options)
if(EMSCRIPTEN)
  set(_fetch_options --zlib)
  set(_zlib_sources adler32.c compress.c crc32.c deflate.c infback.c inffast.c inflate.c
                    inftrees.c trees.c uncompr.c zutil.c)
  list(TRANSFORM _zlib_sources PREPEND ${_minizip_dir}/zlib/)
  list(APPEND _minizip_files ${_zlib_sources})
endif()

add_custom_command(
  OUTPUT ${_minizip_files}
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/fetch-minizip ${_minizip_dir} ${_fetch_options}
  COMMENT "Fetching minizip's sources from Debian's zlib source package"
  VERBATIM)

if(EMSCRIPTEN)
  add_library(vandrel_zlib STATIC ${_zlib_sources})
  # Third-party code: compiled as it is, without our warnings.
  target_compile_options(vandrel_zlib PRIVATE -w)
  target_include_directories(vandrel_zlib SYSTEM PUBLIC ${_minizip_dir}/zlib)
  set(_zlib vandrel_zlib)
else()
  find_package(ZLIB REQUIRED)
  set(_zlib ZLIB::ZLIB)
endif()

add_library(vandrel_minizip STATIC ${_minizip_sources})
target_compile_options(vandrel_minizip PRIVATE -w)
target_include_directories(vandrel_minizip SYSTEM PUBLIC ${_minizip_dir})
target_link_libraries(vandrel_minizip PUBLIC ${_zlib})
