#!/usr/bin/env bash
# Installs the built project into a scratch prefix, then builds and runs a
# separate application that finds it with find_package and with pkg-config.
set -euo pipefail
build_dir=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
cmake -S "$source_dir/consumer" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/consumer" >/dev/null
cd "$work"
LD_LIBRARY_PATH="$work/prefix/lib:$work/prefix/lib/x86_64-linux-gnu" "$work/consumer/consumer"
# The pkg-config file gives the same library.
libdir=$(ls -d "$work"/prefix/lib*/pkgconfig | head -n1)
PKG_CONFIG_PATH="$libdir" pkg-config --cflags --libs vesk-music | grep -q -- '-lvesk-music'
