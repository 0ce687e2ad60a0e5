#!/bin/bash
# polyest.fit on arrays in memory against the program without outputs, on one generated scene,
# for one build or several side by side (say before and after a change): ROUNDS rounds, each
# running every build's program, then its module; the best and median wall seconds of each and
# the module's time over the program's.
# Usage: bench/module_vs_program.sh <build>... (SIDE=2048 TERMS=6 ROUNDS=7 in the environment)
set -euo pipefail
side=${SIDE:-2048} terms=${TERMS:-6} rounds=${ROUNDS:-7}
dir=$(mktemp -d); trap 'rm -rf "$dir"' EXIT
builds=()
for b in "$@"; do builds+=("$(cd "$b" && pwd)"); done
"${builds[0]}/tools/mkscene" "$dir/offs" "$dir/ccp" "$dir/par" --nr "$side" --naz "$side" >/dev/null
for ((r = 0; r < rounds; r++)); do
  for ((b = 0; b < ${#builds[@]}; b++)); do
    start=$(date +%s.%N)
    "${builds[b]}/polyest/polyest" "$dir/offs" "$dir/ccp" "$dir/par" - - - "$terms" >/dev/null
    echo "$(date +%s.%N) - $start" | bc >>"$dir/program$b"
    PYTHONPATH="${builds[b]}/python" /usr/bin/python3 - "$dir" "$terms" >>"$dir/module$b" <<'PY'
import sys, time, polyest
d, terms = sys.argv[1], int(sys.argv[2])
par = polyest.read_par(d + "/par")
offs, cc = polyest.read_grids(d + "/offs", d + "/ccp", par)
start = time.perf_counter()
polyest.fit(offs, cc, par, npoly=terms)
print(f"{time.perf_counter() - start:.3f}")
PY
  done
done
echo "grid ${side}x${side}, $terms terms, $rounds rounds, wall seconds (best / median)"
mid=$(( (rounds + 1) / 2 ))
for ((b = 0; b < ${#builds[@]}; b++)); do
  p=($(sort -n "$dir/program$b")) m=($(sort -n "$dir/module$b"))
  printf '%s\n  program %.3f / %.3f   polyest.fit %.3f / %.3f   ratio %.3f / %.3f\n' \
    "${builds[b]}" "${p[0]}" "${p[mid - 1]}" "${m[0]}" "${m[mid - 1]}" \
    "$(echo "${m[0]} / ${p[0]}" | bc -l)" "$(echo "${m[mid - 1]} / ${p[mid - 1]}" | bc -l)"
done
