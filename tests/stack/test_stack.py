#!/usr/bin/python3
"""polyest-stack on five generated pairs and a broken one (too few samples), two at a time:
every pair's files are those of polyest and offmap run on it alone, the broken pair is listed
and keeps its files, the summary holds the reports' numbers, a second run does nothing, and a
pair whose KOLT_par is put back is redone alone. With --array the pairs are run by the Slurm
job-array script instead (SLURM_CONF set), and polyest-stack then finds nothing to do.

  test_stack.py BUILD POLYEST_STACK [--array | --slurm [SBATCH OPTIONS]]
"""
import csv, json, os, re, shutil, subprocess, sys, tempfile

build, driver, extra = sys.argv[1], sys.argv[2], sys.argv[3:]
array, slurm = extra == ["--array"], [] if extra == ["--array"] else extra
tools = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "stack")
root = tempfile.mkdtemp(prefix="polyest_stack_")
stack, alone = os.path.join(root, "stack"), os.path.join(root, "alone")
names, reports = [f"p{i}" for i in range(1, 6)] + ["short"], {}


def run(args, cwd=None, code=0):
    p = subprocess.run(args, cwd=cwd, capture_output=True, text=True, stdin=subprocess.DEVNULL,
                       timeout=300)
    assert p.returncode == code, f"{args}: exit {p.returncode}\n{p.stdout}\n{p.stderr}"
    return p


def slurp(path):
    with open(path, "rb") as f:
        return f.read()


for i, name in enumerate(names):
    os.makedirs(os.path.join(stack, name))
    size = ["2", "2"] if name == "short" else [str(50 + 7 * i), "80"]
    run([f"{build}/tools/mkscene", "offs", "ccp", "KOLT_par", "--seed", str(i + 1), "--nr", size[0],
         "--naz", size[1], "--outliers", str(0.05 * i), "--range-poly", f"{2 * i}.5,1e-4,-2e-4,0,0,0"],
        os.path.join(stack, name))
    shutil.copytree(os.path.join(stack, name), os.path.join(alone, name))
    p = run([f"{build}/polyest/polyest", "offs", "ccp", "KOLT_par", "coffs", "coffsets", "-", "6"],
            os.path.join(alone, name), 255 if name == "short" else 0)
    reports[name] = p.stdout + p.stderr
    for grid in ["offs", "coffs"] * (name != "short"):
        run([f"{build}/tools/offmap", grid, "KOLT_par", grid + ".png"], os.path.join(alone, name))

options = ["--npoly", "6", "--outputs", "--maps", "--jobs", "2"]
if array:
    with open(os.path.join(root, "list"), "w") as f:
        f.write("".join(os.path.join(stack, n) + "\n" for n in names))
    run(["sbatch", "--wait", f"--array=1-{len(names)}%2", f"--output={root}/%a.out",
         os.path.join(tools, "slurm-array.sh"), os.path.join(root, "list")] + options[:4])
    run(["/usr/bin/python3", os.path.join(tools, "summary.py"), stack])
else:
    first = run([driver, stack] + options + slurm, code=1)
    assert re.search(r"^  short: failed, exit status 255: ERROR: insufficient", first.stdout, re.M)

untimed = lambda text: re.sub(r"time \(s\): *\S+", "", text)
for name in names:
    got, want = os.path.join(stack, name), os.path.join(alone, name)
    assert untimed(slurp(f"{got}/polyest.log").decode()) == untimed(reports[name]), name
    for f in ["KOLT_par", "offs", "ccp"] + ["coffs", "coffsets", "offs.png", "coffs.png"] * (name != "short"):
        assert slurp(f"{got}/{f}") == slurp(f"{want}/{f}"), f"{name}/{f}"
assert not os.path.exists(f"{stack}/short/coffs")
assert len({slurp(f"{stack}/{n}/KOLT_par") for n in names}) == len(names)

# The summary: the final lines of every report, field by field, as CSV text and JSON numbers.
with open(os.path.join(stack, "stack_summary.csv")) as f:
    rows = {r["pair"]: r for r in csv.DictReader(f)}
with open(os.path.join(stack, "stack_summary.json")) as f:
    numbers = {r["pair"]: r for r in json.load(f)}
assert sorted(rows) == names and os.path.getsize(os.path.join(stack, "stack_summary.png")) > 10000
short = rows.pop("short")
assert (short["status"], short["exit_status"], short["npoly"]) == ("failed", "255", "")
assert short["message"] == reports["short"].strip().splitlines()[-1]
lines = {"final solution:": ["accepted", None, None, None, None, None, "samples"],
         "total number of culling iterations:": ["iterations"],
         "final model fit std. dev. (samples)": [None, "range_std", None, "azimuth_std"]}
for d in ("range", "azimuth"):
    lines[f"final {d} offset poly. coeff.:"] = [f"{d}_a{i}" for i in range(6)]
    lines[f"final {d} offset poly. coeff. errors:"] = [f"{d}_a{i}_err" for i in range(6)]
for name, row in rows.items():
    assert (row["status"], row["exit_status"], row["message"]) == ("ok", "0", "")
    for start, fields in lines.items():
        words = [l for l in reports[name].splitlines() if l.startswith(start)][-1][len(start):]
        for field, word in zip(fields, words.split()):
            assert field is None or row[field] == word, (name, field, row[field], word)
            assert field is None or numbers[name][field] == float(word), (name, field)

# A second run does nothing; a pair whose KOLT_par is put back is redone, alone, as before.
snapshot = lambda: {os.path.join(d, f): os.stat(os.path.join(d, f)).st_mtime_ns
                    for d, _, files in os.walk(stack) if ".snakemake" not in d for f in files}
before = snapshot()
again = run([driver, stack] + options + slurm, code=1)
changed = [p for p, t in snapshot().items() if before.get(p) != t]
# After the job array only the summary may be redone (polyest-stack's own list of pairs is new).
assert all(array and (f"{stack}/.polyest-stack/" in p or "stack_summary" in p) for p in changed)
assert array or "Nothing to be done" in again.stderr, again.stderr
if not array:
    shutil.copy(f"{stack}/p3/.polyest-stack/KOLT_par.in", f"{stack}/p3/KOLT_par")
    run([driver, stack] + options + slurm, code=1)
    changed = [p for p, t in snapshot().items() if before.get(p) != t]
    assert all(p.startswith(f"{stack}/p3/") or "stack_summary" in p for p in changed), changed
    assert slurp(f"{stack}/p3/KOLT_par") == slurp(f"{alone}/p3/KOLT_par")
shutil.rmtree(root)
print(f"stack test {' '.join(extra) or 'local'}: {len(names)} pairs checked")
