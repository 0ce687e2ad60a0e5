#!/bin/bash
# polyest.fit on arrays in memory against the program without outputs, on one generated scene:
# ROUNDS rounds, each the program then the module, best and median wall seconds of each and
# their ratio. Usage: bench/module_vs_program.sh <build> [side] [terms] [rounds]
set -euo pipefail
build=$(cd "$1" && pwd); side=${2:-2048}; terms=${3:-6}; rounds=${4:-7}
dir=$(mktemp -d); trap 'rm -rf "$dir"' EXIT
"$build/tools/mkscene" "$dir/offs" "$dir/ccp" "$dir/par" --nr "$side" --naz "$side" >/dev/null
program=() module=()
for ((r = 0; r < rounds; r++)); do
  start=$(date +%s.%N)
  "$build/polyest/polyest" "$dir/offs" "$dir/ccp" "$dir/par" - - - "$terms" >/dev/null
  program+=("$(echo "$(date +%s.%N) - $start" | bc)")
  module+=("$(PYTHONPATH="$build/python" /usr/bin/python3 - "$dir" "$terms" <<'PY'
import sys, time, polyest
d, terms = sys.argv[1], int(sys.argv[2])
par = polyest.read_par(d + "/par")
offs, cc = polyest.read_grids(d + "/offs", d + "/ccp", par)
start = time.perf_counter()
polyest.fit(offs, cc, par, npoly=terms)
print(f"{time.perf_counter() - start:.3f}")
PY
)")
done
printf '%s\n' "${program[@]}" | sort -n > "$dir/p"
printf '%s\n' "${module[@]}" | sort -n > "$dir/m"
mid=$(( (rounds + 1) / 2 ))
bp=$(head -1 "$dir/p"); bm=$(head -1 "$dir/m")
mp=$(sed -n "${mid}p" "$dir/p"); mm=$(sed -n "${mid}p" "$dir/m")
echo "grid ${side}x${side}, $terms terms, $rounds rounds"
echo "program (no outputs): best $bp s, median $mp s"
echo "polyest.fit:          best $bm s, median $mm s"
echo "ratio best $(echo "scale=3; $bm / $bp" | bc), median $(echo "scale=3; $mm / $mp" | bc)"
