# Build for the browser (WebAssembly) with Debian's Emscripten (package
# emscripten, installed by `scripts/bootstrap --web`).
#   cmake -S . -B build-web -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/emscripten.cmake
#
# This wraps Emscripten's own toolchain file and fixes what Debian's packaging
# leaves to the caller: its JavaScript optimiser (run by the link step) needs
# the parser from Debian's module folder, which a Node.js that is not
# Debian's own does not search.
find_program(VANDREL_EMCC emcc)
if(NOT VANDREL_EMCC)
  message(FATAL_ERROR "No emcc: install Emscripten with scripts/bootstrap --web")
endif()
# /usr/bin/emcc is a wrapper script: its tree is the package's, found from
# the configuration file it ships.
set(VANDREL_EMSCRIPTEN_ROOT /usr/share/emscripten CACHE PATH "Emscripten's own folder")
if(NOT EXISTS ${VANDREL_EMSCRIPTEN_ROOT}/cmake/Modules/Platform/Emscripten.cmake)
  message(FATAL_ERROR "No Emscripten tree at ${VANDREL_EMSCRIPTEN_ROOT}")
endif()
set(EMSCRIPTEN_ROOT_PATH ${VANDREL_EMSCRIPTEN_ROOT})
include(${VANDREL_EMSCRIPTEN_ROOT}/cmake/Modules/Platform/Emscripten.cmake)

# Every compiler and linker call gets Debian's module folder (acorn) on
# Node's search path.
set(_node_env ${CMAKE_COMMAND} -E env NODE_PATH=/usr/share/nodejs)
set(CMAKE_C_COMPILER_LAUNCHER ${_node_env})
set(CMAKE_CXX_COMPILER_LAUNCHER ${_node_env})
set(CMAKE_C_LINKER_LAUNCHER ${_node_env})
set(CMAKE_CXX_LINKER_LAUNCHER ${_node_env})
