# Which Windows programs this machine's Wine can run, for tests that run
# cross-built programs under it. What ships stays 32-bit (scripts/build-windows);
# test builds take the first of these that starts a program here:
#   i686   programs under Wine's 32-bit loader, in a win32 prefix;
#   x86_64 programs under Wine's 64-bit loader, in a win64 prefix (a kernel
#          without 32-bit support refuses the 32-bit loader outright).
# A candidate needs its mingw-w64 compiler and its loader; the probe builds a
# small program with that compiler and runs it in the prefix the tests will
# use (creating it), so the choice is what really runs. A choice is cached
# per build tree; with none the probe runs again at the next configure.
#
# vandrel_wine_target(<prefix-folder>) sets, in the caller's scope:
#   VANDREL_WINE_ARCH       i686 or x86_64; empty when no candidate runs
#   VANDREL_WINE_TOOLCHAIN  the toolchain file of that architecture
#   VANDREL_WINE_LOADER     the Wine loader that runs its programs
#   VANDREL_WINE_PREFIX     <prefix-folder>-<win32|win64>: the Wine prefix
#   VANDREL_WINE_WINEARCH   win32 or win64 (WINEARCH of that prefix)
#   VANDREL_WINE_STATUS     one line saying what was chosen, or why nothing
set(_vandrel_wine_candidates "i686:wine:win32" "x86_64:wine64:win64")

function(_vandrel_wine_try arch loader_name winearch prefix_folder out_status)
  set(_triple ${arch}-w64-mingw32)
  find_program(VANDREL_WINE_CC_${arch} NAMES ${_triple}-gcc-posix)
  # Debian keeps both loaders out of PATH (its `wine` script picks one).
  find_program(VANDREL_WINE_LOADER_${arch} NAMES ${loader_name} PATHS /usr/lib/wine NO_DEFAULT_PATH)
  find_program(VANDREL_WINE_LOADER_${arch} NAMES ${loader_name})
  if(NOT VANDREL_WINE_CC_${arch})
    set(${out_status} "no ${_triple}-gcc-posix" PARENT_SCOPE)
    return()
  endif()
  if(NOT VANDREL_WINE_LOADER_${arch})
    set(${out_status} "no Wine loader ${loader_name}" PARENT_SCOPE)
    return()
  endif()
  set(_dir ${CMAKE_BINARY_DIR}/wine-probe)
  file(MAKE_DIRECTORY ${_dir})
  file(WRITE ${_dir}/probe.c "int main(void) { return 42; }\n")
  execute_process(COMMAND ${VANDREL_WINE_CC_${arch}} -static ${_dir}/probe.c -o ${_dir}/probe-${arch}.exe
    RESULT_VARIABLE _built ERROR_VARIABLE _error)
  if(NOT _built EQUAL 0)
    set(${out_status} "${_triple}-gcc-posix cannot build a program: ${_error}" PARENT_SCOPE)
    return()
  endif()
  set(_env WINEPREFIX=${prefix_folder}-${winearch} WINEARCH=${winearch} WINEDEBUG=-all
      "WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe=")
  # A fresh prefix takes a while to make; later runs are quick.
  execute_process(COMMAND env ${_env} ${VANDREL_WINE_LOADER_${arch}} ${_dir}/probe-${arch}.exe
    RESULT_VARIABLE _ran OUTPUT_QUIET ERROR_VARIABLE _error TIMEOUT 300)
  execute_process(COMMAND env ${_env} wineserver -w OUTPUT_QUIET ERROR_QUIET TIMEOUT 60)
  if(NOT _ran EQUAL 42)
    string(STRIP "${_error}" _error)
    string(REGEX REPLACE "\n.*" "" _error "${_error}")
    # A loader the kernel refuses to execute is retried as a shell script.
    if(_error MATCHES "Syntax error")
      set(_error "the kernel refuses to execute the loader")
    endif()
    set(${out_status} "${loader_name} cannot run ${arch} programs (${_ran}: ${_error})" PARENT_SCOPE)
    return()
  endif()
  set(${out_status} "" PARENT_SCOPE)
endfunction()

function(vandrel_wine_target prefix_folder)
  if(NOT VANDREL_WINE_ARCH)
    set(_arch "")
    set(_why "")
    foreach(_candidate IN LISTS _vandrel_wine_candidates)
      string(REPLACE ":" ";" _fields ${_candidate})
      list(GET _fields 0 _try_arch)
      list(GET _fields 1 _loader)
      list(GET _fields 2 _winearch)
      _vandrel_wine_try(${_try_arch} ${_loader} ${_winearch} ${prefix_folder} _status)
      if(_status STREQUAL "")
        set(_arch ${_try_arch})
        break()
      endif()
      list(APPEND _why "${_try_arch}: ${_status}")
    endforeach()
    if(_arch)
      set(_message "${_arch} programs under ${VANDREL_WINE_LOADER_${_arch}} in a ${_winearch} prefix")
      if(_why)
        string(APPEND _message " (${_why})")
      endif()
    else()
      set(_winearch "")
      list(JOIN _why "; " _message)
      set(_message "Wine cannot run Windows programs here: ${_message}")
    endif()
    set(VANDREL_WINE_ARCH "${_arch}" CACHE INTERNAL "Windows test programs' architecture")
    set(VANDREL_WINE_WINEARCH "${_winearch}" CACHE INTERNAL "Their prefix's WINEARCH")
    set(VANDREL_WINE_STATUS "${_message}" CACHE INTERNAL "What the Wine probe found")
  endif()
  set(VANDREL_WINE_ARCH "${VANDREL_WINE_ARCH}" PARENT_SCOPE)
  set(VANDREL_WINE_WINEARCH "${VANDREL_WINE_WINEARCH}" PARENT_SCOPE)
  set(VANDREL_WINE_STATUS "${VANDREL_WINE_STATUS}" PARENT_SCOPE)
  if(VANDREL_WINE_ARCH)
    set(VANDREL_WINE_TOOLCHAIN
        ${PROJECT_SOURCE_DIR}/cmake/toolchains/${VANDREL_WINE_ARCH}-w64-mingw32.cmake PARENT_SCOPE)
    set(VANDREL_WINE_LOADER ${VANDREL_WINE_LOADER_${VANDREL_WINE_ARCH}} PARENT_SCOPE)
    set(VANDREL_WINE_PREFIX ${prefix_folder}-${VANDREL_WINE_WINEARCH} PARENT_SCOPE)
  else()
    set(VANDREL_WINE_TOOLCHAIN "" PARENT_SCOPE)
    set(VANDREL_WINE_LOADER "" PARENT_SCOPE)
    set(VANDREL_WINE_PREFIX "" PARENT_SCOPE)
  endif()
  message(STATUS "Windows tests: ${VANDREL_WINE_STATUS}")
endfunction()
