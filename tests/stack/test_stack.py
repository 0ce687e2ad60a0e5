#!/usr/bin/python3
"""polyest-stack on five generated pairs (p2's KOLT_par a symbolic link) and a broken one (too
few samples), two at a time: every pair's files are those of polyest and offmap run on it alone,
the broken pair is listed and keeps its files, the summary holds the reports' numbers; reruns
redo exactly the pairs whose inputs, options or folders changed; bad thresholds are refused;
a run killed, terminated or interrupted leaves no program behind and its pairs not run.

  test_stack.py BUILD POLYEST_STACK
"""
import csv, json, os, re, shutil, signal, subprocess, sys, tempfile, time

build, driver = sys.argv[1], sys.argv[2]
here = os.path.dirname(os.path.realpath(driver))
summary_py = next(p for p in (f"{here}/summary.py", f"{here}/../share/polyest/stack/summary.py")
                  if os.path.exists(p))
root = tempfile.mkdtemp(prefix="polyest_stack_")
stack, alone = os.path.join(root, "stack"), os.path.join(root, "alone")
names, reports = [f"p{i}" for i in range(1, 6)] + ["short"], {}


def run(args, cwd=None, code=0, env=None):
    p = subprocess.run(args, cwd=cwd, capture_output=True, text=True, stdin=subprocess.DEVNULL,
                       timeout=300, env=env)
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
os.makedirs(f"{root}/pars")
os.replace(f"{stack}/p2/KOLT_par", f"{root}/pars/p2.par")
os.symlink("../../pars/p2.par", f"{stack}/p2/KOLT_par")

options = ["--npoly", "6", "--outputs", "--maps", "--jobs", "2"]
identity = lambda path: (os.stat(path).st_ino, os.stat(path).st_mtime_ns)
short_par = identity(f"{stack}/short/KOLT_par")
first = run([driver, stack] + options, code=1)
assert re.search(r"^  short: failed, exit status 255: ERROR: insufficient", first.stdout, re.M)

untimed = lambda text: re.sub(r"time \(s\): *\S+", "", text)
for name in names:
    got, want = os.path.join(stack, name), os.path.join(alone, name)
    assert untimed(slurp(f"{got}/polyest.log").decode()) == untimed(reports[name]), name
    for f in ["KOLT_par", "offs", "ccp"] + ["coffs", "coffsets", "offs.png", "coffs.png"] * (name != "short"):
        assert slurp(f"{got}/{f}") == slurp(f"{want}/{f}"), f"{name}/{f}"
assert not os.path.exists(f"{stack}/short/coffs") and identity(f"{stack}/short/KOLT_par") == short_par
assert len({slurp(f"{stack}/{n}/KOLT_par") for n in names}) == len(names)
assert os.readlink(f"{stack}/p2/KOLT_par") == "../../pars/p2.par"

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

# Reruns: nothing for an unchanged stack or a refused threshold; a pair whose KOLT_par is put
# back and one whose output is removed are redone alone; a removed pair leaves the summary;
# changed options redo every pair, and the outputs no longer asked for leave the pair folders.
snapshot = lambda: {os.path.join(d, f): os.stat(os.path.join(d, f)).st_mtime_ns
                    for d, _, files in os.walk(root) for f in files if f != "lock"}
changed_since = lambda before: sorted(p for p, t in snapshot().items() if before.get(p) != t)
before = snapshot()
assert "0 of 6 pairs to run" in run([driver, stack] + options, code=1).stdout
for bad in ("nan", "inf", "-1e999", "0.2x", "1_0"):
    p = run([driver, stack, "--thres", bad], code=255)
    assert p.stderr.startswith("ERROR: --thres") and p.stderr.count("\n") == 1, p.stderr
assert changed_since(before) == []
shutil.copy(f"{stack}/p3/.polyest-stack/KOLT_par.in", f"{stack}/p3/KOLT_par")
os.remove(f"{stack}/p1/coffs.png")
run([driver, stack] + options, code=1)
assert {p[len(stack):].split("/")[1] for p in changed_since(before)} == {
    "p1", "p3", "stack_summary.csv", "stack_summary.json", "stack_summary.png"}, changed_since(before)
for name, f in (("p3", "KOLT_par"), ("p1", "coffs.png")):
    assert slurp(f"{stack}/{name}/{f}") == slurp(f"{alone}/{name}/{f}")
