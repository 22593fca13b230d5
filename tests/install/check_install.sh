#!/usr/bin/env bash
# Installs the project into a scratch prefix and builds a C consumer against it.
# Arguments: BUILD_DIR CONSUMER_SOURCE_DIR WORK_DIR
set -euo pipefail
build=$1 consumer=$2 work=$3
rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null

test -f "$prefix/include/quorbenhal.h" || { echo "header not installed"; exit 1; }
ls "$prefix"/lib*/libquorbenhal.a "$prefix"/lib*/libquorbenhal.so >/dev/null || { echo "libraries not installed"; exit 1; }

# Consumer 1: the CMake package, shared and static.
cmake -S "$consumer" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
libdir=$(dirname "$(ls "$prefix"/lib*/libquorbenhal.so | head -n1)")
[ "$(LD_LIBRARY_PATH=$libdir "$work/cmake-build/consumer_shared" /nonexistent.rar)" = 0 ]
[ "$("$work/cmake-build/consumer_static" /nonexistent.rar)" = 0 ]

# Consumer 2: pkg-config with a plain C compiler.
export PKG_CONFIG_PATH=$libdir/pkgconfig
cc "$consumer/consumer.c" $(pkg-config --cflags --libs quorbenhal) -o "$work/consumer_pc"
[ "$(LD_LIBRARY_PATH=$libdir "$work/consumer_pc" /nonexistent.rar)" = 0 ]
echo "installed library, header, CMake package and pkg-config file all work"
