#!/usr/bin/env bash
# Demo: generates the default synthetic scene into ./demo/, runs polyest on it with both
# outputs and a 6-term model, shows the true and the fitted polynomials side by side, and
# draws residual maps of the input and the culled offsets (demo/offs.png, demo/coffs.png).
# Usage: bash tools/demo.sh <build-dir>
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: bash tools/demo.sh <build-dir>" >&2
  exit 2
fi
build=$1
mkscene=$build/tools/mkscene
polyest=$build/polyest/polyest
offmap=$build/tools/offmap
for bin in "$mkscene" "$polyest" "$offmap"; do
  if [ ! -x "$bin" ]; then
    echo "demo: $bin not found; build first (make build)" >&2
    exit 1
  fi
done

mkdir -p demo
rm -f demo/offs demo/ccp demo/scene.KOLT_par demo/coffs demo/coffsets demo/offs.png demo/coffs.png
scene=(demo/offs demo/ccp demo/scene.KOLT_par)
run=("${scene[@]}" demo/coffs demo/coffsets - 6)
echo "=== mkscene ${scene[*]}"
"$mkscene" "${scene[@]}" | tee demo/truth.txt
echo
echo "=== polyest ${run[*]}"
"$polyest" "${run[@]}" | tee demo/polyest.log
echo

# True coefficients from mkscene's report, fitted ones from the rewritten KOLT_par file;
# then the surviving samples that deviate from the true model by half a sample or more
# (only planted gross outliers do: the noise is a few hundredths of a sample).
awk '
  function model(c, x, y) {
    return c[0] + c[1] * x + c[2] * y + c[3] * x * y + c[4] * x * x + c[5] * y * y
  }
  function off(d) { return d >= 0.5 || d <= -0.5 }
  FNR == 1 { file++ }
  file == 1 && $2 == "range_offset_polynomial:" { for (t = 0; t < 6; t++) tr[t] = $(t + 3) }
  file == 1 && $2 == "azimuth_offset_polynomial:" { for (t = 0; t < 6; t++) ta[t] = $(t + 3) }
  file == 2 && $1 == "range_offset_polynomial:" { for (t = 0; t < 6; t++) fr[t] = $(t + 2) }
  file == 2 && $1 == "azimuth_offset_polynomial:" { for (t = 0; t < 6; t++) fa[t] = $(t + 2) }
  file == 3 {
    n++
    if (off($3 - model(tr, $1, $2)) || off($4 - model(ta, $1, $2))) left++
  }
  END {
    split("1 x y x*y x*x y*y", term, " ")
    printf "%-5s %13s %13s %10s   %13s %13s %10s\n", "term", "range true", "range fitted",
           "fit-true", "azimuth true", "az. fitted", "fit-true"
    for (t = 0; t < 6; t++)
      printf "%-5s %13.5e %13.5e %10.2e   %13.5e %13.5e %10.2e\n", term[t + 1],
             tr[t], fr[t], fr[t] - tr[t], ta[t], fa[t], fa[t] - ta[t]
    printf "\nsurviving samples (demo/coffsets): %d", n
    printf "; off the true model by 0.5 samples or more: %d\n", left
  }
' demo/truth.txt demo/scene.KOLT_par demo/coffsets

# Residual maps against the fitted model: all input offsets, then the ones that survived.
echo
echo "=== offmap: residual maps"
"$offmap" demo/offs demo/scene.KOLT_par demo/offs.png
"$offmap" demo/coffs demo/scene.KOLT_par demo/coffs.png
