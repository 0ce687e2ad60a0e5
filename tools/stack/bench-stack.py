#!/usr/bin/python3
"""make bench-stack: the stack workflow's own cost per pair, locally, at 100 and 1000 small
pairs (32 x 32 cells from mkscene, one pair in a hundred too small to fit): the wall time of a
polyest-stack run less the pairs' own time (their summary seconds) divided by the jobs, per
pair, for a first run and an unchanged rerun; then the summary picture's size.

  bench-stack.py BUILD [JOBS]
"""
import json
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time

build = os.path.abspath(sys.argv[1])
jobs = int(sys.argv[2]) if len(sys.argv) > 2 else 2
driver = os.path.join(os.path.dirname(os.path.realpath(__file__)), "polyest-stack")
env = dict(os.environ, POLYEST=f"{build}/polyest/polyest", OFFMAP=f"{build}/tools/offmap")
root = tempfile.mkdtemp(prefix="polyest_bench_stack_")


def timed_run(stack):
    start = time.monotonic()
    p = subprocess.run([driver, stack, "--jobs", str(jobs)], env=env, capture_output=True,
                       text=True, stdin=subprocess.DEVNULL)
    wall = time.monotonic() - start
    if p.returncode not in (0, 1):
        sys.exit(f"polyest-stack failed:\n{p.stderr}")
    return wall


try:
    print(f"workflow cost per pair (wall - pairs' own time / {jobs} jobs), 32 x 32 cells:")
    for count in (100, 1000):
        stack = os.path.join(root, str(count))
        for i in range(count):
            folder = os.path.join(stack, f"pair{i:04}")
            os.makedirs(folder)
            size = "2" if i % 100 == 37 else "32"
            subprocess.run([f"{build}/tools/mkscene", "offs", "ccp", "KOLT_par", "--seed",
                            str(i + 1), "--nr", size, "--naz", size], cwd=folder, check=True,
                           capture_output=True)
        first = timed_run(stack)
        with open(os.path.join(stack, "stack_summary.json")) as f:
            own = sum(r["seconds"] or 0 for r in json.load(f))
        again = timed_run(stack)
        print(f"  {count:5} pairs: first run {1000 * (first - own / jobs) / count:6.2f} ms "
              f"(wall {first:.2f} s, pairs {own:.2f} s), rerun {1000 * again / count:6.2f} ms "
              f"(wall {again:.2f} s)")
    with open(os.path.join(stack, "stack_summary.png"), "rb") as f:
        width, height = struct.unpack(">II", f.read(24)[16:24])
    print(f"summary picture of {count} pairs: {width} x {height} pixels")
finally:
    shutil.rmtree(root)
