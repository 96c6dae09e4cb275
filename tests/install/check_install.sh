#!/usr/bin/env bash
# Installs the built project into a scratch prefix, moves the prefix elsewhere,
# then builds and runs a separate application that finds the moved install
# with find_package and with pkg-config. Prints "install check passed" last.
set -euo pipefail
build_dir=$1
source_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
work=$(cd "$work" && pwd -P)
cmake --install "$build_dir" --prefix "$work/prefix" >/dev/null
# Nothing may point at the prefix the install was made for.
mv "$work/prefix" "$work/moved"
moved=$work/moved

cmake -S "$source_dir/consumer" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$moved" >/dev/null
cmake --build "$work/consumer" >/dev/null
cd "$work"
"$work/consumer/consumer"

# The pkg-config file finds the moved prefix from its own place.
pc=$(find "$moved" -name vesk-music.pc)
PKG_CONFIG_PATH=$(dirname "$pc")
export PKG_CONFIG_PATH
inside() {  # inside WHAT PATH: fails unless PATH resolves into the moved prefix
  local resolved
  resolved=$(realpath -m "$2")
  if [[ $resolved != "$moved"/* ]]; then
    echo "pkg-config $1 $2 is not inside the moved prefix $moved" >&2
    exit 1
  fi
}
libdir=$(pkg-config --variable=libdir vesk-music)
inside libdir "$libdir"
[[ -e $libdir/libvesk-music.so ]] || { echo "no libvesk-music.so in $libdir" >&2; exit 1; }
flags=$(pkg-config --cflags --libs vesk-music)
for flag in $flags; do
  case $flag in
    -I* | -L*) inside "${flag:0:2}" "${flag:2}" ;;
  esac
done
[[ " $flags " == *" -lvesk-music "* ]] || { echo "no -lvesk-music in: $flags" >&2; exit 1; }

# An application built with those flags alone runs on the moved libraries.
# shellcheck disable=SC2086  # the flags are separate words
c++ -std=c++17 -o "$work/pc-consumer" "$source_dir/consumer/main.cpp" $flags
LD_LIBRARY_PATH=$libdir "$work/pc-consumer"
library=$(LD_LIBRARY_PATH=$libdir ldd "$work/pc-consumer" | awk '/libvesk-music/ { print $3 }')
inside "linked library" "$library"

# The C++ API: a consumer built with find_package, and one with pkg-config's flags alone.
cmake -S "$source_dir/api_consumer" -B "$work/api-consumer" -G Ninja \
  -DCMAKE_PREFIX_PATH="$moved" >/dev/null
cmake --build "$work/api-consumer" >/dev/null
"$work/api-consumer/api-consumer" >/dev/null || { echo "the API consumer failed" >&2; exit 1; }
# shellcheck disable=SC2046  # the flags are separate words
c++ -std=c++17 -o "$work/api-pc-consumer" "$source_dir/api_consumer/main.cpp" \
  $(pkg-config --cflags --libs vesk-beat-tracker)
LD_LIBRARY_PATH=$libdir "$work/api-pc-consumer" >/dev/null ||
  { echo "the API consumer built with pkg-config failed" >&2; exit 1; }
[[ -e $moved/include/vesk-music/vesk/BeatTracker.h ]] || { echo "no vesk/BeatTracker.h" >&2; exit 1; }

# The tool's manual page (made by help2man when it was found) and bash completion.
if grep -q "^VESK_HELP2MAN:FILEPATH=/" "$build_dir/CMakeCache.txt"; then
  man=$moved/share/man/man1/vesk-beat.1
  grep -qF -- '\-\-min\-bpm' "$man" 2>/dev/null || { echo "no manual page with the options: $man" >&2; exit 1; }
fi
completion=$moved/share/bash-completion/completions/vesk-beat
bash -n "$completion" || { echo "no bash completion: $completion" >&2; exit 1; }

# vesk-batch finds the package of the moved prefix.
if [[ -e $moved/bin/vesk-batch ]]; then
  "$moved/bin/vesk-batch" --help | grep -q "^usage: vesk-batch" ||
    { echo "vesk-batch --help failed" >&2; exit 1; }
fi

# The installed Vamp plug-in runs (it carries the node: nothing of the prefix needed).
vamp_dir=$libdir/vamp
if [[ -e $vamp_dir/vesk-music.so && -x /usr/bin/vamp-simple-host ]]; then
  beats=$(VAMP_PATH=$vamp_dir vamp-simple-host vesk-music:beattracker:beats \
    "$source_dir/../../demo/demo.flac" 2>/dev/null | wc -l)
  [[ $beats -gt 30 ]] || { echo "the installed Vamp plug-in gave $beats beats" >&2; exit 1; }
fi
echo "install check passed"
