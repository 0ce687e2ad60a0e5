#!/bin/sh
# The example of doc/library.md, its two code blocks taken from the page as they stand, built
# with find_package(polyest) against a prefix made by cmake --install, run on a generated
# scene: its polynomials must be the program's final coefficients.
# Usage: library_example.sh <build> <doc/library.md> <mkscene> <polyest> [compiler and linker flags]
set -eu
build=$1 page=$2 mkscene=$3 polyest=$4 flags=${5:-}
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cmake --install "$build" --prefix "$dir/prefix" >/dev/null
mkdir "$dir/src"
awk -v out="$dir/src" '
  /^```cmake$/ { file = out "/CMakeLists.txt"; next }
  /^```cpp$/   { file = out "/fit_scene.cpp"; next }
  /^```/       { file = ""; next }
  file != ""   { print > file }' "$page"
# The page holds exactly these two blocks of those languages (a third would be appended).
[ "$(grep -c '^```cmake$' "$page") $(grep -c '^```cpp$' "$page")" = "1 1" ]
cmake -S "$dir/src" -B "$dir/bld" -DCMAKE_PREFIX_PATH="$dir/prefix" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="$flags" >"$dir/log" 2>&1 &&
  cmake --build "$dir/bld" >>"$dir/log" 2>&1 || { cat "$dir/log"; exit 1; }
"$mkscene" "$dir/offs" "$dir/ccp" "$dir/par" --nr 48 --naz 64 --patches 3 >/dev/null
"$dir/bld/fit_scene" "$dir/offs" "$dir/ccp" "$dir/par" >"$dir/example"
"$polyest" "$dir/offs" "$dir/ccp" "$dir/par" - - - 4 >"$dir/program"
# The numbers after the label of each line, blanks normalised.
numbers() { sed -n "s/^$1: *//p" | tr -s ' '; }
for direction in range azimuth; do
  mine=$(numbers "$direction" <"$dir/example")
  theirs=$(numbers "final $direction offset poly. coeff." <"$dir/program")
  echo "$direction: example [$mine] program [$theirs]"
  [ -n "$mine" ] && [ "$mine" = "$theirs" ]
done
# Both saw the same samples and accepted the same ones.
grep -q "^samples: $(sed -n 's/^solution: \([0-9]*\) offset estimates accepted.*/\1/p' "$dir/program" | head -1), accepted: $(sed -n 's/^final solution: \([0-9]*\) .*/\1/p' "$dir/program")," "$dir/example"