shutil.move(f"{stack}/p5", f"{root}/p5")
run([driver, stack] + options, code=1)
assert "p5" not in slurp(f"{stack}/stack_summary.csv").decode()
shutil.move(f"{root}/p5", f"{stack}/p5")
before = snapshot()
run([driver, stack, "--npoly", "6", "--maps", "--jobs", "2"], code=1)
for name in names[:-1]:
    assert {f"{stack}/{name}/polyest.log", f"{stack}/{name}/.polyest-stack/result"} <= set(
        changed_since(before)), name
    assert not {"coffs", "coffsets"} & set(os.listdir(f"{stack}/{name}")), name
    assert slurp(f"{stack}/{name}/KOLT_par") == slurp(f"{alone}/{name}/KOLT_par"), name
assert slurp(f"{root}/pars/p2.par") == slurp(f"{alone}/p2/KOLT_par")
p = run(["/usr/bin/python3", summary_py, stack], code=1)
assert re.search(r"^  short: failed, exit status 255", p.stdout, re.M), p.stdout
for changed_option in (["--npoly", "4"], ["--npoly", "4", "--thres", "0.25"]):
    before = snapshot()
    run([driver, stack, "--maps"] + changed_option, code=1)
    assert all(f"{stack}/{n}/.polyest-stack/result" in changed_since(before) for n in names)
assert identity(f"{stack}/short/KOLT_par") == short_par

# Stopping a run whose pairs are still running (a slow polyest): by SIGKILL nothing of it
# outlives it by more than a few seconds; --unlock refuses while it runs; by SIGINT or SIGTERM
# it says what was stopped in one line; pairs whose programs are killed are not run. The pairs
# are listed as not run, and their files are as they were.
slow = os.path.join(root, "slow-polyest")
with open(slow, "w") as f:
    f.write("#!/bin/sh\nexec sleep 86399\n")
os.chmod(slow, 0o755)


def sleepers():
    found = []
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            found += [pid] * (slurp(f"/proc/{pid}/cmdline") == b"sleep\x0086399\x00")
        except OSError:  # ended meanwhile
            pass
    return found


before = snapshot()
for sig, code in ((signal.SIGKILL, -9), (signal.SIGTERM, 128 + 15), (signal.SIGINT, 130), (None, 1)):
    stack_run = subprocess.Popen([driver, stack, "--npoly", "6", "--maps", "--force", "--jobs", "2"],
                                 env=dict(os.environ, POLYEST=slow), stdin=subprocess.DEVNULL,
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    for _ in range(100):
        if len(sleepers()) == 2:
            break
        time.sleep(0.1)
    assert len(sleepers()) == 2
    if sig == signal.SIGKILL:
        p = run([driver, stack, "--unlock"], code=255)
        assert p.stderr.startswith("ERROR: ") and p.stderr.count("\n") == 1, p.stderr
    while sig is None and stack_run.poll() is None:  # its programs killed (say, out of memory)
        for pid in sleepers():
            try:
                os.kill(int(pid), signal.SIGKILL)
            except ProcessLookupError:
                pass
        time.sleep(0.05)
    if sig is not None:
        stack_run.send_signal(sig)
    out, err = stack_run.communicate(timeout=10)
    assert stack_run.returncode == code, (sig, stack_run.returncode, err)
    for _ in range(30):
        if not sleepers():
            break
        time.sleep(0.1)
    assert sleepers() == [], sig
    if sig is None:
        assert out.count(": not run: ") == 6, out
    elif sig != signal.SIGKILL:
        assert re.fullmatch(r"polyest-stack: \w+( \w+)*: "
                            r"the running pairs stopped; the next run redoes the 6 pairs not done\n",
                            err), err
run([driver, stack, "--unlock"])
assert [p for p in changed_since(before) if not re.search("/.polyest-stack/|stack_summary", p)] == []
p = run(["/usr/bin/python3", summary_py, stack], code=1)
assert p.stdout.count(": not run: ") == 6, p.stdout
assert "6 of 6 pairs to run" in run([driver, stack, "--npoly", "6", "--maps"], code=1).stdout
shutil.rmtree(root)
print(f"stack test: {len(names)} pairs checked")
