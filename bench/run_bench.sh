#!/usr/bin/env bash
# Whole-program benchmark: generated scenes (cached), polyest with each term count and both
# outputs, the floor (the cheapest passes of the same job, FLOOR_PEER, compiled with cc -O2 into
# the build folder) on a row of its own, the numpy peer on the same files when numpy is
# installed, and GMT's robust trend fit of the range offsets alone (one direction) when gmt is
# installed. One table.
# Usage: bench/run_bench.sh <bench build dir>
#   (GRIDS, TERMS, REPEAT, NUMPY_PEER, FLOOR_PEER from the environment)
set -euo pipefail
build=$1
grids=${GRIDS:-1024 2048 4096}
terms=${TERMS:-6 3}
repeat=${REPEAT:-1}
peer=${NUMPY_PEER:-../shared/peers/numpy_polyest.py}
floor_src=${FLOOR_PEER:-../shared/peers/floor.c}
cache=bench/cache
meter=$build/bench/measure_run
mkdir -p "$cache"
have_peer=0
if [ -f "$peer" ] && /usr/bin/python3 -c 'import numpy' 2>/dev/null; then have_peer=1; fi
have_gmt=0
if command -v gmt >/dev/null 2>&1; then have_gmt=1; fi
# The floor is compiled from where it lies (it is not part of this tree), again when it changes.
have_floor=0
floor=$build/bench/floor
if [ -f "$floor_src" ] && command -v cc >/dev/null 2>&1; then
  if [ ! -x "$floor" ] || [ "$floor_src" -nt "$floor" ]; then
    cc -O2 -o "$floor" "$floor_src" -lm
  fi
  have_floor=1
fi

# Median of the wall times of REPEAT runs; prints "wall cpu kib" of the median run. Each run
# writes new output files, as a run over a new pair does (replacing last run's files costs
# their truncation on top, about 0.2-0.3 s at 2048 x 2048 on ext4).
measure() {
  local out=$1; shift
  local lines=()
  for _ in $(seq "$repeat"); do
    cp "$scene.par" "$work/par"
    rm -f "$work/coffs" "$work/list"
    lines+=("$("$meter" "$out" "$work/err" "$@")")
  done
  printf '%s\n' "${lines[@]}" | sort -n | sed -n "$(( (repeat + 1) / 2 ))p"
}

# Each polyest row (both outputs written) is followed by a row of polyest without outputs
# ("no-out", as the floor runs) and the floor's row, with the same columns (iter: its own
# culling iterations); x_floor is the row's wall time over the floor's.
printf '%-11s %-7s %9s %5s %5s %8s %8s %8s %6s' grid run cells terms iter wall_s cpu_s peak_MB \
  B/cell
[ $have_floor = 1 ] && printf ' %7s' x_floor
[ $have_peer = 1 ] && printf ' %8s %8s %7s %9s' peer_s peer_MB ratio coffs
[ $have_gmt = 1 ] && printf ' %10s %7s' gmt_rng_s ratio
printf '\n'
for g in $grids; do
  scene=$cache/scene_$g
  stamp="$(sha1sum "$build/tools/mkscene" | cut -c1-12) $g"
  if [ ! -f "$scene.stamp" ] || [ "$(cat "$scene.stamp")" != "$stamp" ]; then
    "$build/tools/mkscene" "$scene.offs" "$scene.ccp" "$scene.par" --nr "$g" --naz "$g" \
      --seed 1 --outliers 0.10 --failed 0.02 >/dev/null
    echo "$stamp" >"$scene.stamp"
  fi
  work=$(mktemp -d)
  for t in $terms; do
    if [ $have_floor = 1 ]; then
      # First, as measure() clears the output files: huge pages for its arrays and mapped
      # inputs (its fastest settings); it writes no outputs.
      read -r fwall fcpu fkib fstatus <<<"$(measure "$work/fout" env LB_HUGE=1 LB_MMAP=1 \
        "$floor" loop "$scene.offs" "$scene.ccp" "$scene.par" "$t")"
    fi
    read -r wall cpu kib status <<<"$(measure "$work/out" "$build/polyest/polyest" \
      "$scene.offs" "$scene.ccp" "$work/par" "$work/coffs" "$work/list" - "$t")"
    samples=$(sed -n 's/.*accepted out of \([0-9]*\) samples/\1/p' "$work/out" | tail -1)
    iter=$(sed -n 's/total number of culling iterations: //p' "$work/out")
    printf '%-11s %-7s %9s %5s %5s %8.2f %8.2f %8.0f %6.0f' "${g}x$g" polyest "$samples" "$t" \
      "$iter" "$wall" "$cpu" "$((kib / 1024))" "$(echo "$kib * 1024 / ($g * $g)" | bc -l)"
    [ $have_floor = 1 ] && printf ' %7.2f' "$(echo "$wall / $fwall" | bc -l)"
    if [ $have_peer = 1 ]; then
      mv "$work/coffs" "$work/coffs.polyest"
      # numpy as its users run it: without this machine's OpenBLAS overrides, which slow it.
      read -r pwall _ pkib _ <<<"$(measure "$work/pout" env -u OPENBLAS_CORETYPE \
        -u OPENBLAS_L2_SIZE /usr/bin/python3 "$peer" \
        "$scene.offs" "$scene.ccp" "$work/par" "$work/coffs" "$work/list" - "$t")"
      same=differs
      cmp -s "$work/coffs" "$work/coffs.polyest" && same=identical
      printf ' %8.2f %8.0f %7.3f %9s' "$pwall" "$((pkib / 1024))" \
        "$(echo "$wall / $pwall" | bc -l)" "$same"
    fi
    if [ $have_gmt = 1 ]; then
      # The samples as polyest selects them, x y offset sigma; coefficients only (-Fp).
      [ -f "$work/xyzw" ] || "$build/bench/scene_xyzw" "$scene.offs" "$scene.ccp" "$scene.par" \
        "$work/xyzw" >/dev/null
      read -r gwall _ _ _ <<<"$(measure "$work/gout" gmt trend2d "$work/xyzw" -bi4d \
        "-N$t+r" -W+s -Fp)"
      printf ' %10.2f %7.3f' "$gwall" "$(echo "$wall / $gwall" | bc -l)"
    fi
    [ "$status" = 0 ] || printf ' (exit %s)' "$status"
    printf '\n'
    read -r nwall ncpu nkib nstatus <<<"$(measure "$work/nout" "$build/polyest/polyest" \
      "$scene.offs" "$scene.ccp" "$work/par" - - - "$t")"
    printf '%-11s %-7s %9s %5s %5s %8.2f %8.2f %8.0f %6.0f' "${g}x$g" no-out "$samples" "$t" \
      "$iter" "$nwall" "$ncpu" "$((nkib / 1024))" "$(echo "$nkib * 1024 / ($g * $g)" | bc -l)"
    [ $have_floor = 1 ] && printf ' %7.2f' "$(echo "$nwall / $fwall" | bc -l)"
    [ "$nstatus" = 0 ] || printf ' (exit %s)' "$nstatus"
    printf '\n'
    if [ $have_floor = 1 ]; then
      printf '%-11s %-7s %9s %5s %5s %8.2f %8.2f %8.0f %6.0f' "${g}x$g" floor "$samples" "$t" \
        "$(sed -n 's/^iterations //p' "$work/fout")" "$fwall" "$fcpu" "$((fkib / 1024))" \
        "$(echo "$fkib * 1024 / ($g * $g)" | bc -l)"
      [ "$fstatus" = 0 ] || printf ' (exit %s)' "$fstatus"
      printf '\n'
    fi
  done
  rm -rf "$work"
done
